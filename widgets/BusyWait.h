#pragma once

#include <QtGlobal>

#include <functional>

class Connection;

// The wait of a window's search for its statement (or for the columns its connection decodes
// ahead): in the GUI thread it shows the busy cursor and keeps windows painting, while user input
// waits, queued in order for afterwards, and no window can close, so nothing the user does runs
// during it. Other events (timers) may run, a statement among them. Outside the GUI thread it
// blocks until `done`.
void waitShowingBusy(Connection &connection, const std::function<bool()> &done);

// Makes the connection's searches wait that way (and the busy cursor ready, prepareBusyCursor).
void useBusyWait(Connection *connection);

// Makes the busy cursor ready once the events waiting now have run, so that the first wait
// does not load it; once per program, in the GUI thread only.
void prepareBusyCursor();

class QString;
class QWidget;

// Runs `work` on a worker thread while the GUI thread waits the same way (busy cursor, windows
// painting, input held for afterwards, no window closing). An exception `work` throws is thrown
// again here, once the thread has ended.
void runShowingBusy(const std::function<void()> &work);

// What long work reports and asks on its worker thread.
class WorkProgress
{
public:
    virtual ~WorkProgress() = default;
    // `done` of `total` steps; called as often as convenient.
    virtual void report(qint64 done, qint64 total) = 0;
    // The user asked to stop: the work ends early, leaving nothing behind.
    virtual bool cancelled() const = 0;
};

// Runs `work` on a worker thread. While it runs the windows keep painting; a moment after it
// starts, an application-modal progress window titled `label` shows how far it has come, with a
// 取消 button (until then input waits, as in runShowingBusy). Returns false when the user
// cancelled; an exception `work` throws is thrown again here once the thread has ended.
bool runWithProgress(QWidget *parent, const QString &label, const std::function<void(WorkProgress &)> &work);

// How long work runs before its progress window shows, in milliseconds (tests set 0).
void setProgressDelay(int milliseconds);

// Tests only: runs on the worker thread before its work starts (null: nothing).
void setWorkStartHook(const std::function<void()> &hook);
