#include "data/SqlEngine.h"

#include "data/DatabaseError.h"
#include "data/jet/JetFile.h"
#include "data/jet/JetRows.h"
#include "data/ResultSet.h"
#include "data/TextCompare.h"

#include <QLocale>
#include <sqlite3.h>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
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
    if (msg == QString::fromUtf8(jettext::kBadPattern) || msg.startsWith(QStringLiteral("无法读取表 ")))
        return msg;
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

// Rows of a table packed for the engine: values row after row, texts in one buffer.
struct RowBatch
{
    struct Value
    {
        int type = SQLITE_NULL;
        qint64 integer = 0;
        double real = 0;
        size_t offset = 0;
        size_t size = 0;
    };
    std::vector<Value> values;
    std::string text;
    int rows = 0;
};

// Hands the rows of a table from the thread reading the file to the one filling the engine, a
// few batches at a time.
class LoadPipe
{
public:
    static constexpr size_t kMaxQueued = 4;

    // Lets the reader queue every batch (when it runs before the engine side, not beside it).
    void setUnbounded()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_maxQueued = size_t(-1);
    }

    // Reader side. Each returns false once the engine side has given up.
    bool putColumns(const QVector<JetColumn> &columns)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_columns = columns;
        m_hasColumns = true;
        m_changed.notify_all();
        return !m_cancelled;
    }
    bool put(RowBatch &&batch)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_cancelled || m_queue.size() < m_maxQueued; });
        if (m_cancelled)
            return false;
        m_queue.push_back(std::move(batch));
        m_changed.notify_all();
        return true;
    }
    void finish(std::exception_ptr error)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error = error;
        m_finished = true;
        m_changed.notify_all();
    }

    // Engine side. Columns: false when the reader ended without any (its error is rethrown).
    bool takeColumns(QVector<JetColumn> &columns)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_hasColumns || m_finished; });
        if (!m_hasColumns)
            rethrow();
        columns = m_columns;
        return m_hasColumns;
    }
    // The next batch; false when the reader is done and every batch was taken.
    bool take(RowBatch &batch)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_queue.empty() || m_finished; });
        if (m_queue.empty()) {
            rethrow();
            return false;
        }
        batch = std::move(m_queue.front());
        m_queue.pop_front();
        m_changed.notify_all();
        return true;
    }
    void cancel()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cancelled = true;
        m_queue.clear();
        m_changed.notify_all();
    }

private:
    void rethrow()
    {
        if (m_error)
            std::rethrow_exception(std::exchange(m_error, nullptr));
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    QVector<JetColumn> m_columns;
    bool m_hasColumns = false;
    std::deque<RowBatch> m_queue;
    bool m_finished = false;
    bool m_cancelled = false;
    std::exception_ptr m_error;
    size_t m_maxQueued = kMaxQueued;
};

// The reader's sink: packs the rows of the file into batches for the pipe.
class RowPacker : public JetRowSink
{
public:
    // Thrown inside the reader when the engine side has given up.
    struct Cancelled
    {
    };

    explicit RowPacker(LoadPipe &pipe) : m_pipe(pipe) {}

    // The rows carry the readable columns only.
    void begin(const QVector<JetColumn> &columns) override
    {
        for (const JetColumn &c : columns)
            if (c.unreadable.isEmpty())
                m_columns << c;
        if (!m_pipe.putColumns(columns))
            throw Cancelled();
    }

    void row(const std::vector<JetCell> &cells) override
    {
        for (int i = 0; i < m_columns.size(); ++i) {
            RowBatch::Value v;
            if (size_t(i) < cells.size() && !cells[size_t(i)].isNull()) {
                const JetCell &c = cells[size_t(i)];
                switch (c.storage) {
                case JetCell::Integer: v.type = SQLITE_INTEGER; v.integer = c.integer; break;
                case JetCell::Real: v.type = SQLITE_FLOAT; v.real = c.real; break;
                default:
                    v.type = SQLITE_TEXT;
                    v.offset = m_batch.text.size();
                    v.size = c.text.size();
                    m_batch.text.append(c.text);
                    break;
                }
            }
            m_batch.values.push_back(v);
        }
        if (++m_batch.rows == kBatchRows)
            flush();
    }

