// How the engine runs a statement: prepared read-only, its rows made into a result or handed
// over one by one; a statement that only counts a table, or only lists its columns, is
// answered from the file without stepping SQLite through every row. Which statement that is,
// SQLite tells: what its tables were asked to plan, and the program it made.
#include "data/SqlEngine.h"

#include "data/ColumnStore.h"
#include "data/DatabaseError.h"
#include "data/NumberStatements.h"
#include "data/ResultSet.h"
#include "data/SqlErrors.h"
#include "data/StatementRows.h"
#include "data/jet/JetFile.h"
#include "data/jet/JetRows.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <sqlite3.h>
#include <string>
#include <utility>

namespace {

// Statements may read, never change anything (nor attach files or set pragmas).
int readOnlyAuthorizer(void *, int action, const char *, const char *, const char *, const char *)
{
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE: return SQLITE_OK;
    default: return SQLITE_DENY;
    }
}

// The columns read, as SQLite names them while it prepares a statement, besides the rule above.
struct ReadColumns
{
    std::vector<std::pair<std::string, std::string>> columns; // (table, column)
};

int recordingAuthorizer(void *context, int action, const char *table, const char *column, const char *database,
                        const char *trigger)
{
    const int rc = readOnlyAuthorizer(context, action, table, column, database, trigger);
    if (rc != SQLITE_OK || action != SQLITE_READ || !table || !column || !*column)
        return rc;
    try {
        static_cast<ReadColumns *>(context)->columns.emplace_back(table, column);
    } catch (...) { // out of memory: no exception through SQLite
        return SQLITE_DENY;
    }
    return SQLITE_OK;
}

struct StatementGuard
{
    sqlite3_stmt *stmt = nullptr;
    ~StatementGuard() { sqlite3_finalize(stmt); }
};

bool onlyBlanksAndSemicolon(const char *tail)
{
    bool semicolon = false;
    for (const char *p = tail; p && *p; ++p) {
        if (*p == ';' && !semicolon)
            semicolon = true;
        else if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n')
            return false;
    }
    return true;
}

QStringList columnNames(sqlite3_stmt *stmt)
{
    QStringList names;
    for (int c = 0; c < sqlite3_column_count(stmt); ++c)
        names << QString::fromUtf8(sqlite3_column_name(stmt, c));
    return names;
}

// Whether a column name means an exact decimal column (Currency, Decimal) of the file's
// tables, and nothing else in any of them.
bool exactColumnName(const std::vector<ColumnStore *> &stores, std::string_view name)
{
    const QString wanted = QString::fromUtf8(name.data(), qsizetype(name.size()));
    bool exact = false;
    for (const ColumnStore *s : stores)
        for (const JetColumn &c : s->columns())
            if (c.name.compare(wanted, Qt::CaseInsensitive) == 0) {
                if (c.kind != StorageClass::Number)
                    return false;
                exact = true;
            }
    return exact;
}

// What the program of a statement does, as EXPLAIN lists it: a scan of one table whose rows are
// only counted, or handed out as plain columns, each row as the scan gives it (Rows), after
// tests of constants made once before it starts (WHERE 1=1) and with every test of a column left
// to the table (its own filter): the result is the scan's rows, or none. Anything more (a test
// of a column, an expression, a sort, a limit, a second table) makes it neither.
enum class Shape { Other, Count, Rows };

