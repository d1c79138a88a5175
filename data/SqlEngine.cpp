#include "data/SqlEngine.h"

#include "data/ColumnStore.h"
#include "data/DatabaseError.h"
#include "data/JetVirtualTable.h"
#include "data/NumberCompare.h"
#include "data/ResultSet.h"
#include "data/SqlErrors.h"
#include "data/StatementRows.h"
#include "data/TextCompare.h"
#include "data/jet/JetFile.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <sqlite3.h>
#include <string>
#include <system_error>
#include <utility>
#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

QString quotedName(const QString &name)
{
    QString s = name;
    s.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

// Runs of a statement on a file that keeps changing under it before the engine gives up.
constexpr int kAttempts = 3;

} // namespace

SqlEngine::SqlEngine(const QString &path, const QString &password)
    : m_path(path), m_password(password), m_decodeLock(std::make_shared<std::mutex>())
{
    openFile();
}

SqlEngine::~SqlEngine()
{
    std::lock_guard<std::mutex> lock(m_callLock);
    closeFile();
}

// The file at the path, its statement database and one virtual table for each of its tables
// (connecting decodes nothing). Throws EDatabaseError, leaving no file open.
void SqlEngine::openFile()
{
    try {
        m_file = std::make_shared<JetFile>(m_path, m_password);
    } catch (const jet::Error &e) {
        throw EDatabaseError(e);
    }
    try {
        if (sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr)
                != SQLITE_OK
            || jettext::registerFunctions(m_db) != SQLITE_OK || jetnumber::registerCollation(m_db) != SQLITE_OK
            || jetvtab::registerModule(m_db, &m_catalog) != SQLITE_OK)
            throw EDatabaseError(sqlerrors::outOfMemoryOpening());
        for (const QString &name : m_file->tableNames())
            createVirtualTable(store(name));
    } catch (const std::bad_alloc &) {
        closeFile();
        throw EDatabaseError(sqlerrors::outOfMemoryOpening());
    } catch (...) {
        closeFile();
        throw;
    }
}

// Lets go of the file and of everything read from it; results keep the columns they show.
void SqlEngine::closeFile()
{
    stopWarmUp();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_catalog.stores.clear();
    m_catalog.error = nullptr;
    for (const auto &s : m_stores)
        s->retire();
    m_stores.clear();
    m_file.reset();
}

// The file the statements read is the one at the path now: the one already open when it is
// unchanged, else the file there opened afresh (or its error: not found, a directory,
// damaged, ...).
void SqlEngine::useCurrentFile()
{
    if (m_file && m_file->isCurrent())
        return;
    closeFile();
    openFile();
}

QStringList SqlEngine::tableNames() const
{
    std::lock_guard<std::mutex> lock(m_callLock);
    return m_file ? m_file->tableNames() : QStringList();
}

ColumnStore *SqlEngine::store(const QString &name)
{
    const QString stored = m_file->findTable(name);
    if (stored.isEmpty())
        throw EDatabaseError(sqlerrors::noSuchTable(name));
    for (const auto &s : m_stores)
        if (s->name() == stored)
            return s.get();
    m_stores.push_back(std::make_shared<ColumnStore>(m_file, stored, m_decodeLock));
    return m_stores.back().get();
}

bool SqlEngine::isLoaded(const QString &name) const
{
    std::lock_guard<std::mutex> lock(m_callLock);
    for (const auto &s : m_stores)
        if (s->name().compare(name, Qt::CaseInsensitive) == 0)
            return s->rowCount() >= 0;
    return false;
}

int SqlEngine::loadTable(const QString &name)
{
    std::lock_guard<std::mutex> lock(m_callLock);
    useCurrentFile();
    ColumnStore *s = store(name);
    std::vector<int> all; // those the reader can decode: the others fail the statements that read them
    for (int c = 0; c < s->columns().size(); ++c)
        if (s->columns()[c].decodable)
            all.push_back(c);
    try {
        s->ensure(all);
    } catch (const std::bad_alloc &) {
        throw EDatabaseError(sqlerrors::outOfMemoryReadingTable(s->name()));
    }
    return s->rowCount();
}

// A table whose name SQLite keeps for itself ("sqlite_...") gets none: no statement can name it.
void SqlEngine::createVirtualTable(ColumnStore *s)
{
    m_catalog.stores.push_back(s);
    declareTable(m_catalog.stores.size() - 1, s->name());
}

