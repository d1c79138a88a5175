#include "widgets/GridExport.h"

#include "widgets/BusyWait.h"
#include "widgets/GridModel.h"

#include <QIODevice>
#include <QItemSelection>

#include <algorithm>

namespace gridexport {

namespace {

// Rows between two looks at the progress (and the cancel button).
constexpr int kRowsPerReport = 2048;

bool breaksCells(QChar c)
{
    switch (c.unicode()) {
    case '\t':
    case '\n':
    case '\v':
    case '\f':
    case '\r':
    case 0x0085:
    case 0x2028:
    case 0x2029: return true;
    default: return false;
    }
}

bool needsQuotes(std::string_view text)
{
    return text.find_first_of(",\"\r\n") != std::string_view::npos;
}

// The CSV file's bytes on their way out: gathered to about a megabyte, then handed to the
// device and dropped, so each byte goes out exactly once and a million rows never sit in memory
// twice.
class Output
{
public:
    explicit Output(QIODevice &out) : m_out(out) { m_pending.reserve(kFlushAt + 4096); }
    void add(std::string_view bytes) { m_pending.append(bytes.data(), qsizetype(bytes.size())); }
    void add(char c) { m_pending.append(c); }
    bool full() const { return m_pending.size() >= kFlushAt; }
    bool flush()
    {
        const QByteArray bytes = std::exchange(m_pending, QByteArray());
        m_pending.reserve(kFlushAt + 4096);
        return bytes.isEmpty() || m_out.write(bytes) == bytes.size();
    }

private:
    static constexpr qsizetype kFlushAt = 1 << 20;
    QIODevice &m_out;
    QByteArray m_pending;
};

void addField(Output &out, std::string_view text)
{
    if (!needsQuotes(text)) {
        out.add(text);
        return;
    }
    out.add('"');
    for (char c : text) {
        if (c == '"')
            out.add('"');
        out.add(c);
    }
    out.add('"');
}

} // namespace

QVector<QRect> rangesOf(const QItemSelection &selection)
{
    QVector<QRect> ranges;
    for (const QItemSelectionRange &range : selection)
        ranges << QRect(QPoint(range.left(), range.top()), QPoint(range.right(), range.bottom()));
    return ranges;
}

QString selectionAsText(const GridModel &model, const QVector<QRect> &ranges, WorkProgress *progress)
{
    if (ranges.isEmpty())
        return QString();
    QRect all = ranges.first();
    for (const QRect &r : ranges)
        all = all.united(r);
    const bool whole = ranges.size() == 1; // one range: every cell of the rectangle
    QString text;
    for (int r = all.top(); r <= all.bottom(); ++r) {
        if (progress && (r - all.top()) % kRowsPerReport == 0) {
            if (progress->cancelled())
                return QString();
            progress->report(r - all.top(), all.height());
        }
        if (r > all.top())
            text += QLatin1Char('\n');
        for (int c = all.left(); c <= all.right(); ++c) {
            if (c > all.left())
                text += QLatin1Char('\t');
            if (!whole
                && std::none_of(ranges.begin(), ranges.end(), [&](const QRect &range) { return range.contains(c, r); }))
                continue;
            const std::string_view bytes = model.cellBytes(r, c);
            QString value = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
            for (QChar &ch : value)
                if (breaksCells(ch))
                    ch = QLatin1Char(' ');
            text += value;
        }
    }
    return text;
}

bool writeCsv(const GridModel &model, QIODevice &out, WorkProgress *progress)
{
    const int columns = model.columnCount();
    const int rows = model.rowCount();
    Output csv(out);
    csv.add("\xEF\xBB\xBF");
    for (int c = 0; c < columns; ++c) {
        if (c)
            csv.add(',');
        addField(csv, model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString().toUtf8().toStdString());
    }
    csv.add("\r\n");
    for (int r = 0; r < rows; ++r) {
        if (progress && r % kRowsPerReport == 0) {
            if (progress->cancelled())
                return false;
            progress->report(r, rows);
        }
        for (int c = 0; c < columns; ++c) {
            if (c)
                csv.add(',');
            addField(csv, model.cellBytes(r, c));
        }
        csv.add("\r\n");
        if (csv.full() && !csv.flush())
            return false;
    }
    return csv.flush() && !(progress && progress->cancelled());
}

} // namespace gridexport
