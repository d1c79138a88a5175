#include "data/JetVirtualTable.h"
#include "data/JetVirtualTableParts.h"

#include "data/ColumnStore.h"
#include "data/DatabaseError.h"
#include "data/NumberCompare.h"
#include "data/Prefilter.h"
#include "data/SqlErrors.h"
#include "data/TextCompare.h"
#include "data/jet/JetError.h"
#include "data/jet/JetPages.h"
#include "data/jet/JetRows.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <sqlite3.h>
#include <string>

namespace jetvtab {
namespace {

using detail::column;
using detail::Cursor;
using detail::rowid;
using detail::Table;

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

// Keeps a failure for the engine and hands SQLite its text; called in a handler. Nothing
// escapes: a failure that cannot even be kept (out of memory again) is SQLite's own
// out-of-memory failure, which the engine reports as its own.
int failed(Table *table) noexcept
{
    try {
        QString message;
        try {
            throw;
        } catch (const EDatabaseError &e) {
            table->catalog->error = std::current_exception();
            message = e.message();
        } catch (const jet::Error &e) { // a row read from the file as the scan reaches it
            const EDatabaseError error(e);
            table->catalog->error = std::make_exception_ptr(error);
            message = error.message();
        } catch (const std::bad_alloc &) {
            message = sqlerrors::outOfMemory();
            table->catalog->error = std::make_exception_ptr(EDatabaseError(message));
        } catch (...) {
            message = QStringLiteral("读取表时出错。");
            table->catalog->error = std::make_exception_ptr(EDatabaseError(message));
        }
        const QByteArray text = message.toUtf8();
        sqlite3_free(table->zErrMsg);
        table->zErrMsg = sqlite3_mprintf("%s", text.constData());
        return SQLITE_ERROR;
    } catch (...) {
        table->catalog->error = nullptr;
        return SQLITE_NOMEM;
    }
}

int connectTable(sqlite3 *db, void *aux, int argc, const char *const *argv, sqlite3_vtab **out, char **error)
{
    auto *catalog = static_cast<Catalog *>(aux);
    const long index = argc > 3 ? std::strtol(argv[3], nullptr, 10) : -1;
    if (index < 0 || size_t(index) >= catalog->stores.size()) {
        *error = sqlite3_mprintf("no such table: %s", argc > 2 ? argv[2] : "");
        return SQLITE_ERROR;
    }
    ColumnStore *store = catalog->stores[size_t(index)];
    std::unique_ptr<Table> owned(new (std::nothrow) Table);
    Table *table = owned.get();
    if (!table)
        return SQLITE_NOMEM;
    table->catalog = catalog;
    table->store = store;
    if (!store->refusal().isEmpty())
        table->refusal = store->refusal();
    else if (store->columns().isEmpty())
        table->refusal = QStringLiteral("表 '%1' 没有列。").arg(store->name());
    std::string declaration = "CREATE TABLE x(";
    for (int c = 0; c < store->columns().size(); ++c) {
        const JetColumn &column = store->columns()[c];
        if (c)
            declaration += ',';
        declaration += quoted(column.name);
        switch (column.kind) {
        case StorageClass::Integer: declaration += " INTEGER"; break;
        case StorageClass::Real: declaration += " REAL"; break;
        // Exact decimals as their text, which prints exactly. The text affinity keeps SQLite from
        // making them doubles to compare them with a number: the collation compares both texts
        // by exact value, as it sorts them and picks min() and max().
        case StorageClass::Number: declaration += std::string(" TEXT COLLATE ") + jetnumber::kCollation; break;
        // Text compares like Jet: "=", ORDER BY and LIKE without regard to the case of any
        // letter, accented ones too.
        default: declaration += std::string(" TEXT COLLATE ") + jettext::kCollation; break;
        }
    }
    declaration += ')';
    // A table that cannot be declared as it is stays a table, one that refuses every statement:
    // a statement naming it must meet the file's damage, not a missing table.
    if (table->refusal.isEmpty() && sqlite3_declare_vtab(db, declaration.c_str()) != SQLITE_OK)
        table->refusal = sqlerrors::damaged(store->filePath());
    if (!table->refusal.isEmpty()) {
        const int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(refused)");
        if (rc != SQLITE_OK) {
            *error = sqlite3_mprintf("%s", table->refusal.toUtf8().constData());
            return rc;
        }
    }
    *out = owned.release();
    return SQLITE_OK;
}

// Nothing may unwind through SQLite: out of memory is its own failure.
int connect(sqlite3 *db, void *aux, int argc, const char *const *argv, sqlite3_vtab **out, char **error)
{
    try {
        return connectTable(db, aux, argc, argv, out, error);
    } catch (...) {
        return SQLITE_NOMEM;
    }
}

int disconnect(sqlite3_vtab *vtab)
{
    delete static_cast<Table *>(vtab);
    return SQLITE_OK;
}

// The plan: a scan in file order. The columns the statement uses go to the filter in idxStr.
int planScan(sqlite3_vtab *vtab, sqlite3_index_info *info)
{
    auto *table = static_cast<Table *>(vtab);
    if (!table->refusal.isEmpty()) {
        try {
            throw EDatabaseError(table->refusal);
        } catch (...) {
            return failed(table);
        }
    }
    const int columns = int(table->store->columns().size());
    // What the statement reads of the table, for the engine: it picks how rows are made.
    Catalog::Planned *planned = nullptr;
    for (Catalog::Planned &p : table->catalog->planned)
        if (p.store == table->store)
            planned = &p;
    if (!planned) {
        table->catalog->planned.emplace_back();
        planned = &table->catalog->planned.back();
        planned->store = table->store;
    }
    planned->columnsUsed |= info->colUsed;
    for (int i = 0; i < info->nConstraint; ++i) {
        const int c = info->aConstraint[i].iColumn;
        if (c >= 0 && c < columns
            && std::find(planned->constrained.begin(), planned->constrained.end(), c) == planned->constrained.end())
            planned->constrained.push_back(c);
    }
    std::string used;
    for (int c = 0; c < columns; ++c) {
        const int bit = c < 63 ? c : 63;
        if (info->colUsed & (sqlite3_uint64(1) << bit)) {
            if (!used.empty())
                used += ',';
            used += std::to_string(c);
        }
    }
    // LIKE and = on text columns, for the prefilter; the constraint itself stays SQLite's.
    std::string tests;
    int argument = 0;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto &c = info->aConstraint[i];
        if (!c.usable || c.iColumn < 0 || c.iColumn >= columns)
            continue;
        const StorageClass kind = table->store->columns()[c.iColumn].kind;
        if (kind == StorageClass::Integer || kind == StorageClass::Real || kind == StorageClass::Number)
            continue;
        char op;
        if (c.op == SQLITE_INDEX_CONSTRAINT_LIKE) {
            op = 'L';
        } else if (c.op == SQLITE_INDEX_CONSTRAINT_EQ) {
            // Bytes decide only under a collation that folds nothing but case.
            const char *collation = sqlite3_vtab_collation(info, i);
            if (!collation
                || (sqlite3_stricmp(collation, jettext::kCollation) != 0 && sqlite3_stricmp(collation, "BINARY") != 0
                    && sqlite3_stricmp(collation, "NOCASE") != 0))
                continue;
            op = 'E';
        } else {
            continue;
        }
        // A constant operand whose test decides the constraint alone: SQLite leaves it to the
        // table and does not test the rows again (lower-case letter: the filter must build it).
        bool exact = false;
        sqlite3_value *operand = nullptr;
        if (sqlite3_vtab_rhs_value(info, i, &operand) == SQLITE_OK && operand
            && sqlite3_value_type(operand) == SQLITE_TEXT) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(operand));
            Prefilter f;
            const std::string bytes(text ? text : "", size_t(sqlite3_value_bytes(operand)));
            exact = text && (op == 'L' ? f.forLike(bytes) : f.forEquals(bytes)) && f.exact;
        }
        info->aConstraintUsage[i].argvIndex = ++argument;
        info->aConstraintUsage[i].omit = exact;
        tests += ';';
        tests += exact ? char(op - 'A' + 'a') : op;
        tests += std::to_string(c.iColumn);
    }
    used += tests;
    info->idxStr = sqlite3_mprintf("%s", used.c_str());
    if (!info->idxStr)
        return SQLITE_NOMEM;
    info->needToFreeIdxStr = 1;
    const int rows = table->store->rowCount();
    info->estimatedRows = rows >= 0 ? rows : 100000;
    info->estimatedCost = double(info->estimatedRows) / (argument + 1);
    return SQLITE_OK;
}