// Table `index` of the catalog under a name. Throws std::bad_alloc when SQLite runs out of memory.
bool SqlEngine::declareTable(size_t index, const QString &name)
{
    const QByteArray create = QStringLiteral("CREATE VIRTUAL TABLE %1 USING %2(%3)")
                                  .arg(quotedName(name), QLatin1String(jetvtab::kModule))
                                  .arg(index)
                                  .toUtf8();
    const int rc = sqlite3_exec(m_db, create.constData(), nullptr, nullptr, nullptr);
    m_catalog.error = nullptr;
    if ((rc & 0xFF) == SQLITE_NOMEM)
        throw std::bad_alloc();
    return rc == SQLITE_OK;
}

// SQLite finds a table without regard to the case of A-Z only, Jet without regard to the case
// of any letter: a table SQLite does not find under the name a statement gives it, but Jet
// does, is declared under that name too, and the statement prepared again. `authorizer` is
// the one the statement is prepared under.
int SqlEngine::prepareStatement(const char *text, int size, sqlite3_stmt **stmt, const char **tail,
                                Authorizer authorizer, void *context)
{
    QStringList declared;
    for (;;) {
        sqlite3_set_authorizer(m_db, authorizer, context);
        const int rc = sqlite3_prepare_v2(m_db, text, size, stmt, tail);
        sqlite3_set_authorizer(m_db, nullptr, nullptr);
        static constexpr char missing[] = "no such table: ";
        const char *message = sqlite3_errmsg(m_db);
        if (rc != SQLITE_ERROR || std::strncmp(message, missing, sizeof missing - 1) != 0)
            return rc;
        QString name = QString::fromUtf8(message + sizeof missing - 1);
        if (m_file->findTable(name).isEmpty() && name.startsWith(QLatin1String("main.")))
            name = name.mid(5);
        const QString stored = m_file->findTable(name);
        auto found = std::find_if(m_catalog.stores.begin(), m_catalog.stores.end(),
                                  [&](const ColumnStore *s) { return s->name() == stored; });
        if (stored.isEmpty() || found == m_catalog.stores.end() || declared.contains(name))
            return rc;
        declared << name;
        try {
            declareTable(size_t(found - m_catalog.stores.begin()), name);
        } catch (const std::bad_alloc &) {
            return SQLITE_NOMEM;
        }
        // Its failure, if any, is the statement's when prepared again.
    }
}

void SqlEngine::setWarmUpFinished(std::function<void()> finished)
{
    std::lock_guard<std::mutex> lock(m_jobsMutex);
    m_finished = std::move(finished);
}

void SqlEngine::startWarmUp(const QString &table, const QStringList &columns)
{
    std::lock_guard<std::mutex> call(m_callLock);
    useCurrentFile();
    ColumnStore *s = store(table);
    std::vector<int> wanted;
    for (int c = 0; c < s->columns().size(); ++c)
        if (columns.contains(s->columns()[c].name, Qt::CaseInsensitive) && s->columns()[c].decodable)
            wanted.push_back(c);
    if (wanted.empty())
        return; // no column of the table named: nothing ahead to decode
    std::lock_guard<std::mutex> worker(m_workerLock);
    std::lock_guard<std::mutex> lock(m_jobsMutex);
    auto ahead = std::find_if(m_readAhead.begin(), m_readAhead.end(),
                              [&](const auto &t) { return t.first.compare(s->name(), Qt::CaseInsensitive) == 0; });
    if (ahead == m_readAhead.end())
        ahead = m_readAhead.insert(ahead, {s->name(), {}});
    for (int c : wanted)
        if (!ahead->second.contains(s->columns()[c].name, Qt::CaseInsensitive))
            ahead->second << s->columns()[c].name;
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
#if defined(__linux__)
    // Decoding ahead is background work: the thread that paints and the statement the user waits
    // for come first (the thread a pass starts beside it inherits this).
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
#endif
    std::function<void()> finished;
    for (;;) {
        WarmUpJob job;
        {
            std::unique_lock<std::mutex> lock(m_jobsMutex);
            for (;;) {
                const auto now = std::chrono::steady_clock::now();
                if (m_cancel.load() || (!m_held && m_statements == 0 && now >= m_deferredUntil))
                    break;
                if (now < m_deferredUntil)
                    m_heldChanged.wait_until(lock, m_deferredUntil);
                else
                    m_heldChanged.wait(lock);
            }
            if (m_jobs.empty() || m_cancel.load()) {
                m_jobs.clear();
                m_running = false;
                finished = m_finished;
                break;
            }
            job = m_jobs.front();
            m_jobs.pop_front();
            try {
                m_current = job;
            } catch (const std::bad_alloc &) {
                m_current = WarmUpJob(); // unknown: any statement makes the pass give way
            }
        }
        try {
            job.store->ensure(job.columns, &m_interrupt, &m_pause);
        } catch (const ColumnStore::Cancelled &) {
            // A statement came: the same pass again once it is done (unless stopping).
            std::lock_guard<std::mutex> lock(m_jobsMutex);
            if (!m_cancel.load())
                m_jobs.push_front(job);
        } catch (...) {
            // Left to the statement that needs the columns: it meets the same failure and
            // reports it.
        }
    }
    if (finished)
        finished();
}

