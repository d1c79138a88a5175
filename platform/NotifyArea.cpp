#include "platform/NotifyArea.h"

#include <QApplication>
#include <QEvent>
#include <QSessionManager>
#include <QStringDecoder>
#include <QSystemTrayIcon>
#include <QWidget>
#include <QWindowStateChangeEvent>

using namespace winapi;

// ---------------------------------------------------------------------------------------------
// Hidden message window

MessageWindow::MessageWindow(Handler handler) : m_handler(std::move(handler))
{
#if QT_CONFIG(sessionmanager)
    // Logging off or shutting down: first the question whether the program may end, then the
    // end itself. The answer does not stop the session, so the end always follows.
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) {
            QPointer<MessageWindow> self(this);
            const qintptr mayEnd = SendMessage(WM_QUERYENDSESSION);
            if (self)
                SendMessage(WM_ENDSESSION, mayEnd != 0 ? 1 : 0);
        });
    }
#endif
}

MessageWindow::~MessageWindow() = default;

qintptr MessageWindow::SendMessage(quint32 msg, quintptr wParam, qintptr lParam)
{
    TMessage message;
    message.Msg = msg;
    message.WParam = wParam;
    message.LParam = lParam;
    if (m_handler)
        m_handler(message);
    return message.Result;
}

// ---------------------------------------------------------------------------------------------
// Notification area

namespace {
NotifyArea *s_installed = nullptr;
SystemTrayNotifyArea *s_desktop = nullptr;
} // namespace

NotifyArea::~NotifyArea() = default;

NotifyArea *NotifyArea::instance()
{
    if (s_installed)
        return s_installed;
    // Never freed: its icons belong to the hidden windows and go with them.
    if (!s_desktop)
        s_desktop = new SystemTrayNotifyArea;
    return s_desktop;
}

void NotifyArea::setInstance(NotifyArea *area)
{
    s_installed = area;
}

void NotifyArea::reset()
{
    s_installed = nullptr;
    delete s_desktop;
    s_desktop = nullptr;
}

bool winapi::Shell_NotifyIcon(quint32 message, const NOTIFYICONDATA &data)
{
    NotifyArea *area = NotifyArea::instance();
    switch (message) {
    case NIM_ADD: return area->add(data);
    case NIM_MODIFY: return area->modify(data);
    case NIM_DELETE: return area->remove(data);
    default: return false;
    }
}

struct SystemTrayNotifyArea::Entry
{
    quint64 serial = 0;
    QPointer<MessageWindow> window;
    HWND key = nullptr;
    quintptr id = 0;
    quint32 flags = 0;
    quint32 callbackMessage = 0;
    QPointer<QSystemTrayIcon> icon;
};

namespace {
quint64 s_nextSerial = 1;
}

SystemTrayNotifyArea::SystemTrayNotifyArea() = default;

bool SystemTrayNotifyArea::hostPresent() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

SystemTrayNotifyArea::~SystemTrayNotifyArea()
{
    for (Entry *e : std::as_const(m_entries)) {
        delete e->icon.data();
        delete e;
    }
}

SystemTrayNotifyArea::Entry *SystemTrayNotifyArea::find(HWND window, quintptr id) const
{
    for (Entry *e : m_entries)
        if (e->key == window && e->id == id && !e->window.isNull())
            return e;
    return nullptr;
}

QList<quint32> SystemTrayNotifyArea::mouseMessagesFor(int reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger: return {WM_LBUTTONDOWN, WM_LBUTTONUP};
    case QSystemTrayIcon::DoubleClick: return {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP};
    case QSystemTrayIcon::Context: return {WM_RBUTTONDOWN, WM_RBUTTONUP};
    case QSystemTrayIcon::MiddleClick: return {WM_MBUTTONDOWN, WM_MBUTTONUP};
    default: return {};
    }
}

void SystemTrayNotifyArea::apply(Entry *entry, const NOTIFYICONDATA &data)
{
    if (data.uFlags & NIF_MESSAGE)
        entry->callbackMessage = data.uCallbackMessage;
    entry->flags = data.uFlags;
    QSystemTrayIcon *icon = entry->icon.data();
    if (!icon)
        return;
    if (data.uFlags & NIF_ICON)
        icon->setIcon(data.hIcon);
    // Without the tooltip flag the icon shows no tooltip (a cleared hint must not linger).
    if (data.uFlags & NIF_TIP) {
        const QByteArray tip(data.szTip, int(qstrnlen(data.szTip, NotifyIconTipSize)));
        QStringDecoder gbk("GBK");
        icon->setToolTip(gbk.isValid() ? QString(gbk(tip)) : QString::fromLatin1(tip));
    } else {
        icon->setToolTip(QString());
    }
    // Qt warns about showing an icon without a picture; show it once it has one.
    if (!icon->isVisible() && !icon->icon().isNull())
        icon->show();
}

