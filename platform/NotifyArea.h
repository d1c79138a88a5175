#pragma once

// The desktop services behind the tray icon: the notification area itself, the hidden message
// window that receives its mouse notifications and the end of the session, and the hooks on the
// application window (the main window, which carries the taskbar entry).

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QtGlobal>

#include <functional>

class QWidget;
class QSystemTrayIcon;

// The names below are spelt as the Windows API spells them, which is what they stand for; they
// live in a namespace of their own so that they never meet <windows.h>'s in the global one.
namespace winapi {

// Window messages, with the values the tray icon's callbacks and hooks use.
constexpr quint32 WM_ENDSESSION = 0x0016;
constexpr quint32 WM_QUERYENDSESSION = 0x0011;
constexpr quint32 WM_SYSCOMMAND = 0x0112;
constexpr quint32 WM_MOUSEMOVE = 0x0200;
constexpr quint32 WM_LBUTTONDOWN = 0x0201;
constexpr quint32 WM_LBUTTONUP = 0x0202;
constexpr quint32 WM_LBUTTONDBLCLK = 0x0203;
constexpr quint32 WM_RBUTTONDOWN = 0x0204;
constexpr quint32 WM_RBUTTONUP = 0x0205;
constexpr quint32 WM_RBUTTONDBLCLK = 0x0206;
constexpr quint32 WM_MBUTTONDOWN = 0x0207;
constexpr quint32 WM_MBUTTONUP = 0x0208;
constexpr quint32 WM_MBUTTONDBLCLK = 0x0209;
constexpr quint32 WM_USER = 0x0400;

constexpr quintptr SC_MINIMIZE = 0xF020;
constexpr quintptr SC_RESTORE = 0xF120;

// One window message: what it is, its two parameters and the answer the receiver gives.
struct TMessage
{
    quint32 Msg = 0;
    quintptr WParam = 0;
    qintptr LParam = 0;
    qintptr Result = 0;
};

// A hidden window that exists only to receive messages: every message it is sent goes to its
// handler. It also turns the session manager's requests into the query-end-session and
// end-session messages, so its owner can tidy up when the user logs off.
class MessageWindow : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void(TMessage &)>;

    explicit MessageWindow(Handler handler);
    ~MessageWindow() override;

    // Delivers a message synchronously and returns the handler's result (0 unless it sets one).
    qintptr SendMessage(quint32 msg, quintptr wParam = 0, qintptr lParam = 0);

private:
    Handler m_handler;
};

using HWND = MessageWindow *;

// The notification record handed to the notification area with every request.
constexpr quint32 NIM_ADD = 0;
constexpr quint32 NIM_MODIFY = 1;
constexpr quint32 NIM_DELETE = 2;

constexpr quint32 NIF_MESSAGE = 1;
constexpr quint32 NIF_ICON = 2;
constexpr quint32 NIF_TIP = 4;

constexpr quint32 NotifyIconDataSize = 488;
constexpr int NotifyIconTipSize = 128;

struct NOTIFYICONDATA
{
    quint32 cbSize = 0;
    HWND hWnd = nullptr; // receives the callback message
    quintptr uID = 0;    // tells the icons of one window apart
    quint32 uFlags = 0;  // which of the members below are valid
    quint32 uCallbackMessage = 0;
    QIcon hIcon;
    char szTip[NotifyIconTipSize] = {}; // GBK bytes, zero-terminated
};

} // namespace winapi

// The notification area. Each request answers whether it was carried out.
class NotifyArea
{
public:
    virtual ~NotifyArea();

    virtual bool add(const winapi::NOTIFYICONDATA &data) = 0;
    virtual bool modify(const winapi::NOTIFYICONDATA &data) = 0;
    virtual bool remove(const winapi::NOTIFYICONDATA &data) = 0;
    // Whether a tray host shows the icons now. Desktops without one accept icons but show none.
    virtual bool hostPresent() const = 0;

    // The notification area in use: the desktop's, unless another one was installed.
    static NotifyArea *instance();
    // Installs a replacement (not owned); nullptr goes back to the desktop's.
    static void setInstance(NotifyArea *area);
    // Back to the state at start: no replacement, and the desktop's area with none of the icons
    // added so far (it is made again when next asked for).
    static void reset();
};

namespace winapi {
// NIM_ADD, NIM_MODIFY or NIM_DELETE on the notification area in use.
bool Shell_NotifyIcon(quint32 message, const NOTIFYICONDATA &data);
} // namespace winapi

// The desktop's notification area, over QSystemTrayIcon. Qt's activation reasons come back to
// the record's window as the mouse messages a click would produce:
//   click        left down, left up
//   double-click left down, left up, left double-click, left up
//   context      right down, right up
//   middle       middle down, middle up
// A desktop without a tray at the moment still accepts the icon: Qt shows it as soon as a tray
// appears.
class SystemTrayNotifyArea : public NotifyArea
{
public:
    SystemTrayNotifyArea();
    ~SystemTrayNotifyArea() override;

    bool add(const winapi::NOTIFYICONDATA &data) override;
    bool modify(const winapi::NOTIFYICONDATA &data) override;
    bool remove(const winapi::NOTIFYICONDATA &data) override;
    bool hostPresent() const override;

    // The icon that stands for a record, or nullptr when none was added.
    QSystemTrayIcon *trayIconFor(winapi::HWND window, quintptr id) const;

    // The mouse messages for one activation reason (a QSystemTrayIcon::ActivationReason).
    static QList<quint32> mouseMessagesFor(int reason);

private:
    struct Entry;
    QList<Entry *> m_entries;
    Entry *find(winapi::HWND window, quintptr id) const;
    static void apply(Entry *entry, const winapi::NOTIFYICONDATA &data);
};

// A hook on the application window's messages. It is called only while installed and never
// after its destruction, which removes it.
class ApplicationHook
{
public:
    // Returns true when the message needs no further handling.
    using Proc = std::function<bool(winapi::TMessage &)>;

    ApplicationHook() = default;
    explicit ApplicationHook(Proc proc) : m_proc(std::move(proc)) {}
    ~ApplicationHook();
    ApplicationHook(const ApplicationHook &) = delete;
    ApplicationHook &operator=(const ApplicationHook &) = delete;

    void bind(Proc proc) { m_proc = std::move(proc); }
    bool installed() const;

private:
    friend class ApplicationWindow;
    Proc m_proc;
};

// The application window: the main window, which carries the taskbar entry. Its window-state
// changes made by the user or the window manager reach the installed hooks as WM_SYSCOMMAND
// with SC_MINIMIZE or SC_RESTORE; changes made through minimize() and restore() do not.
class ApplicationWindow
{
public:
    // Makes window the application window and starts watching its window state.
    static void attach(QWidget *window);
    static QWidget *window();

    static void HookMainWindow(ApplicationHook *hook);
    static void UnhookMainWindow(ApplicationHook *hook);
    // Passes a message to every installed hook, oldest first; true when one of them handled it.
    static bool dispatch(winapi::TMessage &message);

    // Back to the state at start: no application window and no hooks.
    static void reset();

    static void Minimize();          // minimizes the application window
    static void Restore();           // takes it out of the minimized state
    static void ShowWindowHide();    // hides it, and with it the taskbar entry
    static void ShowWindowRestore(); // shows it again in its normal state
    static void SetForegroundWindow(QWidget *window);
};