int bestIndex(sqlite3_vtab *vtab, sqlite3_index_info *info)
{
    try {
        return planScan(vtab, info);
    } catch (...) { // std::bad_alloc of the plan's text
        return SQLITE_NOMEM;
    }
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

int filter(sqlite3_vtab_cursor *base, int, const char *idxStr, int argc, sqlite3_value **argv)
{
    auto *cursor = static_cast<Cursor *>(base);
    auto *table = static_cast<Table *>(base->pVtab);
    cursor->prefilters.clear();
    cursor->listed = false;
    cursor->candidates.clear();
    cursor->partialColumns.clear();
    cursor->partial.clear();
    cursor->stream.reset();
    cursor->rows = 0;
    table->catalog->scanned = {};
    try {
        std::vector<int> filtered;
        // "c,c,...;Lc;ec...": the columns used, then the tests with their arguments in order (a
        // lower-case test was left to the table alone).
        std::vector<int> columns;
        const char *p = idxStr ? idxStr : "";
        while (*p && *p != ';') {
            char *end = nullptr;
            columns.push_back(int(std::strtol(p, &end, 10)));
            p = *end == ',' ? end + 1 : end;
        }
        int argument = 0;
        while (*p == ';' && std::strchr("LEle", p[1])) {
            const bool like = p[1] == 'L' || p[1] == 'l';
            const bool promised = p[1] == 'l' || p[1] == 'e';
            char *end = nullptr;
            const int column = int(std::strtol(p + 2, &end, 10));
            p = end;
            if (argument >= argc)
                break;
            sqlite3_value *value = argv[argument++];
            Prefilter f;
            f.column = column;
            bool built = false;
            if (sqlite3_value_type(value) == SQLITE_TEXT) {
                const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
                const std::string operand(text ? text : "", size_t(sqlite3_value_bytes(value)));
                built = text && (like ? f.forLike(operand) : f.forEquals(operand));
            }
            // The plan saw this very constant: a test it left to the table is always built.
            if (promised && !(built && f.exact))
                throw EDatabaseError(QStringLiteral("读取表时出错。"));
            if (!built)
                continue;
            filtered.push_back(column);
            cursor->prefilters.push_back(std::move(f));
        }
        ColumnStore *store = table->store;
        store->verify(table->catalog->statement);
        // A second scan of the table in one statement keeps what it decodes (see readOnce).
        const bool again = table->readOnce == table->catalog->statement;
        table->readOnce = table->catalog->statement;
        if (table->catalog->streaming && !again) {
            // The columns the tests read first: a row that fails them is not decoded further.
            cursor->stream = store->openRows(cursor->testedFirst(filtered, columns, store->columns().size()));
            cursor->streamEnded = !cursor->nextStreamed();
            table->catalog->scanned = {store, nullptr, {}, nullptr, nullptr, cursor};
            return SQLITE_OK;
        }
        if (cursor->prefilters.empty()) {
            store->ensure(columns);
        } else {
            // The columns the statement reads: decoded whole, left for the result to read
            // (Catalog::deferColumns), or neither yet (missing).
            const Catalog &catalog = *table->catalog;
            std::vector<int> deferred, missing;
            for (int c : columns) {
                if (store->isDecoded(c) || std::find(filtered.begin(), filtered.end(), c) != filtered.end())
                    continue;
                std::vector<int> &into =
                    catalog.deferStore == store
                            && std::find(catalog.deferColumns.begin(), catalog.deferColumns.end(), c)
                                   != catalog.deferColumns.end()
                        ? deferred
                        : missing;
                if (std::find(into.begin(), into.end(), c) == into.end())
                    into.push_back(c);
            }
            if (again) {
                std::vector<int> all = filtered;
                all.insert(all.end(), missing.begin(), missing.end());
                store->ensure(all);
                missing.clear();
            }
            if (!std::all_of(filtered.begin(), filtered.end(), [&](int c) { return store->isDecoded(c); })) {
                // One pass over the file (a search before the read-ahead has its columns): each
                // row's criterion columns tested as it is reached, the missing columns read only
                // for the rows that pass. Nothing is kept in the table: the columns are decoded
                // whole ahead of the next search, or by a statement without a criterion.
                const std::vector<int> read = cursor->testedFirst(filtered, missing, store->columns().size());
                auto matching = store->decodeMatching(
                    read, cursor->tested, [&](const std::vector<JetCell> &cells) { return cursor->admitsCells(cells); },
                    cursor->candidates, filtered);
                if (matching) {
                    cursor->partial = std::move(*matching);
                    cursor->partialColumns = read;
                    missing.clear();
                } else {
                    cursor->candidates.clear(); // decoded while it waited: searched whole below
                }
            }
            if (cursor->partialColumns.empty()) {
                // The criterion columns searched whole (each distinct value once where the column
                // keeps a dictionary), the missing columns then read for the rows found only.
                cursor->rows = size_t(store->rowCount());
                cursor->listCandidates();
                if (!missing.empty()) {
                    cursor->partial = store->decodeRows(missing, cursor->candidates);
                    cursor->partialColumns = missing;
                }
            }
            cursor->rows = size_t(-1); // past every row listed
            cursor->listed = true;
            cursor->moveTo(0);
            table->catalog->scanned = {store, &cursor->candidates, deferred, &cursor->partialColumns, &cursor->partial};
            return SQLITE_OK;
        }
    } catch (...) {
        cursor->prefilters.clear();
        return failed(table);
    }
    cursor->row = 0;
    cursor->rows = size_t(table->store->rowCount());
    table->catalog->scanned = {table->store, nullptr, {}, nullptr, nullptr};
    return SQLITE_OK;
}

int next(sqlite3_vtab_cursor *base)
{
    auto *cursor = static_cast<Cursor *>(base);
    if (cursor->stream) {
        try {
            cursor->streamEnded = !cursor->nextStreamed();
        } catch (...) {
            cursor->streamEnded = true;
            return failed(static_cast<Table *>(base->pVtab));
        }
        return SQLITE_OK;
    }
    if (cursor->listed)
        cursor->moveTo(cursor->index + 1);
    else
        ++cursor->row;
    return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor *base)
{
    const auto *cursor = static_cast<Cursor *>(base);
    if (cursor->stream)
        return cursor->streamEnded;
    return cursor->row >= cursor->rows;
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
