#include "data/StatementRows.h"

#include "data/ColumnStore.h"
#include "data/DatabaseError.h"
#include "data/ResultSet.h"
#include "data/SqlErrors.h"
#include "data/jet/JetError.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sqlite3.h>
#include <string>
#include <string_view>

namespace statementrows {
namespace {

void appendNumber(ResultSet &rs, double v)
{
    const std::string text = formatReal(v);
    rs.appendCell(text.data(), text.size());
}

// The fields that are a Real column of a table: an integer there is a NaN (jetvtab::kNotANumber).
std::vector<bool> realFields(const std::vector<FieldOrigin> &origins)
{
    std::vector<bool> real(origins.size(), false);
    for (size_t c = 0; c < origins.size(); ++c)
        real[c] = origins[c].store && origins[c].store->columns()[origins[c].column].kind == StorageClass::Real;
    return real;
}

// A value's SQLite type, a Real column's NaN taken as its text.
int valueType(sqlite3_value *v, const std::vector<bool> &real, int c)
{
    const int type = sqlite3_value_type(v);
    return type == SQLITE_INTEGER && real[size_t(c)] && sqlite3_value_int64(v) == jetvtab::kNotANumber ? SQLITE_TEXT
                                                                                                       : type;
}

// One row of a stepped statement into the result, each value in its text form. Each cell is
// fetched once as a value; text is taken as its bytes (the database is UTF-8), which spares
// SQLite terminating a copy of every cell.
void appendCopiedRow(sqlite3_stmt *stmt, int columns, ResultSet &result, const std::vector<bool> &real)
{
    for (int c = 0; c < columns; ++c) {
        sqlite3_value *v = sqlite3_column_value(stmt, c);
        const int type = sqlite3_value_type(v);
        if (type == SQLITE_INTEGER && valueType(v, real, c) == SQLITE_TEXT) {
            result.appendCell("NaN", 3);
            continue;
        }
        switch (type) {
        case SQLITE_NULL: result.appendCell("", 0); break;
        case SQLITE_INTEGER: {
            char buf[32];
            const int n = qsnprintf(buf, sizeof buf, "%lld", sqlite3_value_int64(v));
            result.appendCell(buf, size_t(n));
            break;
        }
        case SQLITE_FLOAT: appendNumber(result, sqlite3_value_double(v)); break;
        case SQLITE_TEXT: {
            const auto *p = static_cast<const char *>(sqlite3_value_blob(v));
            const int n = sqlite3_value_bytes(v);
            result.appendCell(p ? p : "", p ? size_t(n) : 0);
            break;
        }
        default: { // a blob (only an expression makes one): its bytes as text
            const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(v));
            result.appendCell(p ? p : "", size_t(sqlite3_value_bytes(v)));
            break;
        }
        }
    }
    result.endRow();
}

// A value's text form, as a cell of a result holds it: `buf` keeps a number's text.
std::string_view cellText(sqlite3_value *v, int type, std::string &buf)
{
    switch (type) {
    case SQLITE_NULL: return {};
    case SQLITE_INTEGER: {
        char digits[24];
        const auto r = std::to_chars(digits, digits + sizeof digits, sqlite3_value_int64(v));
        buf.assign(digits, r.ptr);
        return buf;
    }
    case SQLITE_FLOAT: buf = formatReal(sqlite3_value_double(v)); return buf;
    case SQLITE_TEXT: {
        const auto *p = static_cast<const char *>(sqlite3_value_blob(v));
        const int n = sqlite3_value_bytes(v);
        return p ? std::string_view(p, size_t(n)) : std::string_view();
    }
    default: { // a blob (only an expression makes one): its bytes as text
        const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(v));
        return p ? std::string_view(p, size_t(sqlite3_value_bytes(v))) : std::string_view();
    }
    }
}

