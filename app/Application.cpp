#include "app/Application.h"

#include "base/Exception.h"
#include "platform/Dialogs.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMetaObject>
#include <QTranslator>

Application::Application(int &argc, char **argv) : QApplication(argc, argv)
{
    // The launcher decides when the program ends, not the last window.
    setQuitOnLastWindowClosed(false);
    installChineseTranslations();
}

// Every text of the program is Chinese, so Qt's own texts (the file dialog, the edit boxes'
// context menus, the buttons of message boxes) are too, whatever the desktop's language. Dates
// and numbers Qt formats itself follow along.
void Application::installChineseTranslations()
{
    const QLocale chinese(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
    QLocale::setDefault(chinese);
    auto *qt = new QTranslator(this);
    // qt_zh_CN loads the catalogues of the Qt modules beside it (qtbase_zh_CN among them).
    if (qt->load(QStringLiteral("qt_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(qt);
    else
        delete qt;
}

Application::~Application()
{
    destroyOwned();
}

Application *Application::instance()
{
    return qobject_cast<Application *>(QCoreApplication::instance());
}

void Application::setTitle(const QString &title)
{
    m_title = title;
    setApplicationDisplayName(QString());
    setApplicationTitle(title);
}

QString Application::title() const
{
    return m_title;
}

void Application::adopt(QObject *object)
{
    m_owned.append(QPointer<QObject>(object));
    connect(object, &QObject::destroyed, this, [this](QObject *gone) {
        for (int i = m_owned.size() - 1; i >= 0; --i) {
            if (m_owned.at(i).isNull() || m_owned.at(i).data() == gone)
                m_owned.removeAt(i);
        }
    });
}

QList<QObject *> Application::owned() const
{
    QList<QObject *> result;
    for (const auto &p : m_owned)
        if (!p.isNull())
            result.append(p.data());
    return result;
}

void Application::destroyOwned()
{
    while (!m_owned.isEmpty()) {
        QPointer<QObject> last = m_owned.takeLast();
        delete last.data();
    }
}

void Application::ShowException(const Exception &e)
{
    ShowErrorBox(e.message());
}

void Application::HandleException()
{
    try {
        throw;
    } catch (const Exception &e) {
        ShowException(e);
    } catch (...) {
        ShowException(Exception(QString()));
    }
}

void Application::Terminate()
{
    m_terminated = true;
    // exit(), not quit(): quit() would close every window first and run their close handlers.
    // Posted, so that a request made inside a handler ends the loop after that handler; if the
    // loop is not running yet, Run() sees the flag.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_running)
                QCoreApplication::exit(0);
        },
        Qt::QueuedConnection);
}

void Application::Run()
{
    if (QWidget *main = m_mainForm.data())
        main->show();
    if (m_terminated)
        return;
    m_running = true;
    exec();
    m_running = false;
}

int Application::Execute(const std::function<void()> &createForms)
{
    m_terminated = false;
    try {
        createForms();
        Run();
    } catch (...) {
        HandleException();
    }
    destroyOwned();
    return 0;
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException();
        return false;
    }
}
