#include "widgets/BusyWait.h"

#include "app/Application.h"
#include "data/Connection.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <atomic>
#include <exception>
#include <thread>
#include <utility>

namespace {

// Refuses to close any window while installed (a window closed under a running handler would
// be freed under it).
class CloseRefuser : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        return false;
    }
};

int g_progressDelay = 400;
std::function<void()> g_workStartHook;

// Work on a thread of its own; the thread is always joined before the object goes, and nothing
// thrown on it crosses to Qt: it is kept and thrown again on the GUI thread.
class Worker
{
public:
    explicit Worker(std::function<void()> work)
        : m_thread([this, work = std::move(work), hook = g_workStartHook] {
              try {
                  if (hook)
                      hook();
                  work();
              } catch (...) {
                  m_error = std::current_exception();
              }
              m_done = true;
          })
    {
    }
    ~Worker()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    bool done() const { return m_done.load(); }
    void finish()
    {
        if (m_thread.joinable())
            m_thread.join();
        if (m_error)
            std::rethrow_exception(std::exchange(m_error, nullptr));
    }

private:
    std::atomic<bool> m_done{false};
    std::exception_ptr m_error;
    std::thread m_thread;
};

class Progress : public WorkProgress
{
public:
    void report(qint64 done, qint64 total) override
    {
        m_done = done;
        m_total = total;
    }
    bool cancelled() const override { return m_cancelled.load(); }

    std::atomic<qint64> m_done{0}, m_total{0};
    std::atomic<bool> m_cancelled{false};
};

// The GUI thread's part of a wait for a worker: polls it, showing the busy cursor, refusing to
// close windows, holding input back while `holdInput` says so.
void pollUntilDone(const std::function<bool()> &done, const std::function<bool()> &holdInput,
                   const std::function<void()> &tick)
{
    QCoreApplication *app = QCoreApplication::instance();
    CloseRefuser refuser;
    app->installEventFilter(&refuser);
    QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (tick)
            tick();
        loop.quit();
    });
    poll.start();
    while (!done())
        loop.exec(holdInput() ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents);
    QGuiApplication::restoreOverrideCursor();
    app->removeEventFilter(&refuser);
}

// Input first: while the window handles a key or a click, decoding ahead waits (its two threads
// would otherwise share the processors with the handling, the display server and the statement a
// click starts).
class InputPausesWarmUp : public QObject
{
public:
    explicit InputPausesWarmUp(Connection *connection) : QObject(connection), m_connection(connection)
    {
        setObjectName(QStringLiteral("inputPausesWarmUp"));
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick: m_connection->pauseWarmUpForInput(); break;
        default: break;
        }
        return false;
    }

private:
    Connection *m_connection;
};

bool onGuiThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    return qobject_cast<QApplication *>(app) && QThread::currentThread() == app->thread();
}

} // namespace

void setWorkStartHook(const std::function<void()> &hook)
{
    g_workStartHook = hook;
}

void setProgressDelay(int milliseconds)
{
    g_progressDelay = milliseconds;
}

void runShowingBusy(const std::function<void()> &work)
{
    if (!onGuiThread()) {
        work();
        return;
    }
    Worker worker(work);
    pollUntilDone([&] { return worker.done(); }, [] { return true; }, nullptr);
    worker.finish();
}

bool runWithProgress(QWidget *parent, const QString &label, const std::function<void(WorkProgress &)> &work)
{
    Progress progress;
    if (!onGuiThread()) {
        work(progress);
        return true;
    }
    Worker worker([&] { work(progress); });
    QProgressDialog dialog(label, QStringLiteral("取消"), 0, 1000, parent);
    dialog.setWindowTitle(label);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(0);
    dialog.reset(); // a progress dialog otherwise shows itself on its own schedule
    dialog.hide();
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&] { progress.m_cancelled = true; });
    QObject::connect(&dialog, &QDialog::rejected, &dialog, [&] { progress.m_cancelled = true; });
    QElapsedTimer since;
    since.start();
    pollUntilDone([&] { return worker.done(); },
                  // Until the modal window shows, a click could reach the window whose data
                  // the work reads; it waits.
                  [&] { return !dialog.isVisible(); },
                  [&] {
                      if (dialog.wasCanceled())
                          progress.m_cancelled = true;
                      if (!dialog.isVisible() && !progress.cancelled() && since.elapsed() >= g_progressDelay)
                          dialog.show();
                      const qint64 total = progress.m_total;
                      if (dialog.isVisible() && total > 0)
                          dialog.setValue(int(progress.m_done * 1000 / total));
                  });
    dialog.hide();
    worker.finish();
    return !progress.cancelled();
}

void waitShowingBusy(Connection &connection, const std::function<bool()> &done)
{
    QCoreApplication *app = QCoreApplication::instance();
    const bool gui = qobject_cast<QGuiApplication *>(app) && QThread::currentThread() == app->thread();
    if (!gui) {
        while (!done())
            QThread::msleep(2);
        return;
    }
    QEventLoop loop;
    // Connected before the check below: an end between the two still ends the loop. A wait
    // nested in this one (a statement opened from a timer) may take the signal meant for it;
    // the loop is told to quit all the same and looks again.
    QObject::connect(&connection, &Connection::warmUpFinished, &loop, &QEventLoop::quit);
    QObject::connect(&connection, &Connection::statementFinished, &loop, &QEventLoop::quit);
    QObject::connect(&connection, &Connection::connectedChanged, &loop, &QEventLoop::quit);
    if (done())
        return;
    CloseRefuser refuser;
    app->installEventFilter(&refuser);
    QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    while (!done())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    QGuiApplication::restoreOverrideCursor();
    app->removeEventFilter(&refuser);
}

void useBusyWait(Connection *connection)
{
    if (!connection)
        return;
    connection->setWait(&waitShowingBusy);
    if (onGuiThread()
        && !connection->findChild<QObject *>(QStringLiteral("inputPausesWarmUp"), Qt::FindDirectChildrenOnly))
        qApp->installEventFilter(new InputPausesWarmUp(connection));
    prepareBusyCursor();
}

void prepareBusyCursor()
{
    static bool asked = false;
    if (asked || !onGuiThread())
        return;
    asked = true;
    // The desktop reads the busy cursor from its theme's file and decodes every frame the first
    // time a window shows it (about two milliseconds under X), and the platform keeps it made
    // for the program's life: made on a window never shown, once the events already waiting
    // have run, it is ready before the first search rather than part of it.
    QTimer::singleShot(0, qApp, guardedSlot([] {
                           QWindow probe;
                           probe.create();
                           probe.setCursor(QCursor(Qt::BusyCursor));
                       }));
}
