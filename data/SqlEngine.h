#pragma once

#include "data/JetVirtualTable.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

class ColumnStore;
class ResultSet;
class JetFile;
struct sqlite3;
struct sqlite3_stmt;

// The statement engine of an open connection: an in-memory SQLite database that reads the Jet
// tables in place, through one virtual table each, all made when the file opens. A table's
// columns are decoded when a statement first uses them (or ahead of it, on a worker thread:
// startWarmUp) and kept.
//
// Every statement first makes sure the file on disk is still the one its columns came from; a
// file replaced, rewritten or cut short meanwhile is let go whole (results already made keep
// what they show) and the file at the path opened again, or its error given. A statement
// during which the file changed runs again on the new file: no result mixes two files.
class SqlEngine
{
public:
    // Opens the Jet file read only and checks its database password. Throws EDatabaseError.
    SqlEngine(const QString &path, const QString &password);
    ~SqlEngine();
    SqlEngine(const SqlEngine &) = delete;
    SqlEngine &operator=(const SqlEngine &) = delete;

    // Runs one SELECT statement whose parameters are written as "?NNN" (1-based) and bound, in
    // order, to the given texts. Throws EDatabaseError with a Chinese message.
    std::unique_ptr<ResultSet> execute(const QString &sql, const QStringList &params);

    // The types of the values of a result, for writers of typed formats: one SQLite type code
    // per cell, row by row, and per field whether it is a Yes/No column of a table (whose values
    // are the texts True and False).
    struct ValueTypes
    {
        std::vector<unsigned char> cells;
        std::vector<bool> yesNo;
        std::vector<bool> exact; // Currency and Decimal columns, whose exact values come as text
    };
    // While set, execute() records the types of each result it returns there.
    void setValueTypes(ValueTypes *types)
    {
        std::lock_guard<std::mutex> lock(m_callLock);
        m_types = types;
    }

    // Runs one statement as execute() does, but hands each row over as soon as it is made and
    // keeps nothing: tables are read from the file row by row unless a criterion lets the
    // engine pick the rows first. `begin` gets the field names and the columns' types (cells
    // left empty) before the first row; `row` each row's cells, as execute()'s result would
    // hold them, with their SQLite type codes. Any warm-up is ended first. Rows handed over
    // stay handed over: a failure half-way, or a file changed under the statement, throws
    // EDatabaseError after them.
    using RowSink = std::function<void(const std::string_view *cells, const unsigned char *types)>;
    void stream(const QString &sql, const QStringList &params,
                const std::function<void(const QStringList &names, const ValueTypes &types)> &begin,
                const RowSink &row);

    // What a statement reads, as SQLite plans it, without running it: the table of its first
    // column read, the columns it reads of that table, and those of them its WHERE constrains
    // (in the order the table declares them). False when it does not prepare (nothing decoded).
    struct Reads
    {
        QString table;
        QStringList columns;
        QStringList constrained;
    };
    bool plannedReads(const QString &sql, Reads &reads);

    // Names of the tables of the file (none while the file cannot be read).
    QStringList tableNames() const;
    // Decodes every column of a table now (normally done on first use); returns the row count.
    int loadTable(const QString &name);
    // True once a statement (or loadTable) has read the table through.
    bool isLoaded(const QString &name) const;

    // Starts decoding the named columns of a table on a worker thread, after any warm-up still
    // running. A failure is left to the statement that needs the columns. Throws EDatabaseError
    // when the file has no such table.
    void startWarmUp(const QString &table, const QStringList &columns);
    bool warmUpRunning() const;
    // Called on the worker thread when it has no work left (warmUpRunning() is false by then).
    void setWarmUpFinished(std::function<void()> finished);
    // Releases the worker once warmUpRunning() is false; blocks only for its last instructions.
    void finishWarmUp();
    // Called each time a statement has been prepared, before it reads a row (tests change the
    // file there, to meet a statement the file changes under).
    void setStatementPrepared(std::function<void()> prepared)
    {
        std::lock_guard<std::mutex> lock(m_callLock);
        m_prepared = std::move(prepared);
    }

