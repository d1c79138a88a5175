#include "widgets/GridExport.h"

#include <QAbstractItemModel>
#include <QIODevice>

#include <algorithm>

namespace gridexport {

QString selectionAsText(const QItemSelection &selection)
{
    if (selection.isEmpty())
        return QString();
    const QAbstractItemModel *model = selection.first().model();
    int top = selection.first().top(), bottom = selection.first().bottom();
    int left = selection.first().left(), right = selection.first().right();
    for (const QItemSelectionRange &range : selection) {
        top = std::min(top, range.top());
        bottom = std::max(bottom, range.bottom());
        left = std::min(left, range.left());
        right = std::max(right, range.right());
    }
    const bool whole = selection.size() == 1; // one range: every cell of the rectangle
    QString text;
    for (int r = top; r <= bottom; ++r) {
        if (r > top)
            text += QLatin1Char('\n');
        for (int c = left; c <= right; ++c) {
            if (c > left)
                text += QLatin1Char('\t');
            const QModelIndex cell = model->index(r, c);
            if (!whole && !selection.contains(cell))
                continue;
            QString value = cell.data(Qt::DisplayRole).toString();
            for (QChar &ch : value)
                if (ch == QLatin1Char('\t') || ch == QLatin1Char('\n') || ch == QLatin1Char('\r'))
                    ch = QLatin1Char(' ');
            text += value;
        }
    }
    return text;
}

QString csvField(const QString &text)
{
    static const QString special = QStringLiteral(",\"\r\n");
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return special.contains(c); }))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool writeCsv(const QAbstractItemModel &model, QIODevice &out)
{
    const int columns = model.columnCount();
    auto line = [&](auto cell) {
        QString text;
        for (int c = 0; c < columns; ++c) {
            if (c)
                text += QLatin1Char(',');
            text += csvField(cell(c));
        }
        text += QLatin1String("\r\n");
        return text.toUtf8();
    };
    QByteArray chunk("\xEF\xBB\xBF");
    chunk += line([&](int c) { return model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(); });
    const int rows = model.rowCount();
    for (int r = 0; r < rows; ++r) {
        chunk += line([&](int c) { return model.index(r, c).data(Qt::DisplayRole).toString(); });
        // Written in pieces: a result of a million rows never sits in memory twice.
        if (chunk.size() >= (1 << 20)) {
            if (out.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return out.write(chunk) == chunk.size();
}

} // namespace gridexport
