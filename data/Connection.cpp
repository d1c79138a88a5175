#include "data/Connection.h"

#include "data/ConnectionString.h"
#include "data/DatabaseError.h"
#include "data/SqlEngine.h"

#include <QAbstractEventDispatcher>
#include <QRegularExpression>
#include <QThread>
#include <system_error>

namespace {

// Windows reads a run of "\" and "/" as one separator. Elsewhere "\" is an ordinary character of
// file names; only a name made of backslashes alone between two "/" (the data module writes
// "<dir>/\/lss.dll") is read as part of one separator, with any run of "/".
QString normalizedPath(const QString &path)
{
#ifdef Q_OS_WIN
    static const QRegularExpression separators(QStringLiteral("[\\\\/]+"));
#else
    static const QRegularExpression separators(QStringLiteral("/(?:\\\\*/)+"));
#endif
    QString p = path;
    p.replace(separators, QStringLiteral("/"));
    return p;
}

} // namespace

Connection::Connection(QObject *parent) : QObject(parent) {}

Connection::~Connection()
{
    // The statement's thread uses the engine: it goes first.
    if (m_run && m_run->thread.joinable())
        m_run->thread.join();
}

void Connection::setConnectionString(const QString &text)
{
    m_connectionString = text;
}

QString Connection::connectionString() const
{
    return m_connectionString;
}

void Connection::setConnected(bool connected)
{
    if (connected == this->connected())
        return;
    if (!connected) {
        // A statement still running uses the engine: it ends first (its result is kept).
        if (m_run && m_run->thread.joinable())
            m_run->thread.join();
        m_engine.reset();
        Q_EMIT connectedChanged(false);
        return;
    }
    QList<QPair<QString, QString>> items;
    QString malformed;
    if (!parseConnectionString(m_connectionString, &items, &malformed))
        throw EDatabaseError(QStringLiteral("连接字符串无效: %1。").arg(malformed));
    const QString source = connectionValue(items, QStringLiteral("Data Source"));
    const QString password = connectionValue(items, QStringLiteral("Jet OLEDB:Database Password"));
    if (source.isEmpty())
        throw EDatabaseError(sqlerrors::fileNotFound(QString()));
    m_engine = std::make_unique<SqlEngine>(normalizedPath(source), password);
    // The engine goes before this object does, and takes its worker with it: the call never
    // outlives the connection.
    m_engine->setWarmUpFinished([this] {
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT warmUpFinished(); }, Qt::QueuedConnection);
    });
    Q_EMIT connectedChanged(true);
}

bool Connection::connected() const
{
    return m_engine != nullptr;
}

void Connection::ensureOpen()
{
    if (!connected())
        setConnected(true);
}

SqlEngine *Connection::engine() const
{
    return m_engine.get();
}

void Connection::warmUp(const QStringList &statementTexts)
{
    // Only a head start; the engine takes no other call while a statement runs.
    if (!m_engine || statementRunning())
        return;
    // SQLite tells what the statements read: those of the texts that are statements, and each
    // other text (a criterion line) as the window adds it to one of them, to a LIKE pattern's
    // start or whole.
    try {
        QStringList statements;
        QString table;
        QStringList all;
        QStringList searched;
        auto add = [&](const SqlEngine::Reads &r) {
            for (const QString &c : r.columns)
                if (!all.contains(c, Qt::CaseInsensitive))
                    all << c;
        };
        for (const QString &t : statementTexts) {
            SqlEngine::Reads r;
            if (!m_engine->plannedReads(t, r))
                continue;
            if (table.isEmpty())
                table = r.table;
            if (r.table == table) {
                statements << t;
                add(r);
            }
        }
        if (table.isEmpty())
            return;
        for (const QString &t : statementTexts) {
            if (statements.contains(t))
                continue;
            SqlEngine::Reads r;
            bool found = false;
            for (const QString &statement : statements) {
                const QString joined = statement + QLatin1Char(' ') + t;
                found = m_engine->plannedReads(joined + QLatin1String("%'"), r) || m_engine->plannedReads(joined, r);
                if (found)
                    break;
            }
            if (!found || r.table != table)
                continue;
            add(r);
            // The columns searched one pass each, in order, then the rest in one pass: a search
            // finds its criterion column soon, and one that comes meanwhile makes the decoding
            // give up at most one column's pass.
            for (const QString &c : r.constrained)
                if (!searched.contains(c, Qt::CaseInsensitive))
                    searched << c;
        }
        for (const QString &c : searched)
            m_engine->startWarmUp(table, {c});
        m_engine->startWarmUp(table, all);
    } catch (...) {
        // Only a head start: the statement that needs the columns decodes them and reports
        // what goes wrong.
    }
}

bool Connection::warmUpRunning() const
{
    return m_engine && m_engine->warmUpRunning();
}

void Connection::setWait(Wait wait)
{
    m_wait = std::move(wait);
}

void Connection::wait(const std::function<bool()> &done)
{
    if (done())
        return;
    if (m_wait) {
        m_wait(*this, done);
    } else {
        while (!done())
            QThread::msleep(2);
    }
}

void Connection::waitForWarmUp()
{
    if (!warmUpRunning())
        return;
    wait([this] { return !warmUpRunning(); });
    if (m_engine)
        m_engine->finishWarmUp();
}

bool Connection::statementRunning() const
{
    return m_run && !m_run->done.load();
}

void Connection::waitForStatement()
{
    if (const std::shared_ptr<Run> run = m_run) {
        wait([run] { return run->done.load(); });
        endRun(run);
    }
}

// Joins a finished run's thread once, whichever waiting call sees it end first.
void Connection::endRun(const std::shared_ptr<Run> &run)
{
    if (run->thread.joinable())
        run->thread.join();
    if (m_run == run)
        m_run.reset();
}

void Connection::runStatement(std::function<void()> work)
{
    if (!m_wait) {
        work();
        return;
    }
    waitForStatement();
    if (m_engine)
        m_engine->deferWarmUp(true);
    auto run = std::make_shared<Run>();
    auto body = [this, run, work = std::move(work)] {
        try {
            work();
        } catch (...) {
            run->error = std::current_exception();
        }
        run->done.store(true);
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT statementFinished(); }, Qt::QueuedConnection);
    };
    try {
        run->thread = std::thread(body);
    } catch (const std::system_error &) {
        body(); // no thread to be had: the work runs here, painting waits
    }
    m_run = run;
    wait([run] { return run->done.load(); });
    endRun(run);
    resumeWarmUpWhenIdle();
    if (run->error)
        std::rethrow_exception(run->error);
}

void Connection::pauseWarmUpForInput()
{
    // Already waiting for this thread to be idle (after a statement, or an earlier key).
    if (!m_engine || m_resumeArmed || statementRunning() || !m_engine->warmUpRunning())
        return;
    m_engine->deferWarmUp(true);
    resumeWarmUpWhenIdle();
}

// Decoding ahead, given up for the statement, starts again once this thread has shown the
// result and waits for events: made again at once, the pass would take the second core from the
// painting and the display server while the user waits to see the rows. A statement's wait runs
// events too: while one runs, its end decides.
void Connection::resumeWarmUpWhenIdle()
{
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher) {
        if (m_engine)
            m_engine->deferWarmUp(false);
        return;
    }
    if (m_resumeArmed)
        return;
    m_resumeArmed = true;
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this, once] {
        if (statementRunning())
            return;
        QObject::disconnect(*once);
        m_resumeArmed = false;
        if (m_engine)
            m_engine->deferWarmUp(false);
    });
}
