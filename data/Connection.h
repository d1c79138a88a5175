#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class SqlEngine;

// The one database connection. Takes an ADO-style connection string (items separated by ";",
// keys without regard to case) naming a Jet file and its database password, and opens the file
// read only. Statements run on an in-memory SQL engine over copies of the Jet tables, each
// table loaded when a statement first names it.
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
    // How waitForWarmUp() passes the time (a window keeps painting meanwhile). Called only while
    // a warm-up runs; returns once warmUpRunning() is false or the connection has closed
    // (warmUpFinished() and connectedChanged() tell when). It may run events, a statement among
    // them.
    void setWarmUpWait(std::function<void(Connection &)> wait);

Q_SIGNALS:
    void connectedChanged(bool connected);
    void warmUpFinished(); // queued from the worker thread

private:
    QString m_connectionString;
    std::unique_ptr<SqlEngine> m_engine;
    std::function<void(Connection &)> m_warmUpWait;
};
