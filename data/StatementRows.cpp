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

// A column's values as text, each as a statement gives it (numbers formatted), plain.
std::unique_ptr<DecodedColumn> asText(std::unique_ptr<DecodedColumn> column, size_t rows)
{
    if (column->kind != StorageClass::Integer && column->kind != StorageClass::Real)
        return column;
    auto out = std::make_unique<DecodedColumn>();
    out->nulls.swap(column->nulls);
    out->ends.reserve(rows + 1);
    out->ends.push_back(0);
    for (size_t i = 0; i < rows; ++i) {
        if (!out->isNull(i)) {
            char digits[24];
            std::string_view text;
            std::string real;
            if (column->kind == StorageClass::Integer) {
                const auto r = std::to_chars(digits, digits + sizeof digits, column->integers[i]);
                text = std::string_view(digits, size_t(r.ptr - digits));
            } else {
                real = formatReal(column->reals[i]);
                text = real;
            }
            if (text.size() > 0xFFFFFFFFu - out->text.size())
                throw std::bad_alloc();
            out->text.append(text.data(), text.size());
        }
        out->ends.push_back(uint32_t(out->text.size()));
    }
    return out;
}

// Columns of one table as the fields of a result whose rows are the table's (row numbers, not
// copies). A field comes from the table's decoded column, or from values of its own for the
// result's rows (read for them alone), or is read from the file for the result's rows, all
// such fields in one pass, the first time one is asked for (deferred: if the file can no longer
// give them, replaced or damaged, they are empty). Holds what it reads from, so the result stays
// readable after the connection has closed.
class StoreRows : public RowSource
{
public:
    // `rows`: the result's rows, ascending; empty when they are every row of the table.
    StoreRows(std::shared_ptr<const ColumnStore> store, std::vector<int> columns, std::vector<uint32_t> rows)
        : m_store(std::move(store)), m_columns(std::move(columns)), m_rows(std::move(rows)),
          m_source(m_columns.size(), Source::Table), m_values(m_columns.size())
    {
    }
    // Field `field` takes `values` (value i is that of the result's row i).
    void own(int field, std::unique_ptr<DecodedColumn> values)
    {
        m_values[size_t(field)] = asText(std::move(values), m_rows.size());
        m_source[size_t(field)] = Source::Own;
    }
    void defer(int field) { m_source[size_t(field)] = Source::Deferred; }

    std::string_view text(quint32 row, int field) const override
    {
        const DecodedColumn *col = nullptr;
        size_t at = row;
        if (m_source[size_t(field)] == Source::Table) {
            col = &m_store->column(m_columns[size_t(field)]);
        } else {
            if (m_source[size_t(field)] == Source::Deferred)
                std::call_once(m_read, [this] { readDeferred(); });
            col = m_values[size_t(field)].get();
            if (!m_rows.empty()) {
                const auto found = std::lower_bound(m_rows.begin(), m_rows.end(), row);
                if (found == m_rows.end() || *found != row)
                    return {};
                at = size_t(found - m_rows.begin());
            }
        }
        if (!col || col->isNull(at))
            return {};
        size_t size;
        const char *p = col->textAt(at, size);
        return std::string_view(p, size);
    }

    const DecodedColumn *column(int field) const override
    {
        if (m_source[size_t(field)] != Source::Table)
            return nullptr;
        return &m_store->column(m_columns[size_t(field)]);
    }

private:
    enum class Source { Table, Own, Deferred };

    void readDeferred() const
    {
        std::vector<int> fields, columns;
        for (size_t f = 0; f < m_source.size(); ++f)
            if (m_source[f] == Source::Deferred) {
                fields.push_back(int(f));
                columns.push_back(m_columns[f]);
            }
        try {
            auto read = m_store->decodeRows(columns, m_rows);
            for (size_t k = 0; k < fields.size(); ++k)
                m_values[size_t(fields[k])] = asText(std::move(read[k]), m_rows.size());
        } catch (...) { // no exception into the grid that asked: the fields stay empty
            for (int f : fields)
                m_values[size_t(f)].reset();
        }
    }

    std::shared_ptr<const ColumnStore> m_store;
    std::vector<int> m_columns;
    std::vector<uint32_t> m_rows;
    std::vector<Source> m_source;
    mutable std::vector<std::unique_ptr<DecodedColumn>> m_values;
    mutable std::once_flag m_read;
};

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