// Text columns of one table as the fields of a result: rows are kept as row numbers. Holds the
// table's columns, so the result stays readable after the connection has closed. A field the
// statement left unread (deferred) is read from the file for the result's rows, all such
// fields in one pass, the first time one is asked for; if the file can no longer give them
// (replaced, damaged), they are empty.
class StoreRows : public RowSource
{
public:
    StoreRows(std::shared_ptr<const ColumnStore> store, std::vector<int> columns)
        : m_store(std::move(store)), m_columns(std::move(columns)), m_deferredAt(m_columns.size(), -1)
    {
    }
    // The fields among `fields` are read later, for the rows `rows` (ascending) of the table.
    void defer(const std::vector<int> &fields, std::vector<uint32_t> rows)
    {
        for (int f : fields) {
            m_deferredAt[size_t(f)] = int(m_deferred.size());
            m_deferred.push_back(m_columns[size_t(f)]);
        }
        m_rows = std::move(rows);
    }
    bool deferred(int field) const { return m_deferredAt[size_t(field)] >= 0; }

    std::string_view text(quint32 row, int field) const override
    {
        if (const int k = m_deferredAt[size_t(field)]; k >= 0)
            return deferredText(row, size_t(k));
        const DecodedColumn &col = m_store->column(m_columns[size_t(field)]);
        if (col.isNull(row))
            return {};
        size_t size;
        const char *p = col.textAt(row, size);
        return std::string_view(p, size);
    }
    const ColumnStore *store() const { return m_store.get(); }
    int column(int field) const { return m_columns[size_t(field)]; }

private:
    std::string_view deferredText(quint32 row, size_t k) const
    {
        std::call_once(m_read, [this] { readDeferred(); });
        const auto at = std::lower_bound(m_rows.begin(), m_rows.end(), row);
        if (m_failed || at == m_rows.end() || *at != row)
            return {};
        const size_t i = size_t(at - m_rows.begin()) * m_deferred.size() + k;
        return std::string_view(m_text.data() + m_ends[i], m_ends[i + 1] - m_ends[i]);
    }
    // Every deferred field's values for the result's rows, each as the statement would have
    // given it, row by row.
    void readDeferred() const
    {
        try {
            const auto columns = m_store->decodeRows(m_deferred, m_rows);
            m_ends.reserve(m_rows.size() * m_deferred.size() + 1);
            m_ends.push_back(0);
            for (size_t i = 0; i < m_rows.size(); ++i) {
                for (size_t k = 0; k < m_deferred.size(); ++k) {
                    const DecodedColumn &col = *columns[k];
                    if (!col.isNull(i)) {
                        switch (col.kind) {
                        case StorageClass::Integer: {
                            char digits[24];
                            const auto r = std::to_chars(digits, digits + sizeof digits, col.integers[i]);
                            m_text.append(digits, size_t(r.ptr - digits));
                            break;
                        }
                        case StorageClass::Real: m_text += formatReal(col.reals[i]); break;
                        default: {
                            size_t size;
                            const char *p = col.textAt(i, size);
                            m_text.append(p, size);
                            break;
                        }
                        }
                    }
                    if (m_text.size() > 0xFFFFFFFFu)
                        throw std::bad_alloc();
                    m_ends.push_back(uint32_t(m_text.size()));
                }
            }
        } catch (...) { // no exception into the grid that asked: the fields stay empty
            m_failed = true;
            m_text.clear();
            m_ends.clear();
        }
    }

    std::shared_ptr<const ColumnStore> m_store;
    std::vector<int> m_columns;
    std::vector<int> m_deferredAt; // field -> index among the deferred, or -1
    std::vector<int> m_deferred;   // their columns
    std::vector<uint32_t> m_rows;
    mutable std::once_flag m_read;
    mutable bool m_failed = false;
    mutable std::string m_text;
    mutable std::vector<uint32_t> m_ends;
};

// Whether the current row of the statement holds, field by field, exactly the values of row
// `row` of the source's columns (a deferred field is NULL there).
bool sameAsSourceRow(sqlite3_stmt *stmt, const StoreRows &source, int columns, size_t row)
{
    for (int c = 0; c < columns; ++c) {
        if (source.deferred(c)) {
            if (sqlite3_column_type(stmt, c) != SQLITE_NULL)
                return false;
            continue;
        }
        const DecodedColumn &col = source.store()->column(source.column(c));
        const void *p = sqlite3_column_blob(stmt, c);
        if (col.isNull(row)) {
            if (sqlite3_column_type(stmt, c) != SQLITE_NULL)
                return false;
            continue;
        }
        size_t size;
        const char *q = col.textAt(row, size);
        // The value handed out by the table itself, not a copy: nothing but this text points
        // there (in a column's dictionary, the same text of other rows: equal all the same).
        if (p == q && size > 0)
            continue;
        const int n = sqlite3_column_bytes(stmt, c);
        if (size_t(n) != size)
            return false;
        if (n == 0 ? sqlite3_column_type(stmt, c) != SQLITE_TEXT : std::memcmp(p, q, size) != 0)
            return false;
    }
    return true;
}

} // namespace