// Whether the pass running decodes only columns that the statement prepared last constrains
// in its WHERE (as SQLite planned it): the statement would decode them first itself, so the
// pass is let finish.
bool SqlEngine::passTestedBy() const
{
    if (!m_running || !m_current.store || m_current.columns.empty())
        return false;
    for (const jetvtab::Catalog::Planned &p : m_catalog.planned) {
        if (p.store != m_current.store)
            continue;
        return std::all_of(m_current.columns.begin(), m_current.columns.end(), [&](int c) {
            return std::find(p.constrained.begin(), p.constrained.end(), c) != p.constrained.end();
        });
    }
    return false;
}

// The statement just prepared runs now: the pass running gives way unless the statement tests
// every column it decodes.
void SqlEngine::giveWay()
{
    std::lock_guard<std::mutex> lock(m_jobsMutex);
    if (m_statements > 0 && !passTestedBy())
        m_interrupt.store(true);
    m_pause.store(false);
}

// Ends the warm-up now, its jobs dropped: before the stores it decodes into are let go.
void SqlEngine::stopWarmUp()
{
    std::lock_guard<std::mutex> worker(m_workerLock);
    {
        std::lock_guard<std::mutex> lock(m_jobsMutex);
        m_cancel.store(true);
        m_interrupt.store(true);
        m_jobs.clear();
        m_heldChanged.notify_all();
    }
    if (m_worker.joinable())
        m_worker.join();
    std::lock_guard<std::mutex> lock(m_jobsMutex);
    m_cancel.store(false);
    m_interrupt.store(m_statements > 0);
}

void SqlEngine::holdWarmUp(bool held)
{
    std::lock_guard<std::mutex> lock(m_jobsMutex);
    m_held = held;
    m_heldChanged.notify_all();
}

void SqlEngine::deferWarmUp(bool deferred)
{
    std::lock_guard<std::mutex> lock(m_jobsMutex);
    m_deferredUntil =
        deferred ? std::chrono::steady_clock::now() + std::chrono::seconds(1) : std::chrono::steady_clock::time_point();
    m_pause.store(deferred && m_running);
    m_heldChanged.notify_all();
}

bool SqlEngine::warmUpRunning() const
{
    std::lock_guard<std::mutex> lock(m_jobsMutex);
    return m_running;
}

void SqlEngine::finishWarmUp()
{
    std::lock_guard<std::mutex> worker(m_workerLock);
    {
        std::lock_guard<std::mutex> lock(m_jobsMutex);
        if (m_running)
            return;
    }
    if (m_worker.joinable())
        m_worker.join();
}

std::unique_ptr<ResultSet> SqlEngine::execute(const QString &sql, const QStringList &params)
{
    // The warm-up gives way while the statement runs, so that it decodes only what it reads.
    struct Running
    {
        SqlEngine &e;
        explicit Running(SqlEngine &engine) : e(engine)
        {
            // No pass starts from now on; the one running gives way once the statement is
            // prepared (giveWay), unless the statement tests what it decodes.
            std::lock_guard<std::mutex> lock(e.m_jobsMutex);
            ++e.m_statements;
        }
        ~Running()
        {
            std::lock_guard<std::mutex> lock(e.m_jobsMutex);
            if (--e.m_statements == 0)
                e.m_interrupt.store(e.m_cancel.load());
            e.m_pause.store(false);
            e.m_heldChanged.notify_all();
        }
    } running(*this);
    std::lock_guard<std::mutex> call(m_callLock);
    // Out of memory anywhere (outside the tables too, checking the file) is the engine's own
    // failure.
    try {
        for (int attempt = 1;; ++attempt) {
            useCurrentFile();
            std::unique_ptr<ResultSet> result;
            try {
                result = run(sql, params);
            } catch (const EDatabaseError &) {
                // A failure met while the file changed is the old file's, not the new one's: run
                // again, or, when it keeps changing, say so rather than call the new file damaged.
                if (m_file->isCurrent())
                    throw;
                if (attempt < kAttempts)
                    continue;
                throw EDatabaseError(sqlerrors::changedWhileRead());
            }
            if (m_file->isCurrent())
                return result;
            if (attempt == kAttempts)
                throw EDatabaseError(sqlerrors::changedWhileRead());
        }
    } catch (const std::bad_alloc &) {
        throw EDatabaseError(sqlerrors::outOfMemory());
    }
}