Shape programShape(sqlite3 *db, sqlite3_stmt *stmt)
{
    const char *sql = sqlite3_sql(stmt);
    if (!sql)
        return Shape::Other;
    const std::string explain = std::string("EXPLAIN ") + sql;
    StatementGuard guard;
    if (sqlite3_prepare_v2(db, explain.c_str(), int(explain.size()), &guard.stmt, nullptr) != SQLITE_OK || !guard.stmt)
        return Shape::Other;
    struct Op
    {
        std::string code;
        int p2 = 0;
        std::string p4;
    };
    std::vector<Op> program;
    for (;;) {
        const int rc = sqlite3_step(guard.stmt);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            return Shape::Other;
        const auto *op = reinterpret_cast<const char *>(sqlite3_column_text(guard.stmt, 1));
        const auto *p4 = reinterpret_cast<const char *>(sqlite3_column_text(guard.stmt, 5));
        program.push_back({op ? op : "", sqlite3_column_int(guard.stmt, 3), p4 ? p4 : ""});
    }
    int halt = -1;
    for (size_t a = 0; a < program.size(); ++a)
        if (program[a].code == "Halt" && halt < 0)
            halt = int(a);
    int scans = 0, counts = 0, columns = 0, results = 0, filters = 0;
    bool tested = false;   // a test of constants before the scan
    bool constant = false; // a text constant: an argument of the table's filter
    for (size_t a = 0; a < program.size(); ++a) {
        const Op &op = program[a];
        const std::string_view opcode(op.code);
        if (opcode == "VOpen") {
            ++scans;
        } else if (opcode == "VColumn") {
            ++columns;
        } else if (opcode == "AggStep") {
            // count(*): no argument; any other aggregate is no count of rows
            if (op.p4 != "count(0)")
                return Shape::Other;
            ++counts;
        } else if (opcode == "Goto") {
            // Only the jump back from the set-up at the end: any other skips rows (WHERE 0).
            if (op.p2 != 1)
                return Shape::Other;
        } else if (opcode == "ResultRow") {
            if (++results > 1)
                return Shape::Other;
        } else if (opcode == "VFilter") {
            ++filters;
        } else if (opcode == "Ne" || opcode == "Eq" || opcode == "Lt" || opcode == "Le" || opcode == "Gt"
                   || opcode == "Ge" || opcode == "If" || opcode == "IfNot") {
            // Before the scan opens, ending the statement when it fails: no row comes out.
            if (scans != 0 || op.p2 != halt)
                return Shape::Other;
            tested = true;
        } else if (opcode == "String8") {
            constant = true;
        } else if (opcode != "Init" && opcode != "Halt" && opcode != "Transaction" && opcode != "TableLock"
                   && opcode != "VNext" && opcode != "Integer" && opcode != "Null" && opcode != "AggFinal"
                   && opcode != "Copy" && opcode != "SCopy") {
            return Shape::Other;
        }
    }
    if (scans != 1 || results != 1 || filters != 1)
        return Shape::Other;
    if (counts == 1 && columns == 0 && !tested && !constant && sqlite3_column_count(stmt) == 1)
        return Shape::Count;
    return counts == 0 && columns > 0 ? Shape::Rows : Shape::Other;
}

} // namespace

