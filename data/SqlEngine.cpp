#include "data/SqlEngine.h"

#include "data/DatabaseError.h"
#include "data/JetFile.h"
#include "data/ResultSet.h"

#include <QLocale>
#include <sqlite3.h>
#include <string>
#include <vector>

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
    if (msg == QLatin1String("incomplete input"))
        return QStringLiteral("语法错误: 语句不完整。");
    if (msg == QLatin1String("not authorized"))
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

// Copies the rows of a Jet table into a fresh SQLite table inside one transaction. Rows go in
// batches through one multi-row INSERT: a statement step per row costs more than the row itself.
// Rows keep the file's order, so a statement without ORDER BY lists them as the file does.
class TableLoader : public JetRowSink
{
public:
    TableLoader(sqlite3 *db, const QString &name) : m_db(db), m_name(name) {}
    ~TableLoader() override
    {
        sqlite3_finalize(m_batchInsert);
        sqlite3_finalize(m_insert);
    }

    void begin(const QVector<JetColumn> &columns) override
    {
        QStringList defs;
        QStringList marks;
        for (const JetColumn &c : columns) {
            QString type;
            switch (c.kind) {
            case JetKind::Integer: type = QStringLiteral("INTEGER"); break;
            case JetKind::Real: type = QStringLiteral("REAL"); break;
            // Text compares like Jet: "=" and LIKE without regard to the case of Latin letters.
            default: type = QStringLiteral("TEXT COLLATE NOCASE"); break;
            }
            defs << quotedName(c.name) + QLatin1Char(' ') + type;
            marks << QStringLiteral("?");
        }
        if (defs.isEmpty())
            throw EDatabaseError(QStringLiteral("表 '%1' 没有列。").arg(m_name));
        const QByteArray create =
            QStringLiteral("CREATE TABLE %1 (%2)").arg(quotedName(m_name), defs.join(QLatin1Char(','))).toUtf8();
        if (sqlite3_exec(m_db, create.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            fail(m_db);
        m_columns = columns;
        const QString head = QStringLiteral("INSERT INTO %1 VALUES ").arg(quotedName(m_name));
        const QString tuple = QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
        prepare(head + tuple, &m_insert);
        const int maxVariables = sqlite3_limit(m_db, SQLITE_LIMIT_VARIABLE_NUMBER, -1);
        m_batchRows = qBound(1, maxVariables / int(columns.size()), kBatchRows);
        if (m_batchRows > 1) {
            QStringList tuples;
            for (int r = 0; r < m_batchRows; ++r)
                tuples << tuple;
            prepare(head + tuples.join(QLatin1Char(',')), &m_batchInsert);
        }
    }

    void row(const std::vector<JetCell> &cells) override
    {
        // The cells are reused for the next row: a batch keeps its own copies until it is sent.
        for (int i = 0; i < m_columns.size(); ++i) {
            Value v;
            if (size_t(i) < cells.size() && !cells[size_t(i)].isNull) {
                const JetCell &c = cells[size_t(i)];
                switch (m_columns[i].kind) {
                case JetKind::Integer: v.type = SQLITE_INTEGER; v.integer = c.integer; break;
                case JetKind::Real: v.type = SQLITE_FLOAT; v.real = c.real; break;
                default:
                    v.type = SQLITE_TEXT;
                    v.offset = m_text.size();
                    v.size = c.text.size();
                    m_text.append(c.text);
                    break;
                }
            }
            m_values.push_back(v);
        }
        if (++m_pending == m_batchRows)
            flush();
    }

    // Sends the rows still waiting; call once the table has been read.
    void flush()
    {
        if (m_pending == m_batchRows && m_batchInsert) {
            send(m_batchInsert, 0, m_pending);
        } else {
            for (int r = 0; r < m_pending; ++r)
                send(m_insert, r, 1);
        }
        m_rows += m_pending;
        m_pending = 0;
        m_values.clear();
        m_text.clear();
    }

    int rows() const { return m_rows; }

private:
    static constexpr int kBatchRows = 32;

    struct Value
    {
        int type = SQLITE_NULL;
        qint64 integer = 0;
        double real = 0;
        size_t offset = 0;
        size_t size = 0;
    };

    void prepare(const QString &sql, sqlite3_stmt **stmt)
    {
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v3(m_db, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT, stmt,
                               nullptr) != SQLITE_OK)
            fail(m_db);
    }

    // Binds `count` rows from the batch, starting at row `first`, and runs the statement once.
    void send(sqlite3_stmt *stmt, int first, int count)
    {
        const int columns = int(m_columns.size());
        for (int k = 0; k < count * columns; ++k) {
            const Value &v = m_values[size_t(first * columns + k)];
            switch (v.type) {
            case SQLITE_INTEGER: sqlite3_bind_int64(stmt, k + 1, v.integer); break;
            case SQLITE_FLOAT: sqlite3_bind_double(stmt, k + 1, v.real); break;
            case SQLITE_TEXT:
                sqlite3_bind_text(stmt, k + 1, m_text.data() + v.offset, int(v.size), SQLITE_STATIC);
                break;
            default: sqlite3_bind_null(stmt, k + 1); break;
            }
        }
        if (sqlite3_step(stmt) != SQLITE_DONE)
            fail(m_db);
        sqlite3_reset(stmt);
    }

    sqlite3 *m_db;
    QString m_name;
    QVector<JetColumn> m_columns;
    sqlite3_stmt *m_insert = nullptr;
    sqlite3_stmt *m_batchInsert = nullptr;
    int m_batchRows = 1;
    int m_pending = 0;
    std::vector<Value> m_values;
    std::string m_text;
    int m_rows = 0;
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

// Every row of a stepped statement into the result, each value in its text form.
void readRows(sqlite3_stmt *stmt, int columns, ResultSet &result)
{
    for (;;) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            fail(sqlite3_db_handle(stmt));
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(stmt, c)) {
            case SQLITE_NULL:
                result.appendCell("", 0);
                break;
            case SQLITE_INTEGER: {
                char buf[32];
                const int n = qsnprintf(buf, sizeof buf, "%lld", sqlite3_column_int64(stmt, c));
                result.appendCell(buf, size_t(n));
                break;
            }
            case SQLITE_FLOAT:
                appendNumber(result, sqlite3_column_double(stmt, c));
                break;
            default: {
                const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
                result.appendCell(p ? p : "", size_t(sqlite3_column_bytes(stmt, c)));
                break;
            }
            }
        }
        result.endRow();
    }
}

} // namespace

