#pragma once

#include "data/jet/JetCatalog.h"
#include "data/jet/JetValues.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace jet {

// Walks the rows of one table in its order: the pages its usage map names, ascending, and on
// each page its rows in slot order. A deleted row is passed over; a row moved elsewhere is read
// from where its pointer leads, once, at the pointer's place. Only the chosen columns are
// decoded; the others cost nothing but the row's layout.
class TableCursor
{
public:
    // `columns`: indices into the table's columns, in the order cells() gives them. A column
    // of a type the reader cannot decode throws jet::Error naming table, column and type.
    TableCursor(PageFile &file, const StoredTable &table, std::vector<int> columns);

    // Moves to the next row and decodes it; false after the last. Throws jet::Error on
    // damage.
    bool next()
    {
        if (!advance())
            return false;
        decode();
        return true;
    }
    const std::vector<JetCell> &cells() const { return m_cells; }

    // next() in two steps, so that a row can be passed over without decoding it: advance()
    // finds the next row (false after the last), decode() fills cells() from it.
    bool advance();
    void decode() { crack(0, m_columns.size()); }
    // Fills only cells [first, end) of the row advance() found, so a row can be tested on some
    // columns before the others are decoded; the rest keep what they held.
    void decode(size_t first, size_t end) { crack(first, std::min(end, m_columns.size())); }

    // The stored bytes of cell k of the row advance() found, when its column is text: the same
    // bytes always decode to the same text, so a caller may remember what it made of them and
    // not decode them again. Bytes gives them in p and size; Null, a row without the value;
    // Other, a column of another type (decode it). Throws on damage as decode() would.
    enum class Stored { Null, Bytes, Other };
    Stored stored(size_t k, const uchar *&p, int &size);

    // The table's rows counted from its pages' row slots, none read: damaged where a pass over
    // the rows would find the slots, a moved row or the stored row count unsound (a row's own
    // bytes are not looked at). Use a fresh cursor over the whole table; it is used up after.
    quint32 countRows();

    // Reads only the pages [first, end) of the table's pages (pageCount() of them): a part of
    // the table. Cursors over the parts may run on threads of their own at once; they are
    // opened one after the other.
    size_t pageCount() const { return m_pages.size(); }
    void keepPages(size_t first, size_t end);
    // After both parts were read through: damaged when this cursor and another over the rest of
    // the same table met one long value, or one moved row, each (a second owner, as within one
    // cursor), or when their rows together are not the table's stored row count. A cursor over
    // the whole table checks that count itself when advance() ends.
    void checkApart(const TableCursor &other) const;

private:
    void crack(size_t first, size_t end);
    void layOut();
    bool field(const StoredColumn &col, const uchar *&p, int &size);

    const PageFile &m_file;
    StoredTable m_table;
    std::vector<int> m_columns;
    bool m_hasVariable = false;
    std::vector<quint32> m_pages;
    size_t m_allPages = 0;  // pages of the whole table
    bool m_partial = false; // keepPages() kept m_part of them
    std::pair<size_t, size_t> m_part{0, 0};
    size_t m_nextPage = 0;
    quint32 m_live = 0; // rows advance() found
    bool m_ended = false;
    Page m_page;
    int m_row = 0;
    int m_rows = 0;
    const uchar *m_at = nullptr; // the row advance() found, and its length
    int m_length = 0;
    // Its layout (layOut), once a row.
    bool m_laidOut = false;
    const uchar *m_mask = nullptr;
    int m_rowColumns = 0;
    int m_variable = 0;
    int m_tableAt = 0;
    int m_dataEnd = 0;
    Page m_moved;
    Page m_longValuePage;
    LongValueOwners m_owners;
    RowClaims m_movedRows;
    std::vector<JetCell> m_cells;
    std::vector<uchar> m_longValue;
};

} // namespace jet