    // While held, the worker starts no further decoding (tests hold it to meet a search that
    // comes before the warm-up ends).
    void holdWarmUp(bool held);
    // Deferred when a window's statement is about to run: the pass running waits until the
    // statement is prepared (it then goes on or gives way, as below), and no pass starts (one
    // given up is not made again) until the deferral is lifted, once the window has painted the
    // result. A deferral nobody lifts ends by itself after a second.
    void deferWarmUp(bool deferred);

    // execute() may run on another thread than the one that made the engine. The calls that
    // use the file or the statement database (execute, stream, plannedReads, startWarmUp,
    // loadTable, tableNames, isLoaded) run one at a time: one made while a statement runs waits
    // for it, so a window asks none of them then. The warm-up's own calls (warmUpRunning,
    // holdWarmUp, finishWarmUp, setWarmUpFinished) never wait for a statement. A statement does
    // not wait for the warm-up: the pass running is given up and made again once no statement
    // runs and no deferral holds it (unless it decodes only columns the statement tests), so a
    // search waits only for the columns it reads.

private:
    struct WarmUpJob
    {
        ColumnStore *store = nullptr; // one of m_stores: stopWarmUp ends the worker before they go
        std::vector<int> columns;
    };

    ColumnStore *store(const QString &name);
    void createVirtualTable(ColumnStore *store);
    bool declareTable(size_t index, const QString &name);
    using Authorizer = int (*)(void *, int, const char *, const char *, const char *, const char *);
    int prepareStatement(const char *text, int size, sqlite3_stmt **stmt, const char **tail, Authorizer authorizer,
                         void *context);
    void openFile();
    void closeFile();
    void useCurrentFile();
    std::unique_ptr<ResultSet> run(const QString &sql, const QStringList &params);
    void streamRows(const QString &sql, const QStringList &params,
                    const std::function<void(const QStringList &names, const ValueTypes &types)> &begin,
                    const RowSink &row);
    // `names` gets the fields' names as the statement was written.
    sqlite3_stmt *prepare(const QString &sql, const QStringList &params, QStringList &names);
    void describe(sqlite3_stmt *stmt, ValueTypes &types) const;
    ColumnStore *countedTable(sqlite3_stmt *stmt);
    void stopWarmUp();
    void warmUpLoop();
    bool passTestedBy() const; // under m_jobsMutex
    void giveWay();

    // Held by each call that uses what follows, up to m_db: one at a time, whichever thread.
    mutable std::mutex m_callLock;
    QString m_path;
    QString m_password;
    std::shared_ptr<JetFile> m_file; // null while the file at the path cannot be read
    // Every use of the file runs under it; the stores hold it (and the file) too, so a store
    // that a result keeps never reaches into an engine gone.
    std::shared_ptr<std::mutex> m_decodeLock;
    std::vector<std::shared_ptr<ColumnStore>> m_stores; // shared with results that show their rows
    jetvtab::Catalog m_catalog;
    sqlite3 *m_db = nullptr;

    mutable std::mutex m_jobsMutex;
    std::deque<WarmUpJob> m_jobs;
    bool m_running = false;
    bool m_held = false;
    std::chrono::steady_clock::time_point m_deferredUntil; // the epoch while not deferred
    std::condition_variable m_heldChanged;
    std::function<void()> m_finished;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_interrupt{false}; // m_cancel, or a statement runs: the pass gives way
    std::atomic<bool> m_pause{false};     // a statement is coming: the pass waits to hear which
    int m_statements = 0;                 // under m_jobsMutex
    WarmUpJob m_current;                  // the running pass; under m_jobsMutex
    std::function<void()> m_prepared;
    // The columns read ahead for each table a window asked for (by names, which outlive a
    // change of file); under m_jobsMutex.
    std::vector<std::pair<QString, QStringList>> m_readAhead;
    ValueTypes *m_types = nullptr;
    // Started by startWarmUp, joined by stopWarmUp (the statement's thread, when the file is
    // opened again) and finishWarmUp (the window's thread): only under m_workerLock, which is
    // taken before m_jobsMutex and never by the worker itself.
    std::mutex m_workerLock;
    std::thread m_worker;
};
