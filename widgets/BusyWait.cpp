#include "widgets/BusyWait.h"

#include "data/Connection.h"

#include <QCursor>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QThread>

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

} // namespace

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
    if (connection)
        connection->setWait(&waitShowingBusy);
}
