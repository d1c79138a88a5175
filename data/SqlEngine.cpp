#include "data/SqlEngine.h"

#include "data/ColumnStore.h"
#include "data/DatabaseError.h"
#include "data/jet/JetFile.h"
#include "data/JetVirtualTable.h"
#include "data/ResultSet.h"
#include "data/TextCompare.h"

#include <QLocale>
#include <sqlite3.h>
#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
#include <system_error>
#include <utility>

namespace {

// Statements may read, never change anything (nor attach files or set pragmas).
int readOnlyAuthorizer(void *, int action, const char *, const char *, const char *, const char *)
{
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
        return SQLITE_OK;
    default:
        return SQLITE_DENY;
    }
}

QString afterPrefix(const QString &msg, const QString &prefix)
{
    return msg.mid(prefix.size()).trimmed();
}

QString unquoted(QString s)
{
    if (s.size() >= 2 && s.startsWith(QLatin1Char('"')) && s.endsWith(QLatin1Char('"')))
        s = s.mid(1, s.size() - 2);
    return s;
}

// SQLite's English message in the Chinese wording of the database layer, naming the table,
// column or token.
QString translateError(const QString &msg)
{
    static const QString noTable = QStringLiteral("no such table:");
    static const QString noColumn = QStringLiteral("no such column:");
    static const QString noFunction = QStringLiteral("no such function:");
    static const QString ambiguous = QStringLiteral("ambiguous column name:");
    static const QString unrecognized = QStringLiteral("unrecognized token:");
    if (msg.startsWith(noTable))
        return QStringLiteral("找不到表 '%1'。").arg(afterPrefix(msg, noTable));
    if (msg.startsWith(noColumn))
        return QStringLiteral("找不到列 '%1'。").arg(afterPrefix(msg, noColumn));
    if (msg.startsWith(noFunction))
        return QStringLiteral("表达式中有未定义的函数 '%1'。").arg(afterPrefix(msg, noFunction));
    if (msg.startsWith(ambiguous))
        return QStringLiteral("列名 '%1' 不明确。").arg(afterPrefix(msg, ambiguous));
    if (msg.startsWith(unrecognized))
        return QStringLiteral("语法错误: 无法识别的符号 '%1'。").arg(unquoted(afterPrefix(msg, unrecognized)));
    if (msg.startsWith(QLatin1String("near ")) && msg.endsWith(QLatin1String(": syntax error"))) {
        QString token = msg.mid(5, msg.size() - 5 - int(qstrlen(": syntax error")));
        return QStringLiteral("语法错误: '%1' 附近。").arg(unquoted(token));
    }
    if (msg == QString::fromUtf8(jettext::kBadPattern) || msg.startsWith(QStringLiteral("无法读取表 ")))
        return msg;
    if (msg == QLatin1String("incomplete input"))
        return QStringLiteral("语法错误: 语句不完整。");
    if (msg == QLatin1String("not authorized") || msg.endsWith(QLatin1String(" may not be modified")))
        return QStringLiteral("数据库以只读方式打开，只能执行查询语句。");
    if (msg.contains(QLatin1String("out of memory")))
        return QStringLiteral("内存不足，无法完成查询。");
    if (msg.contains(QLatin1String("interrupted")))
        return QStringLiteral("查询已中断。");
    return QStringLiteral("SQL 语句错误: %1。").arg(msg);
}

[[noreturn]] void fail(sqlite3 *db)
{
    throw EDatabaseError(translateError(QString::fromUtf8(sqlite3_errmsg(db))));
}