std::string formatReal(double v)
{
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v < 0 ? "-Infinity" : "Infinity";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    const std::string sci(buf, r.ptr);
    const size_t e = sci.find('e');
    const int exponent = std::atoi(sci.c_str() + e + 1);
    if (exponent >= -7 && exponent < 21) {
        r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
        return std::string(buf, r.ptr);
    }
    return sci.substr(0, e + 1) + std::to_string(exponent);
}

std::string_view jetCellText(const JetCell &cell, StorageClass kind, std::string &buf, unsigned char &type)
{
    if (cell.isNull()) {
        type = SQLITE_NULL;
        return {};
    }
    type = SQLITE_TEXT;
    switch (kind) {
    case StorageClass::Integer: {
        char digits[24];
        const auto r = std::to_chars(digits, digits + sizeof digits, qint64(cell.integer));
        buf.assign(digits, r.ptr);
        type = SQLITE_INTEGER;
        return buf;
    }
    case StorageClass::Real:
        if (std::isnan(cell.real))
            return "NaN";
        buf = formatReal(cell.real);
        type = SQLITE_FLOAT;
        return buf;
    case StorageClass::Number: return decimalCellText(cell);
    default: return cell.text;
    }
}

void stream(sqlite3_stmt *stmt, const jetvtab::Catalog &catalog, const RowSink &row, bool scanRows)
{
    const int columns = sqlite3_column_count(stmt);
    const std::vector<FieldOrigin> origins = fieldOrigins(stmt, catalog);
    const std::vector<bool> real = realFields(origins);
    std::vector<std::string> buffers(static_cast<size_t>(columns));
    std::vector<std::string_view> cells(static_cast<size_t>(columns));
    std::vector<unsigned char> types(static_cast<size_t>(columns));
    for (;;) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            sqlerrors::fail(sqlite3_db_handle(stmt), rc);
        for (int c = 0; c < columns; ++c) {
            sqlite3_value *v = sqlite3_column_value(stmt, c);
            const int type = valueType(v, real, c);
            types[size_t(c)] = (unsigned char)type;
            cells[size_t(c)] = type == SQLITE_TEXT && sqlite3_value_type(v) == SQLITE_INTEGER
                                   ? std::string_view("NaN")
                                   : cellText(v, type, buffers[size_t(c)]);
        }
        row(cells.data(), types.data());
        if (scanRows) {
            // The rest are the streamed scan's own rows, each value as the table gives it.
            scanRows = false;
            jetvtab::StreamedRows *scan = catalog.scanned.streamed;
            const ColumnStore *table = singleTable(origins);
            if (!scan || !table || catalog.scanned.store != table)
                continue;
            if (!std::all_of(origins.begin(), origins.end(),
                             [&](const FieldOrigin &f) { return scan->cell(f.column); }))
                continue;
            try {
                while (scan->nextRow()) {
                    for (int c = 0; c < columns; ++c) {
                        const int column = origins[size_t(c)].column;
                        cells[size_t(c)] = jetCellText(*scan->cell(column), table->columns()[column].kind,
                                                       buffers[size_t(c)], types[size_t(c)]);
                    }
                    row(cells.data(), types.data());
                }
            } catch (const jet::Error &e) {
                throw EDatabaseError(e);
            }
            return;
        }
    }
}

