#include "data/jet/JetRows.h"

#include "data/jet/JetError.h"
#include "data/jet/JetLayout.h"

#include <algorithm>
#include <sys/mman.h>

namespace jet {

namespace {

// Whether every row of a data page is live (no slot flagged deleted or moved) and each row ends
// where the one before it starts, the first at the page's end and the last past the slot table:
// what slot() checks row by row, for the whole slot table at once (a count's common page).
bool allLive(const uchar *page, int rows)
{
    if (rows == 0)
        return true;
    const uchar *offsets = page + datapage::kOffsets;
    unsigned flags = get16(offsets);
    bool ordered = (get16(offsets) & datapage::kOffsetMask) <= unsigned(kPageSize);
    for (int r = 1; r < rows; ++r) {
        const unsigned entry = get16(offsets + 2 * r);
        flags |= entry;
        ordered &= (entry & datapage::kOffsetMask) <= (get16(offsets + 2 * (r - 1)) & datapage::kOffsetMask);
    }
    const unsigned last = get16(offsets + 2 * (rows - 1)) & datapage::kOffsetMask;
    return !(flags & datapage::kFlagsMask) && ordered && last >= unsigned(datapage::kOffsets + rows * 2);
}

} // namespace

TableCursor::TableCursor(PageFile &file, const StoredTable &table, std::vector<int> columns)
    : m_file(file), m_table(table), m_columns(std::move(columns))
{
    if (!m_table.sound)
        file.damaged();
    for (int c : m_columns) {
        const StoredColumn &col = m_table.columns.at(size_t(c));
        if (!decodable(col.type))
            throw Error(Error::Unsupported, file.path(), m_table.name, col.name, col.type);
    }
    for (const StoredColumn &col : m_table.columns)
        m_hasVariable = m_hasVariable || !col.fixed;
    m_cells.resize(m_columns.size());
    // The file may have changed since the last statement: measure it again.
    file.remeasure();
    m_pages = file.usageMap(m_table.ownedPages);
    m_allPages = m_pages.size();
}

void TableCursor::keepPages(size_t first, size_t end)
{
    end = std::min(end, m_pages.size());
    first = std::min(first, end);
    m_pages.erase(m_pages.begin() + std::ptrdiff_t(end), m_pages.end());
    m_pages.erase(m_pages.begin(), m_pages.begin() + std::ptrdiff_t(first));
    m_part = {first, end};
    m_partial = true;
}

void TableCursor::checkApart(const TableCursor &other) const
{
    if (m_owners.overlaps(other.m_owners) || m_movedRows.overlaps(other.m_movedRows))
        m_file.damaged();
    // Two parts that together are the whole table, both read through: their rows are all the
    // table's rows, and the definition states how many that is.
    const bool whole =
        m_partial && other.m_partial && m_allPages == other.m_allPages
        && ((m_part.first == 0 && m_part.second == other.m_part.first && other.m_part.second == m_allPages)
            || (other.m_part.first == 0 && other.m_part.second == m_part.first && m_part.second == m_allPages));
    if (!whole || !m_ended || !other.m_ended || m_live + other.m_live != m_table.rowCount)
        m_file.damaged();
}

bool TableCursor::advance()
{
    for (;;) {
        if (m_row >= m_rows) {
            if (m_nextPage >= m_pages.size()) {
                // A pass over the whole table meets exactly the rows its definition counts (Jet
                // keeps that count exact, in every Access file too): a page left out of the
                // usage map, a lowered row count or a row flagged deleted would otherwise read
                // as a smaller table.
                if (!m_ended && !m_partial && m_live != m_table.rowCount)
                    m_file.damaged();
                m_ended = true;
                return false;
            }
            m_file.readData(m_pages[m_nextPage++], m_page, m_table.page);
            m_rows = m_file.rowCount(m_page);
            m_row = 0;
            continue;
        }
        const RowSlot s = m_file.slot(m_page, m_row++, m_rows);
        if (s.flags & datapage::kDeleted)
            continue; // deleted, or the old place of a moved row
        const uchar *row = m_page.data() + s.start;
        int len = s.end - s.start;
        if (s.flags & datapage::kPointer) {
            // Moved: the row names the page and slot where it is kept now. A row is moved to
            // one place only, and its new place is not another pointer.
            if (len < 4)
                m_file.damaged();
            const quint32 pointer = get32(row);
            if (!m_movedRows.claim(pointer, m_file.pageCount()))
                m_file.damaged();
            m_file.readData(pointer >> 8, m_moved, m_table.page);
            // Its new place is flagged as one (0x8000, so a scan passes it by), as Access writes
            // it: a pointer to a live row would read that row twice.
            const RowSlot t = m_file.slot(m_moved, int(pointer & 0xFF));
            if (t.flags != datapage::kDeleted)
                m_file.damaged();
            row = m_moved.data() + t.start;
            len = t.end - t.start;
        }
        m_at = row;
        m_length = len;
        m_laidOut = false;
        ++m_live;
        return true;
    }
}

quint32 TableCursor::countRows()
{
    const bool mapped = !m_partial && m_nextPage == 0 && m_file.walkMapped([this](const uchar *base) {
        const quint32 pageCount = m_file.pageCount();
        // Pages walked past are let go now and then, so that no more than a stretch of the file
        // is mapped in at a time (a moved row behind is mapped in again).
        constexpr quint32 kStretch = 4096;
        quint32 kept = 0;
        for (size_t i = 0; i < m_pages.size(); ++i) {
            const quint32 number = m_pages[i];
            // The slots of a page a little ahead, on their way while this one is counted.
            if (i + 4 < m_pages.size())
                __builtin_prefetch(base + size_t(m_pages[i + 4]) * kPageSize);
            if (number >= kept + 2 * kStretch) {
                const quint32 upTo = number / kStretch * kStretch;
                ::madvise(const_cast<uchar *>(base) + size_t(kept) * kPageSize, size_t(upTo - kept) * kPageSize,
                          MADV_DONTNEED);
                kept = upTo;
            }
            const uchar *p = base + size_t(number) * kPageSize;
            if (p[0] != pagetype::kData || get32(p + datapage::kOwner) != m_table.page)
                m_file.damaged();
            const int rows = m_file.rowCount(p);
            if (allLive(p, rows)) {
                m_live += quint32(rows);
                continue;
            }
            for (int r = 0; r < rows; ++r) {
                const RowSlot s = m_file.slot(p, r, rows);
                if (s.flags & datapage::kDeleted)
                    continue;
                if (s.flags & datapage::kPointer) {
                    // As advance() follows it: one pointer to a flagged place on the table's page.
                    if (s.end - s.start < 4)
                        m_file.damaged();
                    const quint32 pointer = get32(p + s.start);
                    if (!m_movedRows.claim(pointer, pageCount))
                        m_file.damaged();
                    const uchar *q = base + size_t(pointer >> 8) * kPageSize;
                    if (q[0] != pagetype::kData || get32(q + datapage::kOwner) != m_table.page)
                        m_file.damaged();
                    const RowSlot t = m_file.slot(q, int(pointer & 0xFF), m_file.rowCount(q));
                    if (t.flags != datapage::kDeleted)
                        m_file.damaged();
                }
                ++m_live;
            }
        }
    });
    if (mapped) {
        m_nextPage = m_pages.size();
        m_rows = m_row = 0;
        if (m_live != m_table.rowCount)
            m_file.damaged();
        m_ended = true;
    } else {
        while (advance()) {}
    }
    return m_live;
}

// Row layout: column count, fixed fields, variable fields, then from the end: the null mask,
// the number of variable fields and their offsets (last first), ending with the end offset.
// Jet allows a row with fewer columns than its table (columns added since are NULL) and fewer
// variable fields; every field it names lies inside the row, offsets in order.
//
// The layout is read once a row, however many of its cells are asked for: its column count, null
// mask and the end of its fixed part, the table of variable offsets checked to fit.
void TableCursor::layOut()
{
    const uchar *row = m_at;
    const int len = m_length;
    if (len < 2)
        m_file.damaged();
    m_rowColumns = get16(row);
    const int maskBytes = (m_rowColumns + 7) / 8;
    if (len < 2 + maskBytes)
        m_file.damaged();
    m_mask = row + len - maskBytes;
    m_variable = 0;
    m_dataEnd = len - maskBytes;
    if (m_hasVariable) {
        if (m_dataEnd < 4)
            m_file.damaged();
        m_variable = get16(row + m_dataEnd - 2);
        m_tableAt = m_dataEnd - 4; // offset of the first variable field
        if (m_tableAt - m_variable * 2 < 2)
            m_file.damaged();
        m_dataEnd = m_tableAt - m_variable * 2;
    }
    m_laidOut = true;
}

// Where the column's field lies in the row; false when the row holds none (null, or a column
// added after the row was written).
[[gnu::always_inline]] inline bool TableCursor::field(const StoredColumn &col, const uchar *&p, int &size)
{
    if (!m_laidOut)
        layOut();
    if (col.number >= m_rowColumns || !(m_mask[col.number / 8] & (1 << (col.number % 8))))
        return false;
    if (col.fixed) {
        if (2 + col.fixedOffset + col.size > m_dataEnd)
            m_file.damaged();
        p = m_at + 2 + col.fixedOffset;
        size = col.size;
        return true;
    }
    if (col.varIndex >= m_variable)
        return false;
    const int a = get16(m_at + m_tableAt - col.varIndex * 2);
    const int b = get16(m_at + m_tableAt - (col.varIndex + 1) * 2);
    if (a < 2 || a > b || b > m_dataEnd)
        m_file.damaged();
    p = m_at + a;
    size = b - a;
    return true;
}

TableCursor::Stored TableCursor::stored(size_t k, const uchar *&p, int &size)
{
    const StoredColumn &col = m_table.columns[size_t(m_columns[k])];
    if (col.type != kText)
        return Stored::Other;
    return field(col, p, size) ? Stored::Bytes : Stored::Null;
}

void TableCursor::crack(size_t first, size_t end)
{
    if (!m_laidOut)
        layOut();
    for (size_t k = first; k < end; ++k) {
        const StoredColumn &col = m_table.columns[size_t(m_columns[k])];
        JetCell &cell = m_cells[k];
        if (col.type == kBoolean) {
            // The null mask holds the value itself.
            const bool present = col.number < m_rowColumns && (m_mask[col.number / 8] & (1 << (col.number % 8)));
            cell.storage = JetCell::Text;
            cell.text = present ? "True" : "False";
            continue;
        }
        cell.storage = JetCell::Null;
        const uchar *p;
        int size;
        if (field(col, p, size))
            decodeField(m_file, col, p, size_t(size), cell, m_longValuePage, m_owners, m_longValue);
    }
}

} // namespace jet
