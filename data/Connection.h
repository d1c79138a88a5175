#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

class SqlEngine;

// The one database connection. Takes an ADO-style connection string (items separated by ";",
// keys without regard to case, values quoted where they hold ";", quotes or outer blanks)
// naming a Jet file and its database password, and opens the file read only. Statements run on
// an SQL engine that reads the Jet tables in place, each column decoded when a statement first
// uses it.
class Connection : public QObject
{
    Q_OBJECT
public:
    explicit Connection(QObject *parent = nullptr);
    ~Connection() override;

    // Designer-style settings; kept for fidelity, the layer is always read only.
    bool LoginPrompt = true;
    QString Mode;
    QString Provider;

    void setConnectionString(const QString &text);
    QString connectionString() const;

    // true opens the database (throws EDatabaseError on failure, leaving it closed);
    // false closes it.
    void setConnected(bool connected);
    bool connected() const;

    // Opens the connection when it is closed (a query opening on a closed connection).
    void ensureOpen();

    // The engine of the open connection; nullptr while closed.
    SqlEngine *engine() const;

    // Starts decoding, on a worker thread, the columns that the given statement texts (select
    // lists, criterion lines) name of the table they select from, so that the first statement
    // finds them ready. Does nothing while closed or when the texts name no table of the file.
    void warmUp(const QStringList &statementTexts);
    bool warmUpRunning() const;
    // Returns once no warm-up runs, through the wait set below; without one it blocks the
    // calling thread.
    void waitForWarmUp();

    // Runs `work` (statements on engine()) and returns when it has ended, rethrowing what it
    // threw. With a wait set, it runs on a thread of its own while the wait passes the time, so
    // the calling thread keeps serving events; a call from there waits for the work running
    // first; decoding ahead waits meanwhile, and until the calling thread next waits for
    // events (SqlEngine::deferWarmUp). Without a wait it runs on the calling thread.
    void runStatement(std::function<void()> work);
    bool statementRunning() const;
    // Returns once no statement runs (through the wait, as above).
    void waitForStatement();
    // The user's input is being handled on this thread: decoding ahead waits until the thread
    // next waits for events, so that the handling, and a statement it starts, come first.
    void pauseWarmUpForInput();

    // How the waits above pass the time (a window keeps painting meanwhile). Called only while
    // `done` is false; returns once it is true. warmUpFinished(), statementFinished() and
    // connectedChanged() tell when to look again. It may run events, a statement among them.
    using Wait = std::function<void(Connection &, const std::function<bool()> &done)>;
    void setWait(Wait wait);

Q_SIGNALS:
    void connectedChanged(bool connected);
    void warmUpFinished();    // queued from the worker thread
    void statementFinished(); // queued from the statement's thread

private:
    struct Run
    {
        std::atomic<bool> done{false};
        std::exception_ptr error;
        std::thread thread;
    };
    void wait(const std::function<bool()> &done);
    void endRun(const std::shared_ptr<Run> &run);
    void resumeWarmUpWhenIdle();

    QString m_connectionString;
    std::unique_ptr<SqlEngine> m_engine;
    Wait m_wait;
    std::shared_ptr<Run> m_run; // the statement running off this thread, if any
    bool m_resumeArmed = false;
};
