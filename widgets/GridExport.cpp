#include "widgets/GridExport.h"

#include <QAbstractItemModel>
#include <QIODevice>

#include <algorithm>

namespace gridexport {

QString selectionAsText(const QModelIndexList &cells)
{
    if (cells.isEmpty())
        return QString();
    int top = cells.first().row(), bottom = top;
    int left = cells.first().column(), right = left;
    for (const QModelIndex &i : cells) {
        top = std::min(top, i.row());
        bottom = std::max(bottom, i.row());
        left = std::min(left, i.column());
        right = std::max(right, i.column());
    }
    const int width = right - left + 1;
    QVector<QStringList> rows(bottom - top + 1, QStringList(width, QString()));
    for (const QModelIndex &i : cells) {
        QString text = i.data(Qt::DisplayRole).toString();
        for (QChar &c : text)
            if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
                c = QLatin1Char(' ');
        rows[i.row() - top][i.column() - left] = text;
    }
    QStringList lines;
    lines.reserve(rows.size());
    for (const QStringList &row : rows)
        lines << row.join(QLatin1Char('\t'));
    return lines.join(QLatin1Char('\n'));
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