    // Sends the rows still waiting; call once the table has been read.
    void flush()
    {
        if (m_batch.rows == 0)
            return;
        if (!m_pipe.put(std::move(m_batch)))
            throw Cancelled();
        m_batch = RowBatch();
        m_batch.values.reserve(size_t(kBatchRows) * size_t(m_columns.size()));
    }

private:
    static constexpr int kBatchRows = 1024;
    LoadPipe &m_pipe;
    QVector<JetColumn> m_columns;
    RowBatch m_batch;
};

// Creates the engine's copy of a table and inserts batches of rows into it. Rows go through one
// multi-row INSERT at a time (a statement step per row costs more than the row itself) and keep
// the file's order, so a statement without ORDER BY lists them as the file does.
class TableWriter
{
public:
    TableWriter(sqlite3 *db, const QString &name, const QVector<JetColumn> &columns)
        : m_db(db), m_columns(0)
    {
        QStringList defs;
        QStringList marks;
        for (const JetColumn &c : columns) {
            QString type;
            switch (c.kind) {
            case JetKind::Integer: type = QStringLiteral("INTEGER"); break;
            case JetKind::Real: type = QStringLiteral("REAL"); break;
            // Exact decimals: a number where a double holds the value, its text where not; a
            // column without a declared type keeps each as it comes.
            case JetKind::Number: break;
            // Text compares like Jet: "=", ORDER BY and LIKE without regard to the case of any
            // letter, accented ones too.
            default: type = QStringLiteral("TEXT COLLATE ") + QLatin1String(jettext::kCollation); break;
            }
            if (!c.unreadable.isEmpty()) {
                // A type the reader cannot decode: the column exists, and a statement that
                // reads it fails with the reader's message.
                QString text = c.unreadable;
                text.replace(QLatin1Char('\''), QLatin1String("''"));
                defs << quotedName(c.name) + QStringLiteral(" TEXT GENERATED ALWAYS AS (jet_unreadable('")
                            + text + QStringLiteral("')) VIRTUAL");
                continue;
            }
            defs << (type.isEmpty() ? quotedName(c.name) : quotedName(c.name) + QLatin1Char(' ') + type);
            marks << QStringLiteral("?");
            ++m_columns;
        }
        if (marks.isEmpty())
            throw EDatabaseError(QStringLiteral("表 '%1' 没有列。").arg(name));
        const QByteArray create =
            QStringLiteral("CREATE TABLE %1 (%2)").arg(quotedName(name), defs.join(QLatin1Char(','))).toUtf8();
        if (sqlite3_exec(m_db, create.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            fail(m_db);
        const QString head = QStringLiteral("INSERT INTO %1 VALUES ").arg(quotedName(name));
        const QString tuple = QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
        prepare(head + tuple, &m_insert);
        const int maxVariables = sqlite3_limit(m_db, SQLITE_LIMIT_VARIABLE_NUMBER, -1);
        m_groupRows = qBound(1, maxVariables / m_columns, kGroupRows);
        if (m_groupRows > 1) {
            QStringList tuples;
            for (int r = 0; r < m_groupRows; ++r)
                tuples << tuple;
            prepare(head + tuples.join(QLatin1Char(',')), &m_groupInsert);
        }
    }
    ~TableWriter()
    {
        sqlite3_finalize(m_groupInsert);
        sqlite3_finalize(m_insert);
    }
    TableWriter(const TableWriter &) = delete;
    TableWriter &operator=(const TableWriter &) = delete;

    void insert(const RowBatch &batch)
    {
        int r = 0;
        if (m_groupInsert)
            for (; r + m_groupRows <= batch.rows; r += m_groupRows)
                send(batch, m_groupInsert, r, m_groupRows);
        for (; r < batch.rows; ++r)
            send(batch, m_insert, r, 1);
        m_rows += batch.rows;
    }

    int rows() const { return m_rows; }

private:
    static constexpr int kGroupRows = 32;

    void prepare(const QString &sql, sqlite3_stmt **stmt)
    {
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v3(m_db, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT, stmt,
                               nullptr) != SQLITE_OK)
            fail(m_db);
    }

    // Binds `count` rows of the batch, starting at row `first`, and runs the statement once.
    void send(const RowBatch &batch, sqlite3_stmt *stmt, int first, int count)
    {
        for (int k = 0; k < count * m_columns; ++k) {
            const RowBatch::Value &v = batch.values[size_t(first) * size_t(m_columns) + size_t(k)];
            switch (v.type) {
            case SQLITE_INTEGER: sqlite3_bind_int64(stmt, k + 1, v.integer); break;
            case SQLITE_FLOAT: sqlite3_bind_double(stmt, k + 1, v.real); break;
            case SQLITE_TEXT:
                sqlite3_bind_text(stmt, k + 1, batch.text.data() + v.offset, int(v.size), SQLITE_STATIC);
                break;
            default: sqlite3_bind_null(stmt, k + 1); break;
            }
        }
        if (sqlite3_step(stmt) != SQLITE_DONE)
            fail(m_db);
        sqlite3_reset(stmt);
    }

    sqlite3 *m_db;
    int m_columns;
    sqlite3_stmt *m_insert = nullptr;
    sqlite3_stmt *m_groupInsert = nullptr;
    int m_groupRows = 1;
    int m_rows = 0;
};

// The value of a column the reader cannot decode: the reader's error instead. SQLite computes
// the column while rows are inserted too; then (the flag set) it is NULL.
void unreadableColumn(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (*static_cast<const bool *>(sqlite3_user_data(ctx)))
        return;
    sqlite3_result_error(ctx, reinterpret_cast<const char *>(sqlite3_value_text(argv[0])), -1);
}

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

// Every row of a stepped statement into the result, each value in its text form. Each cell is
// fetched once as a value; text is taken as its bytes (the database is UTF-8), which spares
// SQLite terminating a copy of every cell.
void readRows(sqlite3_stmt *stmt, int columns, ResultSet &result)
{
    for (;;) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            fail(sqlite3_db_handle(stmt));
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
    if (jettext::registerFunctions(m_db) != SQLITE_OK
        || sqlite3_create_function_v2(m_db, "jet_unreadable", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, &m_inserting,
                                      unreadableColumn, nullptr, nullptr, nullptr)
               != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw EDatabaseError(QStringLiteral("内存不足，无法打开数据库。"));
    }
    // A copy in memory needs no syncing. Its journal stays in memory rather than off: a table
    // that fails half-way through its copy is rolled back, which needs the journal (a fresh
    // table's pages are new, so it holds next to nothing).
    // Large pages: fewer page headers and tree levels, so the copy is smaller and whole-table
    // scans (every LIKE '%...%') run faster.
    sqlite3_exec(m_db,
                 "PRAGMA page_size=65536; PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF; "
                 "PRAGMA cache_size=-2000000;",
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
    // The file is read on a thread of its own while this one fills the engine: the two take
    // about as long, so the copy takes little more than the longer of them.
    LoadPipe pipe;
    JetFile *file = m_file.get();
    auto read = [&pipe, file, stored] {
        try {
            RowPacker packer(pipe);
            const QVector<JetColumn> columns = file->columns(stored);
            std::vector<int> readable;
            for (int i = 0; i < columns.size(); ++i)
                if (columns[i].unreadable.isEmpty())
                    readable.push_back(i);
            const auto rows = file->openTable(stored, readable);
            packer.begin(columns);
            while (rows->next())
                packer.row(rows->cells());
            packer.flush();
            pipe.finish(nullptr);
        } catch (const RowPacker::Cancelled &) {
            pipe.finish(nullptr);
        } catch (...) {
            pipe.finish(std::current_exception());
        }
    };
    std::thread reader;
    try {
        reader = std::thread(read);
    } catch (const std::system_error &) {
        // No thread to be had: the whole table is read first, then copied.
        pipe.setUnbounded();
        read();
    }
    sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr);
    try {
        QVector<JetColumn> columns;
        pipe.takeColumns(columns);
        TableWriter writer(m_db, stored, columns);
        RowBatch batch;
        m_inserting = true;
        const std::unique_ptr<bool, void (*)(bool *)> done(&m_inserting, [](bool *b) { *b = false; });
        while (pipe.take(batch))
            writer.insert(batch);
        reader.join();
        sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        m_loaded << stored;
        return writer.rows();
    } catch (const std::bad_alloc &) {
        pipe.cancel();
        if (reader.joinable())
            reader.join();
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw EDatabaseError(QStringLiteral("内存不足，无法读取表 '%1'。").arg(stored));
    } catch (...) {
        pipe.cancel();
        if (reader.joinable())
            reader.join();
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