SqlEngine::SqlEngine(const QString &path, const QString &password)
{
    m_file = std::make_unique<JetFile>(path, password);
    if (sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw EDatabaseError(QStringLiteral("内存不足，无法打开数据库。"));
    }
    // A copy in memory needs no journal and no syncing.
    sqlite3_exec(m_db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-2000000;",
                 nullptr, nullptr, nullptr);
}

SqlEngine::~SqlEngine()
{
    sqlite3_close(m_db);
}

QStringList SqlEngine::tableNames() const
{
    return m_file->tableNames();
}

bool SqlEngine::isLoaded(const QString &name) const
{
    return m_loaded.contains(name, Qt::CaseInsensitive);
}

int SqlEngine::loadTable(const QString &name)
{
    const QString stored = m_file->findTable(name);
    if (stored.isEmpty())
        throw EDatabaseError(QStringLiteral("找不到表 '%1'。").arg(name));
    if (isLoaded(stored))
        return -1;
    sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr);
    try {
        TableLoader loader(m_db, stored);
        m_file->readTable(stored, loader);
        loader.flush();
        sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        m_loaded << stored;
        return loader.rows();
    } catch (...) {
        // Leave no half-copied table behind: the next statement tries again.
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::unique_ptr<ResultSet> SqlEngine::execute(const QString &sql, const QStringList &params)
{
    const QByteArray text = sql.toUtf8();
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
            const QString stored = m_file->findTable(name);
            if (!stored.isEmpty() && !isLoaded(stored)) {
                loadTable(stored);
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
    try {
        readRows(guard.stmt, columns, *result);
    } catch (const std::bad_alloc &) {
        throw EDatabaseError(translateError(QStringLiteral("out of memory")));
    }
    return result;
}
