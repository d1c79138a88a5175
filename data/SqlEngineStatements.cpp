// How the engine runs a statement: prepared read-only, its rows made into a result or handed
// over one by one; a statement that only counts a table, or only lists its columns, is
// answered from the file without stepping SQLite through every row.
#include "data/SqlEngine.h"

#include "data/ColumnStore.h"
#include "data/DatabaseError.h"
#include "data/NumberStatements.h"
#include "data/ResultSet.h"
#include "data/SqlErrors.h"
#include "data/StatementRows.h"
#include "data/jet/JetFile.h"
#include "data/jet/JetRows.h"

#include <QRegularExpression>

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
    StatementGuard guard;
    const char *tail = nullptr;
    sqlite3_set_authorizer(m_db, readOnlyAuthorizer, nullptr);
    const int rc = sqlite3_prepare_v2(m_db, text.c_str(), int(text.size()), &guard.stmt, &tail);
    // A field named after its expression is named as the user wrote it.
    StatementGuard asWritten;
    if (rc == SQLITE_OK && guard.stmt && text != written.toStdString())
        sqlite3_prepare_v2(m_db, written.constData(), int(written.size()), &asWritten.stmt, nullptr);
    sqlite3_set_authorizer(m_db, nullptr, nullptr);
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
// its pages' row slots answer without stepping through the rows; null for any other statement.
ColumnStore *SqlEngine::countedTable(const QString &sql)
{
    static const QRegularExpression count(
        QStringLiteral("^\\s*select\\s+count\\s*\\(\\s*\\*\\s*\\)\\s*from\\s+"
                       "(?:([^\\s;\"\\[\\]`'(),.-]+)|\"((?:[^\"]|\"\")+)\"|\\[([^\\]]+)\\]|`([^`]+)`)\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = count.match(sql);
    if (!m.hasMatch())
        return nullptr;
    QString name;
    for (int g = 1; g <= 4 && name.isEmpty(); ++g)
        name = m.captured(g);
    name.replace(QLatin1String("\"\""), QLatin1String("\""));
    const QString stored = m_file->findTable(name);
    for (ColumnStore *s : m_catalog.stores)
        if (!stored.isEmpty() && s->name() == stored && s->refusal().isEmpty())
            return s;
    return nullptr;
}

// The table of a statement that lists columns of one table and nothing more ("SELECT * FROM
// t", "SELECT a, b FROM t"): its rows can go out straight from the file, each value as the
// engine would give it. `columns` gets the table's column of each field. Null for any other
// statement.
ColumnStore *SqlEngine::plainScan(const QString &sql, sqlite3_stmt *stmt, std::vector<int> &columns)
{
    static const QString name =
        QStringLiteral("(?:[^\\s;\"\\[\\]`'(),.*+/<>=!|&%~-]+|\"(?:[^\"]|\"\")+\"|\\[[^\\]]+\\]|`[^`]+`)");
    static const QRegularExpression plain(
        QStringLiteral("^\\s*select\\s+(?:\\*|%1(?:\\s*,\\s*%1)*)\\s+from\\s+%1\\s*;?\\s*$").arg(name),
        QRegularExpression::CaseInsensitiveOption);
    if (!plain.match(sql).hasMatch())
        return nullptr;
    const std::vector<statementrows::FieldOrigin> origins = statementrows::fieldOrigins(stmt, m_catalog);
    ColumnStore *store = statementrows::singleTable(origins);
    columns.clear();
    if (!store || !store->refusal().isEmpty())
        return nullptr;
    for (const statementrows::FieldOrigin &f : origins)
        columns.push_back(f.column);
    return columns.empty() ? nullptr : store;
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
    if (ColumnStore *counted = countedTable(sql)) {
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
    stepping(m_catalog, [&] {
        statementrows::read(guard.stmt, *result, m_stores, m_catalog, m_types ? &m_types->cells : nullptr);
    });
    return result;
}

void SqlEngine::stream(const QString &sql, const QStringList &params,
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
        ColumnStore *counted = countedTable(sql);
        begin(names, types);
        if (m_prepared)
            m_prepared();
        if (counted) {
            counted->verify(m_catalog.statement);
            const std::string rows = std::to_string(counted->countRows());
            const std::string_view cell(rows);
            const unsigned char type = SQLITE_INTEGER;
            row(&cell, &type);
        } else if (std::vector<int> fields; ColumnStore *table = plainScan(sql, guard.stmt, fields)) {
            // Straight from the file: each row decoded, written and let go, SQLite not stepped.
            table->verify(m_catalog.statement);
            std::vector<int> read;
            std::vector<size_t> at;
            for (int f : fields) {
                auto found = std::find(read.begin(), read.end(), f);
                at.push_back(size_t(found - read.begin()));
                if (found == read.end())
                    read.push_back(f);
            }
            const std::unique_ptr<jet::TableCursor> rows = table->openRows(read);
            std::vector<std::string> buffers(fields.size());
            std::vector<std::string_view> cells(fields.size());
            std::vector<unsigned char> cellTypes(fields.size());
            try {
                while (rows->next()) {
                    for (size_t f = 0; f < fields.size(); ++f)
                        cells[f] = statementrows::jetCellText(rows->cells()[at[f]], table->columns()[fields[f]].kind,
                                                              buffers[f], cellTypes[f]);
                    row(cells.data(), cellTypes.data());
                }
            } catch (const jet::Error &e) {
                throw EDatabaseError(e);
            } catch (const std::bad_alloc &) {
                throw EDatabaseError(sqlerrors::outOfMemory());
            }
        } else {
            struct Streaming
            {
                jetvtab::Catalog &catalog;
                explicit Streaming(jetvtab::Catalog &c) : catalog(c) { catalog.streaming = true; }
                ~Streaming() { catalog.streaming = false; }
            } streaming(m_catalog);
            stepping(m_catalog, [&] { statementrows::stream(guard.stmt, m_catalog, row); });
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