bool SystemTrayNotifyArea::add(const NOTIFYICONDATA &data)
{
    if (!data.hWnd || find(data.hWnd, data.uID))
        return false;
    auto *entry = new Entry;
    entry->serial = s_nextSerial++;
    entry->window = data.hWnd;
    entry->key = data.hWnd;
    entry->id = data.uID;
    // The icon belongs to the hidden window, so it cannot outlive it.
    entry->icon = new QSystemTrayIcon(data.hWnd);
    const quint64 serial = entry->serial;
    QObject::connect(entry->icon.data(), &QSystemTrayIcon::activated, entry->icon.data(),
                     [this, serial](QSystemTrayIcon::ActivationReason reason) {
                         for (quint32 mouse : mouseMessagesFor(reason)) {
                             // Each message may remove the icon or end its window.
                             Entry *e = nullptr;
                             for (Entry *x : std::as_const(m_entries))
                                 if (x->serial == serial)
                                     e = x;
                             if (!e || e->window.isNull() || !(e->flags & NIF_MESSAGE))
                                 return;
                             e->window->SendMessage(e->callbackMessage, e->id, qintptr(mouse));
                         }
                     });
    m_entries.append(entry);
    apply(entry, data);
    return true;
}

bool SystemTrayNotifyArea::modify(const NOTIFYICONDATA &data)
{
    Entry *entry = find(data.hWnd, data.uID);
    if (!entry)
        return false;
    apply(entry, data);
    return true;
}

bool SystemTrayNotifyArea::remove(const NOTIFYICONDATA &data)
{
    Entry *entry = find(data.hWnd, data.uID);
    // Entries of windows that are gone are dropped on the way.
    for (int i = m_entries.size() - 1; i >= 0; --i) {
        Entry *e = m_entries.at(i);
        if (e == entry || e->window.isNull()) {
            m_entries.removeAt(i);
            if (QSystemTrayIcon *icon = e->icon.data()) {
                icon->disconnect();
                icon->hide();
                // The request may come from inside the icon's own activation.
                icon->deleteLater();
            }
            delete e;
        }
    }
    return entry != nullptr;
}

QSystemTrayIcon *SystemTrayNotifyArea::trayIconFor(HWND window, quintptr id) const
{
    Entry *entry = find(window, id);
    return entry ? entry->icon.data() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Application window and its hooks

namespace {

QPointer<QWidget> s_appWindow;
QList<ApplicationHook *> s_hooks;
int s_changingState = 0;

// State changes made by the program itself are not system commands.
struct OwnStateChange
{
    OwnStateChange() { ++s_changingState; }
    ~OwnStateChange() { --s_changingState; }
};

class WindowStateWatcher : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::WindowStateChange && watched == s_appWindow.data() && s_changingState == 0) {
            const Qt::WindowStates before = static_cast<QWindowStateChangeEvent *>(event)->oldState();
            const Qt::WindowStates now = s_appWindow->windowState();
            TMessage message;
            message.Msg = WM_SYSCOMMAND;
            if ((now & Qt::WindowMinimized) && !(before & Qt::WindowMinimized)) {
                message.WParam = SC_MINIMIZE;
                ApplicationWindow::dispatch(message);
            } else if (!(now & Qt::WindowMinimized) && (before & Qt::WindowMinimized)) {
                message.WParam = SC_RESTORE;
                ApplicationWindow::dispatch(message);
            }
        }
        return false;
    }
};

QPointer<QObject> s_watcher;

} // namespace

ApplicationHook::~ApplicationHook()
{
    ApplicationWindow::UnhookMainWindow(this);
}

bool ApplicationHook::installed() const
{
    return s_hooks.contains(const_cast<ApplicationHook *>(this));
}

void ApplicationWindow::attach(QWidget *window)
{
    if (s_appWindow == window && window)
        return;
    // One watcher at a time, so that no change is reported twice.
    delete s_watcher.data();
    s_appWindow = window;
    if (window) {
        s_watcher = new WindowStateWatcher(window);
        window->installEventFilter(s_watcher);
    }
}

void ApplicationWindow::reset()
{
    attach(nullptr);
    s_hooks.clear();
    s_changingState = 0;
}

QWidget *ApplicationWindow::window()
{
    return s_appWindow.data();
}

void ApplicationWindow::HookMainWindow(ApplicationHook *hook)
{
    if (hook && !s_hooks.contains(hook))
        s_hooks.prepend(hook); // the newest hook sees a message first
}

void ApplicationWindow::UnhookMainWindow(ApplicationHook *hook)
{
    s_hooks.removeAll(hook);
}

bool ApplicationWindow::dispatch(TMessage &message)
{
    const QList<ApplicationHook *> hooks = s_hooks;
    for (ApplicationHook *hook : hooks) {
        // A hook may remove (or destroy) another one while it runs.
        if (!s_hooks.contains(hook) || !hook->m_proc)
            continue;
        if (hook->m_proc(message))
            return true;
    }
    return false;
}

void ApplicationWindow::Minimize()
{
    if (QWidget *w = s_appWindow.data()) {
        OwnStateChange own;
        w->setWindowState(w->windowState() | Qt::WindowMinimized);
    }
}

void ApplicationWindow::Restore()
{
    if (QWidget *w = s_appWindow.data()) {
        OwnStateChange own;
        w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    }
}

void ApplicationWindow::ShowWindowHide()
{
    if (QWidget *w = s_appWindow.data())
        w->hide();
}

void ApplicationWindow::ShowWindowRestore()
{
    if (QWidget *w = s_appWindow.data()) {
        OwnStateChange own;
        w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
        w->show();
    }
}

void ApplicationWindow::SetForegroundWindow(QWidget *window)
{
    if (!window)
        return;
    window->raise();
    window->activateWindow();
}
