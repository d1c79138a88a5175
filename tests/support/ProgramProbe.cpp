// Loaded into the program (LD_PRELOAD) by the suites that run it as a child process. It answers
// each message box at once, records what the desktop was asked to open instead of opening it,
// and ends the event loop as soon as it runs, reporting what start-up built. Everything goes to
// stderr, one line each:
//   PROBE BOX [caption] [text] icon=<QMessageBox::Icon>
//   PROBE SHELL [address]
//   PROBE RUN owned=<classes, oldest first> main=<class> visible=<0|1>

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {

void report(const QByteArray &line)
{
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
}

QWidget *mainForm()
{
    QWidget *main = nullptr;
    QMetaObject::invokeMethod(qApp, "mainForm", Qt::DirectConnection, Q_RETURN_ARG(QWidget *, main));
    return main;
}

class Probe : public QObject
{
    Q_OBJECT
public:
    explicit Probe(QObject *parent) : QObject(parent)
    {
        qApp->installEventFilter(this);
        // Every scheme the program could hand to the desktop.
        for (const char *scheme : {"http", "https", "file", "ftp", "smb", "mailto", "javascript", "data"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }

    Q_INVOKABLE void open(const QUrl &url) { report("PROBE SHELL [" + url.toString().toUtf8() + "]"); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Show)
            return false;
        if (auto *box = qobject_cast<QMessageBox *>(watched)) {
            report("PROBE BOX [" + box->windowTitle().toUtf8() + "] [" + box->text().toUtf8()
                   + "] icon=" + QByteArray::number(int(box->icon())));
            // Queued: the box's own loop has not started yet.
            QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
        } else if (!m_reported && watched->isWidgetType() && watched == mainForm()) {
            // The main window is shown just before the event loop starts; the first thing the
            // loop does is report and end. A program that ends before its loop reports nothing.
            m_reported = true;
            QTimer::singleShot(0, qApp, [] {
                QStringList names;
                QList<QObject *> owned;
                QMetaObject::invokeMethod(qApp, "owned", Qt::DirectConnection, Q_RETURN_ARG(QList<QObject *>, owned));
                for (QObject *o : owned)
                    names.append(QString::fromLatin1(o->metaObject()->className()));
                QWidget *main = mainForm();
                report("PROBE RUN owned=" + names.join(QLatin1Char(',')).toUtf8()
                       + " main=" + (main ? main->metaObject()->className() : "-")
                       + " visible=" + (main && main->isVisible() ? "1" : "0"));
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

private:
    bool m_reported = false;
};

void startProbe()
{
    new Probe(qApp); // goes with the application, so a leak check of the program sees nothing of it
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)

#include "ProgramProbe.moc"