namespace {

// The result of a statement whose rows are its scan's own, when every field can come from the
// table's decoded text columns, the values the scan read for its rows (taken over), or the file
// later (deferred): set on `result` and returned, once the statement's first row (on it now)
// agrees with the table's. Null, `result` untouched, otherwise.
StoreRows *scanSource(sqlite3_stmt *stmt, ResultSet &result, const std::shared_ptr<ColumnStore> &store,
                      const std::vector<int> &fields, const jetvtab::Catalog::Scan &scan)
{
    if (!store || scan.store != store.get() || (!scan.rows && store->rowCount() <= 0)
        || (scan.rows && scan.rows->empty()))
        return nullptr;
    enum class From { Table, Own, Later };
    std::vector<From> from;
    std::vector<size_t> own; // field -> index in scan.partial
    for (int column : fields) {
        const StorageClass kind = store->columns()[column].kind;
        own.push_back(0);
        if (store->isDecoded(column) && kind != StorageClass::Integer && kind != StorageClass::Real
            && kind != StorageClass::Number) {
            from.push_back(From::Table);
        } else if (const auto at = scan.partialColumns
                                       ? std::find(scan.partialColumns->begin(), scan.partialColumns->end(), column)
                                       : std::vector<int>::const_iterator();
                   scan.partialColumns && at != scan.partialColumns->end() && scan.rows) {
            own.back() = size_t(at - scan.partialColumns->begin());
            for (size_t g = 0; g < from.size(); ++g)
                if (from[g] == From::Own && own[g] == own.back())
                    return nullptr; // one column in two fields: its values are taken over once
            from.push_back(From::Own);
        } else if (std::find(scan.deferred.begin(), scan.deferred.end(), column) != scan.deferred.end() && scan.rows) {
            from.push_back(From::Later);
        } else {
            return nullptr;
        }
    }
    // The first row, as SQLite gave it: the table's values for the fields it holds (those read for
    // the rows alone came from the same pass), NULL for those left unread.
    const size_t first = scan.rows ? (*scan.rows)[0] : 0;
    for (size_t f = 0; f < fields.size(); ++f) {
        if (from[f] == From::Own)
            continue;
        if (from[f] == From::Later) {
            if (sqlite3_column_type(stmt, int(f)) != SQLITE_NULL)
                return nullptr;
            continue;
        }
        const DecodedColumn &col = store->column(fields[f]);
        if (col.isNull(first)) {
            if (sqlite3_column_type(stmt, int(f)) != SQLITE_NULL)
                return nullptr;
            continue;
        }
        size_t size;
        const char *q = col.textAt(first, size);
        const void *p = sqlite3_column_blob(stmt, int(f));
        const int n = sqlite3_column_bytes(stmt, int(f));
        if (p == q && size > 0) // the value handed out by the table itself (or its dictionary)
            continue;
        if (size_t(n) != size
            || (n == 0 ? sqlite3_column_type(stmt, int(f)) != SQLITE_TEXT : std::memcmp(p, q, size) != 0))
            return nullptr;
    }
    auto source = std::make_unique<StoreRows>(store, fields, scan.rows ? *scan.rows : std::vector<uint32_t>());
    for (size_t f = 0; f < fields.size(); ++f) {
        if (from[f] == From::Own)
            source->own(int(f), std::move((*scan.partial)[own[f]]));
        else if (from[f] == From::Later)
            source->defer(int(f));
    }
    StoreRows *made = source.get();
    result.setRowSource(std::move(source));
    return made;
}

} // namespace

void read(sqlite3_stmt *stmt, ResultSet &result, const std::vector<std::shared_ptr<ColumnStore>> &stores,
          const jetvtab::Catalog &catalog, std::vector<unsigned char> *cellTypes, bool scanRows)
{
    const int columns = sqlite3_column_count(stmt);
    std::shared_ptr<ColumnStore> store;
    std::vector<int> fields;
    const std::vector<FieldOrigin> origins = fieldOrigins(stmt, catalog);
    const std::vector<bool> real = realFields(origins);
    if (ColumnStore *table = singleTable(origins)) {
        for (const auto &s : stores)
            if (s.get() == table)
                store = s;
        for (const FieldOrigin &f : origins)
            fields.push_back(f.column);
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
            if (scanSource(stmt, result, store, fields, scan)) {
                const size_t rows = scan.rows ? scan.rows->size() : size_t(std::max(store->rowCount(), 0));
                for (size_t i = 0; i < rows; ++i)
                    result.appendSourceRow(scan.rows ? (*scan.rows)[i] : quint32(i));
                return;
            }
        }
        // Values the scan left unread are only in a result that takes the scan's rows.
        if (!scan.deferred.empty())
            throw Unread();
        appendCopiedRow(stmt, columns, result, real);
    }
}

} // namespace statementrows