std::vector<FieldOrigin> fieldOrigins(sqlite3_stmt *stmt, const jetvtab::Catalog &catalog)
{
    std::vector<FieldOrigin> out(size_t(sqlite3_column_count(stmt)));
    for (size_t c = 0; c < out.size(); ++c) {
        const char *table = sqlite3_column_table_name(stmt, int(c));
        const char *origin = sqlite3_column_origin_name(stmt, int(c));
        const char *database = sqlite3_column_database_name(stmt, int(c));
        if (!table || !origin || !database || std::strcmp(database, "main") != 0)
            continue;
        // A table is declared under several spellings: its store is found without regard to case.
        const QString tableName = QString::fromUtf8(table);
        const QString columnName = QString::fromUtf8(origin);
        for (ColumnStore *s : catalog.stores) {
            if (s->name().compare(tableName, Qt::CaseInsensitive) != 0)
                continue;
            for (int k = 0; k < s->columns().size(); ++k)
                if (s->columns()[k].name.compare(columnName, Qt::CaseInsensitive) == 0)
                    out[c] = {s, k};
        }
    }
    return out;
}

ColumnStore *singleTable(const std::vector<FieldOrigin> &fields)
{
    ColumnStore *table = fields.empty() ? nullptr : fields.front().store;
    for (const FieldOrigin &f : fields)
        if (!f.store || f.store != table)
            return nullptr;
    return table;
}

void read(sqlite3_stmt *stmt, ResultSet &result, const std::vector<std::shared_ptr<ColumnStore>> &stores,
          const jetvtab::Catalog &catalog, std::vector<unsigned char> *cellTypes, bool scanRows)
{
    const int columns = sqlite3_column_count(stmt);
    std::shared_ptr<ColumnStore> store;
    std::vector<int> fields;
    const std::vector<FieldOrigin> origins = fieldOrigins(stmt, catalog);
    const std::vector<bool> real = realFields(origins);
    auto deferrable = [&](const ColumnStore *table, int column) {
        return catalog.deferStore == table
               && std::find(catalog.deferColumns.begin(), catalog.deferColumns.end(), column)
                      != catalog.deferColumns.end();
    };
    if (ColumnStore *table = singleTable(origins)) {
        for (const auto &s : stores)
            if (s.get() == table)
                store = s;
        for (const FieldOrigin &f : origins) {
            const StorageClass kind = table->columns()[f.column].kind;
            if ((kind == StorageClass::Integer || kind == StorageClass::Real || kind == StorageClass::Number)
                && !deferrable(table, f.column))
                break;
            fields.push_back(f.column);
        }
    }
    // Only the first row decides: when the statement's rows are its one scan's own and every
    // field is a column the table has decoded (or left for the result to read), the result is
    // the scan's row numbers, the first row checked against the values SQLite gave.
    bool first = columns > 0 && int(fields.size()) == columns && scanRows && !cellTypes;
    for (;;) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            sqlerrors::fail(sqlite3_db_handle(stmt), rc);
        const jetvtab::Catalog::Scan &scan = catalog.scanned;
        if (cellTypes)
            for (int c = 0; c < columns; ++c)
                cellTypes->push_back((unsigned char)valueType(sqlite3_column_value(stmt, c), real, c));
        if (first) {
            first = false;
            std::vector<int> later;
            bool decoded = scan.store == store.get() && scan.complete;
            for (size_t f = 0; f < fields.size() && decoded; ++f) {
                const StorageClass kind = store->columns()[fields[f]].kind;
                if (store->isDecoded(fields[f]) && kind != StorageClass::Integer && kind != StorageClass::Real
                    && kind != StorageClass::Number)
                    continue;
                if (std::find(scan.deferred.begin(), scan.deferred.end(), fields[f]) != scan.deferred.end())
                    later.push_back(int(f));
                else
                    decoded = false;
            }
            const size_t rows = scan.rows ? scan.rows->size() : size_t(std::max(store ? store->rowCount() : 0, 0));
            if (decoded && rows > 0 && (later.empty() || scan.rows)) {
                auto source = std::make_unique<StoreRows>(store, fields);
                if (!later.empty())
                    source->defer(later, *scan.rows);
                if (sameAsSourceRow(stmt, *source, columns, scan.rows ? (*scan.rows)[0] : 0)) {
                    result.setRowSource(std::move(source));
                    for (size_t i = 0; i < rows; ++i)
                        result.appendSourceRow(scan.rows ? (*scan.rows)[i] : quint32(i));
                    return;
                }
            }
        }
        // Values the scan left unread are only in a result that takes the scan's rows.
        if (!scan.deferred.empty())
            throw Unread();
        appendCopiedRow(stmt, columns, result, real);
    }
}

} // namespace statementrows
