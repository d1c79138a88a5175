#include "components/Trayicon.h"

#include "components/ImageList.h"
#include "platform/Exception.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QStringEncoder>
#include <QTimer>
#include <QWidget>

#include <cstring>

using namespace tray;
using namespace winapi;

namespace {

// Tooltips longer than this many GBK bytes are refused.
constexpr int MaxHintBytes = 63;

QByteArray toGbk(const QString &text)
{
    QStringEncoder gbk("GBK");
    return gbk.isValid() ? QByteArray(gbk(text)) : text.toLocal8Bit();
}

} // namespace

TTrayIcon::TTrayIcon(QObject *Owner, bool designing) : QObject(Owner), FDesigning(designing)
{
    FHint.clear();
    FIcon = ApplicationIcon();
    FTimer = std::make_unique<QTimer>();
    FIconIndex = 0;

    FRestoreOn = imDoubleClick;
    OnAnimate = [this](QObject *Sender) { DoOnAnimate(Sender); };
    FPopupMenuOn = imNone;
    FVisible = false;
    FHide = true;

    FTimer->stop();
    connect(FTimer.get(), &QTimer::timeout, this, [this, tick = OnAnimate] {
        if (tick)
            tick(this);
    });
    FTimer->setInterval(1000);
    FHostWatch = std::make_unique<QTimer>();
    FHostWatch->setInterval(HostCheckInterval);
    connect(FHostWatch.get(), &QTimer::timeout, this, [this] { CheckHost(); });

    if (!FDesigning) {
        FData = NOTIFYICONDATA();
        FData.cbSize = NotifyIconDataSize;
        FWindow = std::make_unique<MessageWindow>([this](TMessage &m) { DoMessage(m); });
        FData.hWnd = FWindow.get();
        FData.uID = reinterpret_cast<quintptr>(this);
        FData.hIcon = FIcon;
        FData.uFlags = NIF_MESSAGE | NIF_ICON;
        FData.uCallbackMessage = WM_TRAYICON;
        FHook.bind([this](TMessage &m) { return ApplicationHookProc(m); });
        Update();
    }
}

TTrayIcon::~TTrayIcon()
{
    // The hook goes with the component: the application window must never call into a
    // component that no longer exists.
    ApplicationWindow::UnhookMainWindow(&FHook);
    // A window hidden in the tray would have no way back once its icon goes; not so the window
    // this component belongs to, which is being destroyed itself.
    bool owned = false;
    for (QObject *o = parent(); o && !owned; o = o->parent())
        owned = o == ApplicationWindow::window();
    if (!owned)
        ReturnHiddenWindow();
    if (!FDesigning) {
        Shell_NotifyIcon(NIM_DELETE, FData);
        FWindow.reset();
        FData.hWnd = nullptr;
    }
    FTimer.reset();
    FHostWatch.reset();
}

QIcon TTrayIcon::ApplicationIcon()
{
    return QGuiApplication::windowIcon();
}

void TTrayIcon::SetVisible(bool Value)
{
    FVisible = Value;
    if (FDesigning)
        return;
    if (Value) {
        if (!Shell_NotifyIcon(NIM_ADD, FData))
            throw EOutOfResources(QStringLiteral("Cannot Create System Shell Notification Icon"));
        FIconShown = true;
        FHide = true;
        ApplicationWindow::HookMainWindow(&FHook);
    } else {
        // The icon goes: a window hidden in the tray comes back first, whatever the area says.
        ReturnHiddenWindow();
        FIconShown = false;
        if (!Shell_NotifyIcon(NIM_DELETE, FData))
            throw EOutOfResources(QStringLiteral("Cannot Remove System Shell Notification Icon"));
        FHide = false;
        ApplicationWindow::UnhookMainWindow(&FHook);
    }
}

void TTrayIcon::SetHint(const QString &Value)
{
    const QByteArray bytes = toGbk(Value);
    if (Value == FHint || bytes.size() > MaxHintBytes)
        return;
    FHint = Value;
    const int n = int(qMin<qsizetype>(bytes.size(), NotifyIconTipSize - 1));
    std::memset(FData.szTip, 0, sizeof FData.szTip);
    std::memcpy(FData.szTip, bytes.constData(), size_t(n));
    if (!FHint.isEmpty())
        FData.uFlags |= NIF_TIP;
    else
        FData.uFlags &= ~NIF_TIP;
    Update();
}

void TTrayIcon::SetPopupMenu(QMenu *Value)
{
    disconnect(FMenuGone);
    FPopupMenu = Value;
    if (Value)
        FMenuGone = connect(Value, &QObject::destroyed, this, [this](QObject *gone) { Notification(gone, opRemove); });
}

void TTrayIcon::SetIcons(TImageList *Value)
{
    disconnect(FIconsGone);
    FIcons = Value;
    if (Value)
        FIconsGone = connect(Value, &QObject::destroyed, this, [this](QObject *gone) { Notification(gone, opRemove); });
}

int TTrayIcon::GetAnimateInterval() const
{
    return FTimer->interval();
}

void TTrayIcon::SetAnimateInterval(int Value)
{
    FTimer->setInterval(qMax(0, Value));
}

