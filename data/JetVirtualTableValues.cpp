#include "data/JetVirtualTableParts.h"

#include <cmath>
#include <string_view>

// The values a statement reads: from the decoded columns, from the columns read for a few rows,
// or from the row a streamed scan stands on.
namespace jetvtab::detail {
namespace {

// A value of the row the stream stands on, as the decoded columns would give it. The cell
// changes with the next row: SQLite takes a copy.
int streamedColumn(const Cursor &cursor, sqlite3_context *ctx, int c)
{
    const int k = c >= 0 && size_t(c) < cursor.at.size() ? cursor.at[size_t(c)] : -1;
    if (k < 0) {
        sqlite3_result_null(ctx);
        return SQLITE_OK;
    }
    const JetCell &cell = cursor.stream->cells()[size_t(k)];
    if (cell.isNull()) {
        sqlite3_result_null(ctx);
        return SQLITE_OK;
    }
    switch (cursor.store->columns()[c].kind) {
    case StorageClass::Integer: sqlite3_result_int64(ctx, cell.integer); break;
    case StorageClass::Real:
        if (std::isnan(cell.real))
            sqlite3_result_int64(ctx, kNotANumber);
        else
            sqlite3_result_double(ctx, cell.real);
        break;
    case StorageClass::Number: {
        // The text is made here for a value that comes as a number: out of memory is SQLite's
        // own failure, never an exception through its frames.
        try {
            const std::string_view text = decimalCellText(cell);
            sqlite3_result_text(ctx, text.data(), int(text.size()), SQLITE_TRANSIENT);
        } catch (...) {
            sqlite3_result_error_nomem(ctx);
            return SQLITE_NOMEM;
        }
        break;
    }
    default: sqlite3_result_text(ctx, cell.text.data(), int(cell.text.size()), SQLITE_TRANSIENT); break;
    }
    return SQLITE_OK;
}

} // namespace

int column(sqlite3_vtab_cursor *base, sqlite3_context *ctx, int c)
{
    const auto *cursor = static_cast<Cursor *>(base);
    if (cursor->stream)
        return streamedColumn(*cursor, ctx, c);
    const DecodedColumn *values = nullptr;
    size_t row = cursor->row;
    if (cursor->store->isDecoded(c)) {
        values = &cursor->store->column(c);
    } else {
        for (size_t k = 0; k < cursor->partialColumns.size(); ++k) {
            if (cursor->partialColumns[k] == c) {
                values = cursor->partial[k].get();
                row = cursor->index;
            }
        }
    }
    if (!values) { // left unread for the result to read (Catalog::deferColumns)
        sqlite3_result_null(ctx);
        return SQLITE_OK;
    }
    const DecodedColumn &col = *values;
    if (col.isNull(row)) {
        sqlite3_result_null(ctx);
        return SQLITE_OK;
    }
    switch (col.kind) {
    case StorageClass::Integer: sqlite3_result_int64(ctx, col.integers[row]); break;
    case StorageClass::Real:
        if (std::isnan(col.reals[row]))
            sqlite3_result_int64(ctx, kNotANumber);
        else
            sqlite3_result_double(ctx, col.reals[row]);
        break;
    // An exact decimal as its text: see the column's declaration.
    default: {
        size_t size;
        const char *p = col.textAt(row, size);
        // The column outlives every statement: SQLite may point at it instead of copying.
        sqlite3_result_text(ctx, p, int(size), SQLITE_STATIC);
        break;
    }
    }
    return SQLITE_OK;
}

int rowid(sqlite3_vtab_cursor *base, sqlite3_int64 *out)
{
    *out = sqlite3_int64(static_cast<Cursor *>(base)->row);
    return SQLITE_OK;
}

} // namespace jetvtab::detail
