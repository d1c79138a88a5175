#pragma once

// TTrayIcon: one icon in the desktop's notification area, tied to the application. It shows a
// tooltip, turns the mouse notifications for the icon into events and into two configurable
// actions (restore the application, open a popup menu), hides the application's taskbar entry
// while the application is minimized, removes the icon when the session ends and can animate
// the icon through the images of an image list.

#include "platform/NotifyArea.h"

#include <QFlags>
#include <QIcon>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QMenu;
class QTimer;
class TImageList;

// The component's own names, kept out of the global namespace.
namespace tray {

// The mouse action that triggers restoring the application or opening the menu.
enum TTrayIconMessage : quint8 {
    imClick,            // left release, only while an OnClick handler is assigned
    imDoubleClick,      // double-click of any button
    imMouseDown,        // press of any button
    imMouseUp,          // release of any button
    imLeftClickUp,      // left release
    imLeftDoubleClick,  // left double-click
    imRightClickUp,     // right release
    imRightDoubleClick, // right double-click
    imNone              // never
};

enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftStateFlag { ssShift = 0x01, ssAlt = 0x02, ssCtrl = 0x04, ssLeft = 0x08, ssRight = 0x10, ssMiddle = 0x20 };
Q_DECLARE_FLAGS(TShiftState, TShiftStateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TShiftState)

enum TOperation { opInsert, opRemove };

using TNotifyEvent = std::function<void(QObject *Sender)>;
using TMouseEvent = std::function<void(QObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(QObject *Sender, TShiftState Shift, int X, int Y)>;

// The message the notification area sends to the hidden window about the mouse.
constexpr quint32 WM_TRAYICON = winapi::WM_USER + 1;

} // namespace tray

class TTrayIcon : public QObject
{
    Q_OBJECT
public:
    // designing: the component sits in a form designer, where it never touches the desktop.
    explicit TTrayIcon(QObject *Owner, bool designing = false);
    ~TTrayIcon() override;

    // Properties, in the order a form stores them.
    bool Visible() const { return FVisible; }
    QString Hint() const { return FHint; }
    void SetHint(const QString &Value);
    QMenu *PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(QMenu *Value);
    bool Hide() const { return FHide; }
    void SetHide(bool Value) { FHide = Value; }
    tray::TTrayIconMessage RestoreOn() const { return FRestoreOn; }
    void SetRestoreOn(tray::TTrayIconMessage Value) { FRestoreOn = Value; }
    tray::TTrayIconMessage PopupMenuOn() const { return FPopupMenuOn; }
    void SetPopupMenuOn(tray::TTrayIconMessage Value) { FPopupMenuOn = Value; }
    TImageList *Icons() const { return FIcons; }
    void SetIcons(TImageList *Value);
    int IconIndex() const { return FIconIndex; }
    int GetAnimateInterval() const;
    void SetAnimateInterval(int Value);
    bool GetAnimate() const { return FAnimate; }
    void SetAnimate(bool Value);
    winapi::HWND GetHandle() const { return FData.hWnd; }

    // Events, in the order a form stores them, then OnDblClick.
    tray::TNotifyEvent OnMinimize;
    tray::TNotifyEvent OnRestore;
    tray::TNotifyEvent OnClick;
    tray::TMouseMoveEvent OnMouseEnter; // never raised
    tray::TMouseMoveEvent OnMouseExit;  // never raised
    tray::TMouseMoveEvent OnMouseMove;
    tray::TMouseEvent OnMouseUp;
    tray::TMouseEvent OnMouseDown;
    // Bound to the timer once, at construction: assigning another handler later changes nothing
    // the timer calls.
    tray::TNotifyEvent OnAnimate;
    tray::TNotifyEvent OnCreate;     // never raised
    tray::TNotifyEvent OnDestroy;    // never raised
    tray::TNotifyEvent OnActivate;   // never raised
    tray::TNotifyEvent OnDeactivate; // never raised
    tray::TNotifyEvent OnDblClick;

    virtual void SetVisible(bool Value);
    virtual void DoMessage(winapi::TMessage &Message);
    virtual void DoClick();
    virtual void DoDblClick();
    virtual void DoMouseMove(tray::TShiftState Shift, int X, int Y);
    virtual void DoMouseDown(tray::TMouseButton Button, tray::TShiftState Shift, int X, int Y);
    virtual void DoMouseUp(tray::TMouseButton Button, tray::TShiftState Shift, int X, int Y);
    virtual void DoOnAnimate(QObject *Sender);
    virtual void Minimize();
    virtual void Restore();
    virtual void Update();
    virtual void ShowMenu();
    virtual void SetIconIndex(int Value);
    virtual void SetDefaultIcon();

    // Removes the icon from the notification area; Visible stays as it is. A window hidden in
    // the tray comes back to the taskbar.
    void EndSession();
    // Shift, Ctrl and Alt, each while its key is down.
    static tray::TShiftState ShiftState();
    // The hook on the application window: minimize and restore system commands. Always false,
    // so the window goes on to handle the message itself.
    bool ApplicationHookProc(winapi::TMessage &Message);

    // Loading from a form: Loading() before the stored properties are set, Loaded() after.
    void Loading() { FLoading = true; }
    virtual void Loaded();
    // A component that this one refers to is going away.
    virtual void Notification(QObject *AComponent, tray::TOperation Operation);

    bool Designing() const { return FDesigning; }
    bool IsLoading() const { return FLoading; }
    // What the notification area was last handed, and the picture it shows.
    const winapi::NOTIFYICONDATA &IconData() const { return FData; }
    QIcon CurrentIcon() const { return FIcon; }
    bool AnimationRunning() const;
    bool HookInstalled() const { return FHook.installed(); }
    // How often, while the application window is hidden in the tray, the component asks whether
    // the tray host (and with it the way back) is still there.
    static constexpr int HostCheckInterval = 500;

private:
    void MouseNotification(quint32 mouseMessage);
    void CheckHost();
    void ReturnHiddenWindow();
    static QIcon ApplicationIcon();

    winapi::NOTIFYICONDATA FData;
    QIcon FIcon;
    TImageList *FIcons = nullptr;
    QMenu *FPopupMenu = nullptr;
    std::unique_ptr<QTimer> FTimer;
    std::unique_ptr<QTimer> FHostWatch; // runs while the window is hidden in the tray
    QString FHint;
    int FIconIndex = 0;
    bool FVisible = false;
    bool FIconShown = false; // the icon is in the notification area
    bool FHide = true;
    bool FAnimate = false;
    tray::TTrayIconMessage FRestoreOn = tray::imDoubleClick;
    tray::TTrayIconMessage FPopupMenuOn = tray::imNone;
    ApplicationHook FHook;

    std::unique_ptr<winapi::MessageWindow> FWindow;
    QMetaObject::Connection FIconsGone;
    QMetaObject::Connection FMenuGone;
    bool FDesigning = false;
    bool FLoading = false;
};