// The statement prepared and its parameters bound; the caller finalizes it. Throws
// EDatabaseError.
sqlite3_stmt *SqlEngine::prepare(const QString &sql, const QStringList &params, QStringList &names)
{
    const QByteArray written = sql.toUtf8();
    // What SQLite would not do exactly on exact columns, rewritten (see NumberStatements.h).
    std::string text;
    try {
        text = jetnumber::rewriteStatement(
            std::string_view(written.constData(), size_t(written.size())),
            [this](std::string_view name) { return exactColumnName(m_catalog.stores, name); });
    } catch (const std::bad_alloc &) {
        throw EDatabaseError(sqlerrors::outOfMemory());
    }
    m_catalog.error = nullptr;
    ++m_catalog.statement;
    m_catalog.planned.clear();
    m_catalog.scanned = {};
    StatementGuard guard;
    const char *tail = nullptr;
    const int rc = prepareStatement(text.c_str(), int(text.size()), &guard.stmt, &tail, readOnlyAuthorizer, nullptr);
    // A field named after its expression is named as the user wrote it.
    StatementGuard asWritten;
    if (rc == SQLITE_OK && guard.stmt && text != written.toStdString()) {
        sqlite3_set_authorizer(m_db, readOnlyAuthorizer, nullptr);
        sqlite3_prepare_v2(m_db, written.constData(), int(written.size()), &asWritten.stmt, nullptr);
        sqlite3_set_authorizer(m_db, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        // A table's own failure (its file damaged) is raised as it was.
        if (m_catalog.error)
            std::rethrow_exception(std::exchange(m_catalog.error, nullptr));
        sqlerrors::fail(m_db, rc);
    }
    if (!guard.stmt)
        throw EDatabaseError(QStringLiteral("SQL 语句无效: 语句为空。"));
    if (!onlyBlanksAndSemicolon(tail))
        throw EDatabaseError(QStringLiteral("在 SQL 语句结尾之后找到字符。"));
    if (!sqlite3_stmt_readonly(guard.stmt))
        throw EDatabaseError(sqlerrors::readOnly());
    names = columnNames(asWritten.stmt && sqlite3_column_count(asWritten.stmt) == sqlite3_column_count(guard.stmt)
                            ? asWritten.stmt
                            : guard.stmt);

    const int paramCount = sqlite3_bind_parameter_count(guard.stmt);
    for (int i = 1; i <= paramCount; ++i) {
        if (i > params.size())
            throw EDatabaseError(QStringLiteral("参数对象被不正确地定义。提供了不一致或不完整的信息。"));
        const QByteArray value = params.at(i - 1).toUtf8();
        sqlite3_bind_text(guard.stmt, i, value.constData(), int(value.size()), SQLITE_TRANSIENT);
    }
    return std::exchange(guard.stmt, nullptr);
}

// Which fields are Yes/No and exact decimal columns of a table; the cells are left as they are.
void SqlEngine::describe(sqlite3_stmt *stmt, ValueTypes &types) const
{
    const std::vector<statementrows::FieldOrigin> origins = statementrows::fieldOrigins(stmt, m_catalog);
    types.yesNo.assign(origins.size(), false);
    types.exact.assign(origins.size(), false);
    for (size_t c = 0; c < origins.size(); ++c) {
        if (!origins[c].store)
            continue;
        const StorageClass kind = origins[c].store->columns()[origins[c].column].kind;
        types.yesNo[c] = kind == StorageClass::Boolean;
        types.exact[c] = kind == StorageClass::Number;
    }
}

// The table of a statement that only counts a table's rows ("SELECT COUNT(*) FROM t"), which
// its pages' row slots answer without stepping through the rows: SQLite planned one scan that
// uses no column and tests none, and its program only counts. Null for any other statement.
ColumnStore *SqlEngine::countedTable(sqlite3_stmt *stmt)
{
    if (m_catalog.planned.size() != 1)
        return nullptr;
    const jetvtab::Catalog::Planned &p = m_catalog.planned.front();
    if (!p.constrained.empty() || p.columnsUsed != 0)
        return nullptr;
    for (ColumnStore *s : m_catalog.stores)
        if (s == p.store && s->refusal().isEmpty())
            return programShape(m_db, stmt) == Shape::Count ? s : nullptr;
    return nullptr;
}

bool SqlEngine::plannedReads(const QString &sql, Reads &reads)
{
    std::lock_guard<std::mutex> lock(m_callLock);
    reads = Reads();
    useCurrentFile();
    const QByteArray text = sql.toUtf8();
    ReadColumns read;
    m_catalog.planned.clear();
    StatementGuard guard;
    const int rc =
        prepareStatement(text.constData(), int(text.size()), &guard.stmt, nullptr, recordingAuthorizer, &read);
    m_catalog.error = nullptr;
    if (rc != SQLITE_OK || !guard.stmt || read.columns.empty())
        return false;
    const ColumnStore *store = nullptr;
    for (ColumnStore *s : m_catalog.stores)
        if (s->name() == m_file->findTable(QString::fromUtf8(read.columns.front().first.c_str())))
            store = s;
    if (!store)
        return false;
    reads.table = store->name();
    const QVector<JetColumn> &columns = store->columns();
    for (const auto &[table, column] : read.columns) {
        const QString name = QString::fromUtf8(column.c_str());
        if (m_file->findTable(QString::fromUtf8(table.c_str())) == store->name()
            && !reads.columns.contains(name, Qt::CaseInsensitive))
            reads.columns << name;
    }
    for (const jetvtab::Catalog::Planned &p : m_catalog.planned)
        if (p.store == store)
            for (int c = 0; c < columns.size(); ++c)
                if (std::find(p.constrained.begin(), p.constrained.end(), c) != p.constrained.end())
                    reads.constrained << columns[c].name;
    return true;
}

namespace {

// Steps a statement through `step`. A failure inside a table's module is raised as it was, not
// as SQLite's copy of its text; running out of memory is the engine's own message.
template <class Step>
void stepping(jetvtab::Catalog &catalog, Step &&step)
{
    try {
        step();
    } catch (const std::bad_alloc &) {
        throw EDatabaseError(sqlerrors::outOfMemory());
    } catch (const EDatabaseError &) {
        if (catalog.error)
            std::rethrow_exception(std::exchange(catalog.error, nullptr));
        throw;
    }
}

} // namespace

std::unique_ptr<ResultSet> SqlEngine::run(const QString &sql, const QStringList &params)
{
    StatementGuard guard;
    QStringList names;
    guard.stmt = prepare(sql, params, names);
    giveWay();
    if (ColumnStore *counted = countedTable(guard.stmt)) {
        if (m_prepared)
            m_prepared();
        counted->verify(m_catalog.statement);
        const std::string rows = std::to_string(counted->countRows());
        auto result = std::make_unique<ResultSet>(names);
        result->appendCell(rows.data(), rows.size());
        result->endRow();
        if (m_types) {
            describe(guard.stmt, *m_types);
            m_types->cells.assign(1, SQLITE_INTEGER);
        }
        return result;
    }
    auto result = std::make_unique<ResultSet>(names);
    if (m_types) {
        m_types->cells.clear();
        describe(guard.stmt, *m_types);
    }
    if (m_prepared)
        m_prepared();
    // One table's scan handing out its rows as they are: the result is the scan's rows. The
    // fields no window reads ahead (shown nowhere while the user searches) are then read only
    // when the result is asked for them.
    const std::vector<statementrows::FieldOrigin> origins = statementrows::fieldOrigins(guard.stmt, m_catalog);
    const bool scanRows = m_catalog.planned.size() == 1 && programShape(m_db, guard.stmt) == Shape::Rows
                          && statementrows::singleTable(origins) == m_catalog.planned.front().store;
    struct Deferring
    {
        jetvtab::Catalog &catalog;
        ~Deferring()
        {
            catalog.deferStore = nullptr;
            catalog.deferColumns.clear();
        }
    } deferring{m_catalog};
    if (scanRows && !m_types) {
        const ColumnStore *table = m_catalog.planned.front().store;
        std::lock_guard<std::mutex> lock(m_jobsMutex);
        for (const auto &[name, ahead] : m_readAhead)
            if (name.compare(table->name(), Qt::CaseInsensitive) == 0)
                for (const statementrows::FieldOrigin &f : origins)
                    if (!ahead.contains(table->columns()[f.column].name, Qt::CaseInsensitive))
                        m_catalog.deferColumns.push_back(f.column);
        if (!m_catalog.deferColumns.empty())
            m_catalog.deferStore = table;
    }
    try {
        stepping(m_catalog, [&] {
            statementrows::read(guard.stmt, *result, m_stores, m_catalog, m_types ? &m_types->cells : nullptr,
                                scanRows);
        });
    } catch (const statementrows::Unread &) {
        // The rows were not the scan's after all: every value read, the usual way.
        m_catalog.deferStore = nullptr;
        m_catalog.deferColumns.clear();
        sqlite3_reset(guard.stmt);
        result = std::make_unique<ResultSet>(names);
        stepping(m_catalog, [&] { statementrows::read(guard.stmt, *result, m_stores, m_catalog); });
    }
    return result;
}

void SqlEngine::stream(const QString &sql, const QStringList &params,
                       const std::function<void(const QStringList &names, const ValueTypes &types)> &begin,
                       const RowSink &row)
{
    std::lock_guard<std::mutex> lock(m_callLock);
    // Out of memory outside the tables too is the engine's own failure.
    try {
        streamRows(sql, params, begin, row);
    } catch (const std::bad_alloc &) {
        throw EDatabaseError(sqlerrors::outOfMemory());
    }
}

void SqlEngine::streamRows(const QString &sql, const QStringList &params,
                           const std::function<void(const QStringList &names, const ValueTypes &types)> &begin,
                           const RowSink &row)
{
    useCurrentFile();
    // The rows are read from the file as they go out: nothing else may use it meanwhile.
    stopWarmUp();
    StatementGuard guard;
    QStringList names;
    guard.stmt = prepare(sql, params, names);
    ValueTypes types;
    describe(guard.stmt, types);
    try {
        ColumnStore *counted = countedTable(guard.stmt);
        begin(names, types);
        if (m_prepared)
            m_prepared();
        if (counted) {
            counted->verify(m_catalog.statement);
            const std::string rows = std::to_string(counted->countRows());
            const std::string_view cell(rows);
            const unsigned char type = SQLITE_INTEGER;
            row(&cell, &type);
        } else {
            struct Streaming
            {
                jetvtab::Catalog &catalog;
                explicit Streaming(jetvtab::Catalog &c) : catalog(c) { catalog.streaming = true; }
                ~Streaming() { catalog.streaming = false; }
            } streaming(m_catalog);
            // A plain column list of one table (SELECT * too) and a scan that its criteria narrow
            // alike: after the first row, the rest straight from the file.
            const bool scanRows = m_catalog.planned.size() == 1 && programShape(m_db, guard.stmt) == Shape::Rows;
            stepping(m_catalog, [&] { statementrows::stream(guard.stmt, m_catalog, row, scanRows); });
        }
    } catch (const EDatabaseError &) {
        // What failed while the file changed is no fault of the file at the path now.
        if (m_file->isCurrent())
            throw;
        throw EDatabaseError(sqlerrors::changedWhileRead());
    }
    // Rows read while the file changed may mix two files: what went out is not vouched for.
    if (!m_file->isCurrent())
        throw EDatabaseError(sqlerrors::changedWhileRead());
}
