#include "components/Trayicon.h"

// The tray icon's mouse notifications: which handlers and which of the two configured actions
// (restore the application, open the popup menu) each one runs.

#include <QCursor>
#include <QPointer>

using namespace tray;
using namespace winapi;

void TTrayIcon::MouseNotification(quint32 mouseMessage)
{
    // Any step may end in a menu command that frees this component; stop as soon as it is gone.
    QPointer<TTrayIcon> self(this);
    const QPoint p = QCursor::pos();
    const int X = p.x();
    const int Y = p.y();
    auto restoreIf = [&](TTrayIconMessage trigger) {
        if (self && FRestoreOn == trigger)
            Restore();
    };
    auto menuIf = [&](TTrayIconMessage trigger) {
        if (self && FPopupMenuOn == trigger)
            ShowMenu();
    };

    switch (mouseMessage) {
    case WM_MOUSEMOVE:
        if (OnMouseMove)
            DoMouseMove(ShiftState(), X, Y);
        break;
    case WM_LBUTTONDOWN: DoMouseDown(mbLeft, ShiftState() | ssLeft, X, Y); break;
    case WM_LBUTTONUP:
        if (OnClick)
            DoClick();
        if (self)
            DoMouseUp(mbLeft, ShiftState() | ssLeft, X, Y);
        restoreIf(imLeftClickUp);
        menuIf(imLeftClickUp);
        break;
    case WM_LBUTTONDBLCLK:
        DoDblClick();
        restoreIf(imLeftDoubleClick);
        menuIf(imLeftDoubleClick);
        break;
    case WM_RBUTTONDOWN: DoMouseDown(mbRight, ShiftState() | ssRight, X, Y); break;
    case WM_RBUTTONUP:
        DoMouseUp(mbRight, ShiftState() | ssRight, X, Y);
        restoreIf(imRightClickUp);
        menuIf(imRightClickUp);
        break;
    case WM_RBUTTONDBLCLK:
        DoDblClick();
        restoreIf(imRightDoubleClick);
        menuIf(imRightDoubleClick);
        break;
    case WM_MBUTTONDOWN: DoMouseDown(mbMiddle, ShiftState() | ssMiddle, X, Y); break;
    case WM_MBUTTONUP: DoMouseUp(mbMiddle, ShiftState() | ssMiddle, X, Y); break;
    case WM_MBUTTONDBLCLK: DoDblClick(); break;
    default: break;
    }
}

void TTrayIcon::DoClick()
{
    QPointer<TTrayIcon> self(this);
    if (FRestoreOn == imClick)
        Restore();
    if (self && FPopupMenuOn == imClick)
        ShowMenu();
    if (self && OnClick)
        OnClick(this);
}

void TTrayIcon::DoDblClick()
{
    QPointer<TTrayIcon> self(this);
    if (FRestoreOn == imDoubleClick)
        Restore();
    if (self && FPopupMenuOn == imDoubleClick)
        ShowMenu();
    if (self && OnDblClick)
        OnDblClick(this);
}

void TTrayIcon::DoMouseMove(TShiftState Shift, int X, int Y)
{
    if (OnMouseMove)
        OnMouseMove(this, Shift, X, Y);
}

void TTrayIcon::DoMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    QPointer<TTrayIcon> self(this);
    if (FRestoreOn == imMouseDown)
        Restore();
    if (self && FPopupMenuOn == imMouseDown)
        ShowMenu();
    if (self && OnMouseDown)
        OnMouseDown(this, Button, Shift, X, Y);
}

void TTrayIcon::DoMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    QPointer<TTrayIcon> self(this);
    if (FRestoreOn == imMouseUp)
        Restore();
    if (self && FPopupMenuOn == imMouseUp)
        ShowMenu();
    if (self && OnMouseUp)
        OnMouseUp(this, Button, Shift, X, Y);
}
