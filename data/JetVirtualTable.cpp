#include "data/JetVirtualTable.h"

#include "data/ColumnStore.h"
#include "data/DatabaseError.h"
#include "data/TextCompare.h"

#include <sqlite3.h>
#include <cstdlib>
#include <new>
#include <string>

namespace jetvtab {
namespace {

struct Table : sqlite3_vtab
{
    Catalog *catalog = nullptr;
    ColumnStore *store = nullptr;
};

struct Cursor : sqlite3_vtab_cursor
{
    const ColumnStore *store = nullptr;
    size_t row = 0;
    size_t rows = 0;
};

std::string quoted(const QString &name)
{
    std::string s = "\"";
    for (char c : name.toStdString()) {
        if (c == '"')
            s += '"';
        s += c;
    }
    return s + '"';
}

// Keeps a failure for the engine and hands SQLite its text.
int failed(Table *table)
{
    QString message;
    try {
        throw;
    } catch (const EDatabaseError &e) {
        table->catalog->error = std::current_exception();
        message = e.message();
    } catch (const std::bad_alloc &) {
        table->catalog->error = std::make_exception_ptr(EDatabaseError(QStringLiteral("内存不足，无法完成查询。")));
        message = QStringLiteral("内存不足，无法完成查询。");
    } catch (...) {
        table->catalog->error = std::make_exception_ptr(EDatabaseError(QStringLiteral("读取表时出错。")));
        message = QStringLiteral("读取表时出错。");
    }
    sqlite3_free(table->zErrMsg);
    table->zErrMsg = sqlite3_mprintf("%s", message.toUtf8().constData());
    return SQLITE_ERROR;
}

int connect(sqlite3 *db, void *aux, int argc, const char *const *argv, sqlite3_vtab **out, char **error)
{
    auto *catalog = static_cast<Catalog *>(aux);
    const long index = argc > 3 ? std::strtol(argv[3], nullptr, 10) : -1;
    if (index < 0 || size_t(index) >= catalog->stores.size()) {
        *error = sqlite3_mprintf("no such table: %s", argc > 2 ? argv[2] : "");
        return SQLITE_ERROR;
    }
    ColumnStore *store = catalog->stores[size_t(index)];
    std::string declaration = "CREATE TABLE x(";
    for (int c = 0; c < store->columns().size(); ++c) {
        const JetColumn &column = store->columns()[c];
        if (c)
            declaration += ',';
        declaration += quoted(column.name);
        switch (column.kind) {
        case JetKind::Integer: declaration += " INTEGER"; break;
        case JetKind::Real: declaration += " REAL"; break;
        // Text compares like Jet: "=", ORDER BY and LIKE without regard to the case of any
        // letter, accented ones too.
        default: declaration += std::string(" TEXT COLLATE ") + jettext::kCollation; break;
        }
    }
    declaration += ')';
    const int rc = sqlite3_declare_vtab(db, declaration.c_str());
    if (rc != SQLITE_OK)
        return rc;
    auto *table = new (std::nothrow) Table;
    if (!table)
        return SQLITE_NOMEM;
    table->catalog = catalog;
    table->store = store;
    *out = table;
    return SQLITE_OK;
}

int disconnect(sqlite3_vtab *vtab)
{
    delete static_cast<Table *>(vtab);
    return SQLITE_OK;
}

// The plan: a scan in file order. The columns the statement uses go to the filter in idxStr.
int bestIndex(sqlite3_vtab *vtab, sqlite3_index_info *info)
{
    auto *table = static_cast<Table *>(vtab);
    const int columns = int(table->store->columns().size());
    std::string used;
    for (int c = 0; c < columns; ++c) {
        const int bit = c < 63 ? c : 63;
        if (info->colUsed & (sqlite3_uint64(1) << bit)) {
            if (!used.empty())
                used += ',';
            used += std::to_string(c);
        }
    }
    info->idxStr = sqlite3_mprintf("%s", used.c_str());
    if (!info->idxStr)
        return SQLITE_NOMEM;
    info->needToFreeIdxStr = 1;
    const int rows = table->store->rowCount();
    info->estimatedRows = rows >= 0 ? rows : 100000;
    info->estimatedCost = double(info->estimatedRows);
    return SQLITE_OK;
}

int open(sqlite3_vtab *vtab, sqlite3_vtab_cursor **out)
{
    auto *cursor = new (std::nothrow) Cursor;
    if (!cursor)
        return SQLITE_NOMEM;
    cursor->store = static_cast<Table *>(vtab)->store;
    *out = cursor;
    return SQLITE_OK;
}

int close(sqlite3_vtab_cursor *cursor)
{
    delete static_cast<Cursor *>(cursor);
    return SQLITE_OK;
}

int filter(sqlite3_vtab_cursor *base, int, const char *idxStr, int, sqlite3_value **)
{
    auto *cursor = static_cast<Cursor *>(base);
    auto *table = static_cast<Table *>(base->pVtab);
    try {
        std::vector<int> columns;
        for (const char *p = idxStr; p && *p;) {
            char *end = nullptr;
            columns.push_back(int(std::strtol(p, &end, 10)));
            p = *end == ',' ? end + 1 : end;
        }
        table->store->ensure(columns);
    } catch (...) {
        return failed(table);
    }
    cursor->row = 0;
    cursor->rows = size_t(table->store->rowCount());
    return SQLITE_OK;
}

int next(sqlite3_vtab_cursor *base)
{
    ++static_cast<Cursor *>(base)->row;
    return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor *base)
{
    const auto *cursor = static_cast<Cursor *>(base);
    return cursor->row >= cursor->rows;
}

int column(sqlite3_vtab_cursor *base, sqlite3_context *ctx, int c)
{
    const auto *cursor = static_cast<Cursor *>(base);
    if (!cursor->store->isDecoded(c)) { // not named in the plan: never the case for a column read
        sqlite3_result_null(ctx);
        return SQLITE_OK;
    }
    const StoredColumn &col = cursor->store->column(c);
    const size_t row = cursor->row;
    if (col.isNull(row)) {
        sqlite3_result_null(ctx);
        return SQLITE_OK;
    }
    switch (col.kind) {
    case JetKind::Integer: sqlite3_result_int64(ctx, col.integers[row]); break;
    case JetKind::Real: sqlite3_result_double(ctx, col.reals[row]); break;
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

sqlite3_module makeModule()
{
    sqlite3_module m{};
    m.iVersion = 1;
    m.xCreate = connect;
    m.xConnect = connect;
    m.xBestIndex = bestIndex;
    m.xDisconnect = disconnect;
    m.xDestroy = disconnect;
    m.xOpen = open;
    m.xClose = close;
    m.xFilter = filter;
    m.xNext = next;
    m.xEof = eof;
    m.xColumn = column;
    m.xRowid = rowid;
    return m;
}

const sqlite3_module kJetModule = makeModule();

} // namespace

int registerModule(sqlite3 *db, Catalog *catalog)
{
    return sqlite3_create_module(db, kModule, &kJetModule, catalog);
}

} // namespace jetvtab