void TTrayIcon::SetAnimate(bool Value)
{
    if (FIcons || FLoading)
        FAnimate = Value;
    if (FIcons && !FDesigning) {
        if (!Value)
            FTimer->stop();
        else if (!FTimer->isActive())
            FTimer->start();
    }
}

bool TTrayIcon::AnimationRunning() const
{
    return FTimer->isActive();
}

void TTrayIcon::Update()
{
    if (FDesigning)
        return;
    FData.hIcon = FIcon;
    if (FVisible)
        Shell_NotifyIcon(NIM_MODIFY, FData);
}

void TTrayIcon::SetIconIndex(int Value)
{
    FIconIndex = Value;
    if (FIcons)
        FIcon = FIcons->GetIcon(Value);
    Update();
}

void TTrayIcon::SetDefaultIcon()
{
    FIcon = ApplicationIcon();
    Update();
}

void TTrayIcon::EndSession()
{
    Shell_NotifyIcon(NIM_DELETE, FData);
    // The session may go on after all (a cancelled log-out): the window must stay reachable.
    FIconShown = false;
    ReturnHiddenWindow();
}

TShiftState TTrayIcon::ShiftState()
{
    TShiftState result;
    const Qt::KeyboardModifiers keys = QGuiApplication::queryKeyboardModifiers();
    if (keys & Qt::ShiftModifier)
        result |= ssShift;
    if (keys & Qt::ControlModifier)
        result |= ssCtrl;
    if (keys & Qt::AltModifier)
        result |= ssAlt;
    return result;
}

void TTrayIcon::Loaded()
{
    FLoading = false;
    if (FIcons) {
        if (!FDesigning) {
            if (FAnimate)
                FTimer->start();
            else
                FTimer->stop();
        }
        FIcon = FIcons->GetIcon(FIconIndex);
    } else {
        FAnimate = false;
        FIcon = ApplicationIcon();
    }
    Update();
}

void TTrayIcon::Notification(QObject *AComponent, TOperation Operation)
{
    if (Operation != opRemove)
        return;
    if (AComponent == FIcons) {
        disconnect(FIconsGone);
        FIcons = nullptr;
    } else if (AComponent == FPopupMenu) {
        disconnect(FMenuGone);
        FPopupMenu = nullptr;
    }
}

void TTrayIcon::DoMessage(TMessage &Message)
{
    switch (Message.Msg) {
    case WM_QUERYENDSESSION: Message.Result = 1; break;
    case WM_ENDSESSION:
        // Whether or not the session really ends: the icon would otherwise be left behind.
        EndSession();
        break;
    case WM_TRAYICON: MouseNotification(quint32(Message.LParam)); break;
    default: break;
    }
}

void TTrayIcon::DoOnAnimate(QObject *)
{
    // Without images there is nothing to step through.
    const int n = FIcons ? FIcons->Count() : 0;
    if (n == 0) {
        FTimer->stop();
        return;
    }
    const int next = FIconIndex + 1 < n ? FIconIndex + 1 : 0;
    SetIconIndex(next);
    Update();
}

void TTrayIcon::Minimize()
{
    ApplicationWindow::Minimize();
    // Without a tray host no icon could bring the window back: it stays in the taskbar. Asked
    // each time, so a tray host that comes or goes later is followed.
    if (FIconShown && NotifyArea::instance()->hostPresent()) {
        ApplicationWindow::ShowWindowHide();
        FHostWatch->start();
    }
    if (OnMinimize)
        OnMinimize(this);
}

// A window hidden in the tray is reachable only through the icon. When the tray host goes away
// (or the icon does), the window comes back minimized in the taskbar, so the user can still
// reach it; the desktop tells no one, hence the asking.
void TTrayIcon::CheckHost()
{
    QWidget *window = ApplicationWindow::window();
    if (!window || window->isVisible()) {
        FHostWatch->stop();
        return;
    }
    if (FIconShown && NotifyArea::instance()->hostPresent())
        return;
    ReturnHiddenWindow();
}

// Still in the minimized state: showing the window puts it back as a taskbar entry.
void TTrayIcon::ReturnHiddenWindow()
{
    if (!FHostWatch || !FHostWatch->isActive())
        return; // not hidden by this component
    FHostWatch->stop();
    QWidget *window = ApplicationWindow::window();
    if (window && window->isHidden())
        window->show();
}

void TTrayIcon::Restore()
{
    FHostWatch->stop();
    ApplicationWindow::Restore();
    ApplicationWindow::ShowWindowRestore();
    ApplicationWindow::SetForegroundWindow(ApplicationWindow::window());
    if (OnRestore)
        OnRestore(this);
}

bool TTrayIcon::ApplicationHookProc(TMessage &Message)
{
    // The whole parameter is compared: a command with any of its low bits set is another one.
    if (Message.Msg == WM_SYSCOMMAND) {
        if (Message.WParam == SC_MINIMIZE)
            Minimize();
        else if (Message.WParam == SC_RESTORE)
            Restore();
    }
    return false;
}

void TTrayIcon::ShowMenu()
{
    // Nothing to open without a menu.
    if (!FPopupMenu)
        return;
    const QPoint at = QCursor::pos();
    if (QWidget *active = QApplication::activeWindow())
        ApplicationWindow::SetForegroundWindow(active);
    FPopupMenu->exec(at);
}