QString quotedName(const QString &name)
{
    QString s = name;
    s.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

void appendNumber(ResultSet &rs, double v)
{
    // Plain decimal, the shortest form that reads back as the same number, never an exponent.
    const QByteArray text = QByteArray::number(v, 'f', QLocale::FloatingPointShortest);
    rs.appendCell(text.constData(), size_t(text.size()));
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

// One row of a stepped statement into the result, each value in its text form. Each cell is
// fetched once as a value; text is taken as its bytes (the database is UTF-8), which spares
// SQLite terminating a copy of every cell.
void appendCopiedRow(sqlite3_stmt *stmt, int columns, ResultSet &result)
{
    for (int c = 0; c < columns; ++c) {
        sqlite3_value *v = sqlite3_column_value(stmt, c);
        switch (sqlite3_value_type(v)) {
        case SQLITE_NULL:
            result.appendCell("", 0);
            break;
        case SQLITE_INTEGER: {
            char buf[32];
            const int n = qsnprintf(buf, sizeof buf, "%lld", sqlite3_value_int64(v));
            result.appendCell(buf, size_t(n));
            break;
        }
        case SQLITE_FLOAT:
            appendNumber(result, sqlite3_value_double(v));
            break;
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

// Text columns of one table as the fields of a result: rows are kept as row numbers. Holds the
// table's columns, so the result stays readable after the connection has closed.
class StoreRows : public RowSource
{
public:
    StoreRows(std::shared_ptr<const ColumnStore> store, std::vector<int> columns)
        : m_store(std::move(store)), m_columns(std::move(columns))
    {
    }
    std::string_view text(quint32 row, int field) const override
    {
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
    std::shared_ptr<const ColumnStore> m_store;
    std::vector<int> m_columns;
};

// Whether the current row of the statement holds, field by field, exactly the values of row
// `row` of the source's columns.
bool sameAsSourceRow(sqlite3_stmt *stmt, const StoreRows &source, int columns, size_t row)
{
    for (int c = 0; c < columns; ++c) {
        const DecodedColumn &col = source.store()->column(source.column(c));
        const void *p = sqlite3_column_blob(stmt, c);
        if (col.isNull(row)) {
            if (sqlite3_column_type(stmt, c) != SQLITE_NULL)
                return false;
            continue;
        }
        size_t size;
        const char *q = col.textAt(row, size);
        // The value handed out by the table itself, not a copy: nothing else points there.
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

SqlEngine::SqlEngine(const QString &path, const QString &password)
{
    try {
        m_file = std::make_unique<JetFile>(path, password);
    } catch (const jet::Error &e) {
        throw EDatabaseError(e);
    }
    if (sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK
        || jettext::registerFunctions(m_db) != SQLITE_OK || jetvtab::registerModule(m_db, &m_catalog) != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw EDatabaseError(QStringLiteral("内存不足，无法打开数据库。"));
    }
}

SqlEngine::~SqlEngine()
{
    {
        std::lock_guard<std::mutex> lock(m_jobsMutex);
        m_cancel.store(true);
        m_jobs.clear();
        m_heldChanged.notify_all();
    }
    if (m_worker.joinable())
        m_worker.join();
    sqlite3_close(m_db);
}

QStringList SqlEngine::tableNames() const
{
    return m_file->tableNames();
}

ColumnStore *SqlEngine::store(const QString &name)
{
    const QString stored = m_file->findTable(name);
    if (stored.isEmpty())
        throw EDatabaseError(QStringLiteral("找不到表 '%1'。").arg(name));
    for (const auto &s : m_stores)
        if (s->name() == stored)
            return s.get();
    m_stores.push_back(std::make_shared<ColumnStore>(*m_file, stored, m_decodeLock));
    return m_stores.back().get();
}

bool SqlEngine::isLoaded(const QString &name) const
{
    for (const auto &s : m_stores)
        if (s->name().compare(name, Qt::CaseInsensitive) == 0)
            return s->rowCount() >= 0;
    return false;
}

int SqlEngine::loadTable(const QString &name)
{
    ColumnStore *s = store(name);
    std::vector<int> all; // those the reader can decode: the others fail the statements that read them
    for (int c = 0; c < s->columns().size(); ++c)
        if (s->columns()[c].unreadable.isEmpty())
            all.push_back(c);
    try {
        s->ensure(all);
    } catch (const std::bad_alloc &) {
        throw EDatabaseError(QStringLiteral("内存不足，无法读取表 '%1'。").arg(s->name()));
    }
    return s->rowCount();
}

bool SqlEngine::hasVirtualTable(const QString &name) const
{
    for (const ColumnStore *s : m_catalog.stores)
        if (s->name().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void SqlEngine::createVirtualTable(ColumnStore *s)
{
    for (size_t i = 0; i < m_catalog.stores.size(); ++i)
        if (m_catalog.stores[i] == s)
            return;
    if (s->columns().isEmpty())
        throw EDatabaseError(QStringLiteral("表 '%1' 没有列。").arg(s->name()));
    m_catalog.stores.push_back(s);
    const QByteArray create = QStringLiteral("CREATE VIRTUAL TABLE %1 USING %2(%3)")
                                  .arg(quotedName(s->name()), QLatin1String(jetvtab::kModule))
                                  .arg(m_catalog.stores.size() - 1)
                                  .toUtf8();
    if (sqlite3_exec(m_db, create.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        m_catalog.stores.pop_back();
        fail(m_db);
    }
}

void SqlEngine::setWarmUpFinished(std::function<void()> finished)
{
    std::lock_guard<std::mutex> lock(m_jobsMutex);
    m_finished = std::move(finished);
}

void SqlEngine::startWarmUp(const QString &table, const QStringList &columns)
{
    ColumnStore *s = store(table);
    std::vector<int> wanted;
    for (int c = 0; c < s->columns().size(); ++c)
        if (columns.contains(s->columns()[c].name, Qt::CaseInsensitive) && s->columns()[c].unreadable.isEmpty())
            wanted.push_back(c);
    std::lock_guard<std::mutex> lock(m_jobsMutex);
    m_jobs.push_back({s, wanted});
    if (m_running)
        return;
    if (m_worker.joinable())
        m_worker.join(); // ended already: it found no work left
    m_running = true;
    try {
        m_worker = std::thread([this] { warmUpLoop(); });
    } catch (const std::system_error &) {
        // No thread to be had: each statement decodes what it needs itself.
        m_running = false;
        m_jobs.clear();
    }
}

void SqlEngine::warmUpLoop()
{
    std::function<void()> finished;
    for (;;) {
        WarmUpJob job;
        {
            std::unique_lock<std::mutex> lock(m_jobsMutex);
            m_heldChanged.wait(lock, [this] { return !m_held || m_cancel.load(); });
            if (m_jobs.empty() || m_cancel.load()) {
                m_jobs.clear();
                m_running = false;
                finished = m_finished;
                break;
            }
            job = m_jobs.front();
            m_jobs.pop_front();
        }
        try {
            job.store->ensure(job.columns, &m_cancel);
        } catch (...) {
            // Left to the statement that needs the columns: it meets the same failure and
            // reports it.
        }
    }
    if (finished)
        finished();
}

void SqlEngine::holdWarmUp(bool held)
{
    std::lock_guard<std::mutex> lock(m_jobsMutex);
    m_held = held;
    m_heldChanged.notify_all();
}

bool SqlEngine::warmUpRunning() const
{
    std::lock_guard<std::mutex> lock(m_jobsMutex);
    return m_running;
}

void SqlEngine::finishWarmUp()
{
    {
        std::lock_guard<std::mutex> lock(m_jobsMutex);
        if (m_running)
            return;
    }
    if (m_worker.joinable())
        m_worker.join();
}

// Every row of a stepped statement into the result. When every field is a text column of one
// table as it stands, the result keeps row numbers instead of copies (each row checked against
// the table's values; the first that differs, a sorted or computed row, turns the result into
// copies for good).
void SqlEngine::readRows(sqlite3_stmt *stmt, int columns, ResultSet &result)
{
    const StoreRows *source = nullptr;
    std::shared_ptr<ColumnStore> store;
    std::vector<int> fields;
    for (int c = 0; c < columns; ++c) {
        const char *table = sqlite3_column_table_name(stmt, c);
        const char *origin = sqlite3_column_origin_name(stmt, c);
        const char *database = sqlite3_column_database_name(stmt, c);
        if (!table || !origin || !database || std::strcmp(database, "main") != 0)
            break;
        if (!store) {
            for (const auto &s : m_stores)
                if (s->name() == QString::fromUtf8(table) && hasVirtualTable(s->name()))
                    store = s;
            if (!store)
                break;
        } else if (store->name() != QString::fromUtf8(table)) {
            break;
        }
        const QString name = QString::fromUtf8(origin);
        int index = -1;
        for (int k = 0; k < store->columns().size(); ++k)
            if (store->columns()[k].name.compare(name, Qt::CaseInsensitive) == 0)
                index = k;
        const JetKind kind = index < 0 ? JetKind::Integer : store->columns()[index].kind;
        if (kind == JetKind::Integer || kind == JetKind::Real || kind == JetKind::Number)
            break;
        fields.push_back(index);
    }
    bool eligible = columns > 0 && int(fields.size()) == columns;
    for (;;) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            fail(sqlite3_db_handle(stmt));
        if (m_types)
            for (int c = 0; c < columns; ++c)
                m_types->cells.push_back((unsigned char)sqlite3_column_type(stmt, c));
        // Decided at the first row: the table decodes what the statement uses as it starts, and
        // a column read for a few rows only is not the table's.
        if (eligible) {
            eligible = false;
            if (std::all_of(fields.begin(), fields.end(), [&](int f) { return store->isDecoded(f); })) {
                auto rows = std::make_unique<StoreRows>(store, fields);
                source = rows.get();
                result.setRowSource(std::move(rows));
            }
        }
        if (source) {
            const size_t row = m_catalog.lastRow;
            if (m_catalog.lastStore == source->store() && row < size_t(source->store()->rowCount())
                && row <= 0xFFFFFFFFu && sameAsSourceRow(stmt, *source, columns, row)) {
                result.appendSourceRow(quint32(row));
                continue;
            }
            result.copy();
            source = nullptr;
        }
        appendCopiedRow(stmt, columns, result);
    }
}

std::unique_ptr<ResultSet> SqlEngine::execute(const QString &sql, const QStringList &params)
{
    const QByteArray text = sql.toUtf8();
    m_catalog.error = nullptr;
    ++m_catalog.statement;
    StatementGuard guard;
    for (;;) {
        const char *tail = nullptr;
        sqlite3_set_authorizer(m_db, readOnlyAuthorizer, nullptr);
        const int rc = sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &guard.stmt, &tail);
        sqlite3_set_authorizer(m_db, nullptr, nullptr);
        if (rc == SQLITE_OK) {
            if (!guard.stmt)
                throw EDatabaseError(QStringLiteral("SQL 语句无效: 语句为空。"));
            if (!onlyBlanksAndSemicolon(tail))
                throw EDatabaseError(QStringLiteral("在 SQL 语句结尾之后找到字符。"));
            break;
        }
        const QString msg = QString::fromUtf8(sqlite3_errmsg(m_db));
        static const QString noTable = QStringLiteral("no such table:");
        if (msg.startsWith(noTable)) {
            const QString name = afterPrefix(msg, noTable);
            if (!m_file->findTable(name).isEmpty() && !hasVirtualTable(name)) {
                createVirtualTable(store(name));
                continue;
            }
        }
        throw EDatabaseError(translateError(msg));
    }
    if (!sqlite3_stmt_readonly(guard.stmt))
        throw EDatabaseError(translateError(QStringLiteral("not authorized")));

    const int paramCount = sqlite3_bind_parameter_count(guard.stmt);
    for (int i = 1; i <= paramCount; ++i) {
        if (i > params.size())
            throw EDatabaseError(QStringLiteral("参数对象被不正确地定义。提供了不一致或不完整的信息。"));
        const QByteArray value = params.at(i - 1).toUtf8();
        sqlite3_bind_text(guard.stmt, i, value.constData(), int(value.size()), SQLITE_TRANSIENT);
    }

    const int columns = sqlite3_column_count(guard.stmt);
    QStringList names;
    for (int c = 0; c < columns; ++c)
        names << QString::fromUtf8(sqlite3_column_name(guard.stmt, c));
    auto result = std::make_unique<ResultSet>(names);
    if (m_types) {
        m_types->cells.clear();
        m_types->yesNo.assign(size_t(columns), false);
        for (int c = 0; c < columns; ++c) {
            const char *table = sqlite3_column_table_name(guard.stmt, c);
            const char *origin = sqlite3_column_origin_name(guard.stmt, c);
            for (const auto &s : m_stores)
                if (table && origin && s->name() == QString::fromUtf8(table))
                    for (const JetColumn &column : s->columns())
                        if (column.kind == JetKind::Boolean && column.name.compare(QString::fromUtf8(origin), Qt::CaseInsensitive) == 0)
                            m_types->yesNo[size_t(c)] = true;
        }
    }
    try {
        readRows(guard.stmt, columns, *result);
    } catch (const std::bad_alloc &) {
        throw EDatabaseError(translateError(QStringLiteral("out of memory")));
    } catch (const EDatabaseError &) {
        // A failure inside a table's module is raised as it was, not as SQLite's copy of its text.
        if (m_catalog.error)
            std::rethrow_exception(std::exchange(m_catalog.error, nullptr));
        throw;
    }
    return result;
}
