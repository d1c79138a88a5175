// The tray icon component against a recording notification area: what reaches the area and
// when, the mouse triggers, the application hook, animation and the launcher's tray icon.

#include "TestMain.h"
#include "components/ImageList.h"
#include "components/Trayicon.h"
#include "launcher/One.h"
#include "platform/Exception.h"
#include "support/BoxCloser.h"
#include "support/PlatformReset.h"
#include "support/RecordingNotifyArea.h"

#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QStringEncoder>
#include <QTimer>

#include <memory>

using namespace tray;
using namespace winapi;

namespace {

QIcon solidIcon(const QColor &colour)
{
    QPixmap p(16, 16);
    p.fill(colour);
    return QIcon(p);
}

QImage solidImage(const QColor &colour)
{
    QImage i(16, 16, QImage::Format_ARGB32);
    i.fill(colour);
    return i;
}

QByteArray gbk(const QString &s)
{
    QStringEncoder e("GBK");
    return e(s);
}

qintptr send(TTrayIcon *tray, quint32 mouse)
{
    return tray->GetHandle()->SendMessage(WM_TRAYICON, tray->IconData().uID, qintptr(mouse));
}

const QList<quint32> kMouse{WM_MOUSEMOVE, WM_LBUTTONDOWN,   WM_LBUTTONUP,   WM_LBUTTONDBLCLK, WM_RBUTTONDOWN,
                            WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_MBUTTONDOWN, WM_MBUTTONUP,     WM_MBUTTONDBLCLK};

// Which mouse messages fire a trigger, written out from the trigger's meaning.
bool fires(TTrayIconMessage t, quint32 m, bool clickHandler)
{
    switch (t) {
    case imClick: return m == WM_LBUTTONUP && clickHandler;
    case imDoubleClick: return m == WM_LBUTTONDBLCLK || m == WM_RBUTTONDBLCLK || m == WM_MBUTTONDBLCLK;
    case imMouseDown: return m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN || m == WM_MBUTTONDOWN;
    case imMouseUp: return m == WM_LBUTTONUP || m == WM_RBUTTONUP || m == WM_MBUTTONUP;
    case imLeftClickUp: return m == WM_LBUTTONUP;
    case imLeftDoubleClick: return m == WM_LBUTTONDBLCLK;
    case imRightClickUp: return m == WM_RBUTTONUP;
    case imRightDoubleClick: return m == WM_RBUTTONDBLCLK;
    case imNone: return false;
    }
    return false;
}

// Records the two actions instead of carrying them out.
class ProbeTray : public TTrayIcon
{
public:
    using TTrayIcon::TTrayIcon;
    QStringList log;
    void Restore() override { log << "restore"; }
    void ShowMenu() override { log << "menu"; }
};

} // namespace

class TestTrayIcon : public QObject
{
    Q_OBJECT
private:
    QIcon appIcon;
    QPointer<QWidget> appWindow;

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(lss);
        appIcon = solidIcon(Qt::blue);
        QGuiApplication::setWindowIcon(appIcon);
    }

    // Each case has an application window of its own and finds no hook of an earlier one.
    void init()
    {
        appWindow = new QWidget;
        appWindow->resize(200, 100);
        ApplicationWindow::attach(appWindow);
    }

    void cleanup()
    {
        delete appWindow.data();
        resetPlatform();
    }

    void defaultsAndRecord()
    {
        RecordingNotifyArea area;
        auto *tray = new TTrayIcon(nullptr);
        QVERIFY(area.calls.isEmpty());
        QCOMPARE(tray->Visible(), false);
        QCOMPARE(tray->Hint(), QString());
        QCOMPARE(tray->Hide(), true);
        QCOMPARE(tray->RestoreOn(), imDoubleClick);
        QCOMPARE(tray->PopupMenuOn(), imNone);
        QCOMPARE(tray->IconIndex(), 0);
        QCOMPARE(tray->GetAnimateInterval(), 1000);
        QCOMPARE(tray->GetAnimate(), false);
        QVERIFY(!tray->AnimationRunning());

        // The record leads back to this component: its callback message, sent to its window
        // for its id, is a mouse notification here. It holds the application's icon, no tip.
        const NOTIFYICONDATA &d = tray->IconData();
        QVERIFY(d.hWnd != nullptr);
        QCOMPARE(d.hWnd, tray->GetHandle());
        int downs = 0;
        tray->OnMouseDown = [&](QObject *sender, TMouseButton button, TShiftState, int, int) {
            downs += sender == tray && button == mbLeft;
        };
        d.hWnd->SendMessage(d.uCallbackMessage, d.uID, qintptr(WM_LBUTTONDOWN));
        QCOMPARE(downs, 1);
        QVERIFY((d.uFlags & NIF_MESSAGE) && (d.uFlags & NIF_ICON) && !(d.uFlags & NIF_TIP));
        QCOMPARE(d.hIcon.cacheKey(), appIcon.cacheKey());
        QCOMPARE(d.szTip[0], '\0');

        // Two instances have icons of their own.
        TTrayIcon other(nullptr);
        QVERIFY(other.IconData().uID != d.uID);
        QVERIFY(other.GetHandle() != tray->GetHandle());

        // Never shown: the removal at destruction is still sent, and ignored.
        delete tray;
        QCOMPARE(area.ops(), QList<quint32>{NIM_DELETE});
    }

    // The stored settings applied in their order, then Loaded, then hints and destruction.
    void loadingSequence()
    {
        RecordingNotifyArea area;
        TImageList list;
        list.Add(solidImage(Qt::red));
        QMenu menu;
        const QString hint = QStringLiteral("青穹阁信息查询系统");
        {
            TTrayIcon tray(nullptr);
            tray.Loading();
            tray.SetVisible(true);
            tray.SetHint(hint);
            tray.SetPopupMenu(&menu);
            tray.SetHide(true);
            tray.SetRestoreOn(imLeftClickUp);
            tray.SetPopupMenuOn(imRightClickUp);
            tray.SetIcons(&list);
            tray.Loaded();

            QCOMPARE(area.ops(), (QList<quint32>{NIM_ADD, NIM_MODIFY, NIM_MODIFY}));
            const NotifyCall &add = area.calls[0];
            QCOMPARE(add.flags, 3u);
            QCOMPARE(add.tip, QByteArray());
            QCOMPARE(add.iconKey, appIcon.cacheKey());
            QCOMPARE(add.size, 488u);
            QCOMPARE(add.callback, 0x401u);
            QCOMPARE(area.calls[1].flags, 7u);
            QCOMPARE(area.calls[1].tip, gbk(hint));
            QCOMPARE(area.calls[1].iconKey, appIcon.cacheKey());
            QCOMPARE(area.calls[2].flags, 7u);
            QCOMPARE(area.calls[2].iconKey, list.GetIcon(0).cacheKey());
            QVERIFY(tray.HookInstalled());
            QVERIFY(!tray.AnimationRunning());
            QVERIFY(!tray.IsLoading());

            area.calls.clear();
            tray.SetVisible(false);
            QCOMPARE(area.ops(), QList<quint32>{NIM_DELETE});
            QCOMPARE(tray.Hide(), false);
            QVERIFY(!tray.HookInstalled());
            // Not shown: changes are kept but not sent.
            tray.SetHint(QStringLiteral("x"));
            tray.SetIconIndex(0);
            QCOMPARE(area.ops(), QList<quint32>{NIM_DELETE});
            tray.SetVisible(true);
            QCOMPARE(area.calls.last().tip, QByteArray("x"));
            QCOMPARE(tray.Hide(), true);
            area.calls.clear();
        }
        QCOMPARE(area.ops(), QList<quint32>{NIM_DELETE});
    }

    void hints()
    {
        RecordingNotifyArea area;
        TTrayIcon tray(nullptr);
        tray.SetVisible(true);
        area.calls.clear();

        const QString h63 = QString(31, QChar(0x9752)) + QLatin1Char('a'); // 31 x 青 + a
        QCOMPARE(gbk(h63).size(), 63);
        tray.SetHint(h63);
        QCOMPARE(tray.Hint(), h63);
        QCOMPARE(area.calls.size(), 1);
        QCOMPARE(area.calls[0].tip, gbk(h63));
        QCOMPARE(area.calls[0].flags, 7u);

        // Same text again: nothing sent.
        tray.SetHint(h63);
        QCOMPARE(area.calls.size(), 1);

        // 64 bytes and more: refused silently, the old hint stays.
        tray.SetHint(QString(32, QChar(0x9752)));
        tray.SetHint(h63 + QLatin1Char('b'));
        tray.SetHint(QString(64, QLatin1Char('z')));
        QCOMPARE(tray.Hint(), h63);
        QCOMPARE(area.calls.size(), 1);
        QCOMPARE(QByteArray(tray.IconData().szTip), gbk(h63));

        // 63 plain letters are fine too.
        tray.SetHint(QString(63, QLatin1Char('z')));
        QCOMPARE(area.calls.size(), 2);

        // Clearing: only the tooltip flag goes; the picture and the mouse still work.
        int downs = 0;
        tray.OnMouseDown = [&](QObject *, TMouseButton, TShiftState, int, int) { ++downs; };
        tray.SetHint(QString());
        QCOMPARE(area.calls.size(), 3);
        QCOMPARE(area.calls[2].flags, 3u);
        QCOMPARE(area.calls[2].tip, QByteArray());
        QCOMPARE(tray.IconData().szTip[0], '\0');
        TImageList list;
        list.Add(solidImage(Qt::green));
        tray.SetIcons(&list);
        tray.SetIconIndex(0);
        QCOMPARE(area.calls.size(), 4);
        QCOMPARE(area.calls[3].flags, 3u);
        QCOMPARE(area.calls[3].iconKey, list.GetIcon(0).cacheKey());
        send(&tray, WM_LBUTTONDOWN);
        QCOMPARE(downs, 1);
    }

    // Every trigger value against every mouse message, for the restore and the menu trigger,
    // with and without a click handler.
    void triggerMatrix()
    {
        RecordingNotifyArea area;
        ProbeTray tray(nullptr);
        for (int withClick = 0; withClick < 2; ++withClick) {
            tray.OnClick = withClick ? TNotifyEvent([](QObject *) {}) : TNotifyEvent();
            for (int t = imClick; t <= imNone; ++t) {
                for (int which = 0; which < 2; ++which) {
                    tray.SetRestoreOn(which == 0 ? TTrayIconMessage(t) : imNone);
                    tray.SetPopupMenuOn(which == 1 ? TTrayIconMessage(t) : imNone);
                    for (quint32 m : kMouse) {
                        tray.log.clear();
                        send(&tray, m);
                        QStringList expected;
                        if (fires(TTrayIconMessage(t), m, withClick))
                            expected << (which == 0 ? "restore" : "menu");
                        QVERIFY2(tray.log == expected,
                                 qPrintable(QStringLiteral("trigger %1 %2 message %3 click %4: %5")
                                                .arg(t)
                                                .arg(which ? "menu" : "restore")
                                                .arg(m, 0, 16)
                                                .arg(withClick)
                                                .arg(tray.log.join(','))));
                    }
                }
            }
        }
        // Unknown mouse messages and unknown window messages do nothing and answer 0.
        tray.SetRestoreOn(imMouseUp);
        tray.log.clear();
        QCOMPARE(send(&tray, 0x20A), qintptr(0));
        QCOMPARE(tray.GetHandle()->SendMessage(0x0010), qintptr(0));
        QVERIFY(tray.log.isEmpty());
    }

    // The order of the calls a notification makes, and what the events receive.
    void callOrderAndEvents()
    {
        RecordingNotifyArea area;
        ProbeTray tray(nullptr);
        QStringList &log = tray.log;
        TShiftState upShift;
        TMouseButton upButton = mbMiddle;
        QPoint upAt;
        tray.OnClick = [&](QObject *s) {
            QCOMPARE(s, &tray);
            log << "click";
        };
        tray.OnDblClick = [&](QObject *) { log << "dblclick"; };
        tray.OnMouseDown = [&](QObject *, TMouseButton, TShiftState, int, int) { log << "down"; };
        tray.OnMouseUp = [&](QObject *, TMouseButton b, TShiftState s, int x, int y) {
            upButton = b;
            upShift = s;
            upAt = QPoint(x, y);
            log << "up";
        };

        tray.SetRestoreOn(imLeftClickUp);
        tray.SetPopupMenuOn(imLeftClickUp);
        send(&tray, WM_LBUTTONUP);
        QCOMPARE(log, (QStringList{"click", "up", "restore", "menu"}));
        QCOMPARE(upButton, mbLeft);
        QVERIFY(upShift & ssLeft);
        QVERIFY(!(upShift & (ssRight | ssMiddle)));
        QCOMPARE(upAt, QCursor::pos());

        log.clear();
        tray.SetRestoreOn(imClick);
        tray.SetPopupMenuOn(imClick);
        send(&tray, WM_LBUTTONUP);
        QCOMPARE(log, (QStringList{"restore", "menu", "click", "up"}));

        log.clear();
        tray.SetRestoreOn(imRightDoubleClick);
        tray.SetPopupMenuOn(imDoubleClick);
        send(&tray, WM_RBUTTONDBLCLK);
        QCOMPARE(log, (QStringList{"menu", "dblclick", "restore"}));

        log.clear();
        tray.SetRestoreOn(imMouseUp);
        tray.SetPopupMenuOn(imRightClickUp);
        send(&tray, WM_RBUTTONUP);
        QCOMPARE(log, (QStringList{"restore", "up", "menu"}));
        QCOMPARE(upButton, mbRight);
        QVERIFY(upShift & ssRight);
        send(&tray, WM_MBUTTONUP);
        QCOMPARE(upButton, mbMiddle);
        QVERIFY(upShift & ssMiddle);

        // Mouse moves reach only an assigned handler, with no trigger.
        log.clear();
        tray.SetRestoreOn(imMouseDown);
        send(&tray, WM_MOUSEMOVE);
        QVERIFY(log.isEmpty());
        tray.OnMouseMove = [&](QObject *, TShiftState s, int, int) {
            QVERIFY(!(s & (ssLeft | ssRight | ssMiddle)));
            log << "move";
        };
        send(&tray, WM_MOUSEMOVE);
        QCOMPARE(log, QStringList{"move"});
    }

    // A menu command that frees the component in the middle of a notification ends it there.
    void freedDuringNotification()
    {
        RecordingNotifyArea area;
        auto *tray = new ProbeTray(nullptr);
        tray->SetRestoreOn(imLeftClickUp);
        tray->OnClick = [&](QObject *) { tray->deleteLater(); };
        tray->OnMouseUp = [&](QObject *, TMouseButton, TShiftState, int, int) { delete tray; };
        QPointer<ProbeTray> guard(tray);
        send(tray, WM_LBUTTONUP);
        QVERIFY(guard.isNull());
    }

    // The launcher's settings with the real actions: left release restores the application,
    // right release opens the menu at the cursor; double-clicks and moves do nothing.
    void launcherSettings()
    {
        RecordingNotifyArea area;
        QMenu menu;
        menu.addAction(QStringLiteral("显示窗体"));
        TTrayIcon tray(nullptr);
        int restores = 0, minimizes = 0;
        tray.OnRestore = [&](QObject *) { ++restores; };
        tray.OnMinimize = [&](QObject *) { ++minimizes; };
        tray.Loading();
        tray.SetVisible(true);
        tray.SetPopupMenu(&menu);
        tray.SetRestoreOn(imLeftClickUp);
        tray.SetPopupMenuOn(imRightClickUp);
        tray.Loaded();

        appWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(appWindow));
        // As the window manager would on the user's request: reaches the hook.
        appWindow->setWindowState(appWindow->windowState() | Qt::WindowMinimized);
        QCOMPARE(minimizes, 1);
        // The platform's confirmation of that state, which a real minimize does not have.
        QCoreApplication::processEvents();
        QVERIFY(appWindow->isHidden());

        QPoint menuAt;
        int menusOpened = 0;
        QTimer closer;
        closer.setInterval(5);
        connect(&closer, &QTimer::timeout, [&] {
            if (menu.isVisible()) {
                menuAt = menu.pos();
                ++menusOpened;
                menu.close();
            }
        });
        closer.start();

        for (quint32 m : {WM_MOUSEMOVE, WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK, WM_LBUTTONDOWN,
                          WM_RBUTTONDOWN, WM_MBUTTONUP})
            send(&tray, m);
        QCOMPARE(restores, 0);
        QCOMPARE(menusOpened, 0);
        QVERIFY(appWindow->isHidden());

        send(&tray, WM_LBUTTONUP);
        QCOMPARE(restores, 1);
        QVERIFY(appWindow->isVisible());
        QVERIFY(!(appWindow->windowState() & Qt::WindowMinimized));
        QCOMPARE(minimizes, 1);

        QCursor::setPos(230, 170);
        const QPoint cursor = QCursor::pos();
        send(&tray, WM_RBUTTONUP);
        QCOMPARE(menusOpened, 1);
        QCOMPARE(menuAt, cursor);
        QCOMPARE(restores, 1);

        // Without a menu the trigger does nothing.
        tray.SetPopupMenu(nullptr);
        send(&tray, WM_RBUTTONUP);
        QCOMPARE(menusOpened, 1);
        appWindow->hide();
    }

    // Minimizing hides the window only while a tray host shows the icon that brings it back;
    // without one the window stays minimized in the taskbar. The host is asked at each minimize,
    // and while the window is hidden: a host that goes away then gives the window back to the
    // taskbar, still minimized. So does the icon going while the window is hidden (hidden,
    // removed at the session's end, or the component destroyed), at once.
    void minimizeFollowsTrayHost_data()
    {
        QTest::addColumn<QList<bool>>("hosts");
        QTest::addColumn<QString>("whileHidden");
        QTest::newRow("tray") << QList<bool>{true} << QString();
        QTest::newRow("no tray") << QList<bool>{false} << QString();
        QTest::newRow("tray comes later") << QList<bool>{false, true} << QString();
        QTest::newRow("tray goes away") << QList<bool>{true, false} << QString();
        QTest::newRow("tray goes away while hidden") << QList<bool>{true, true} << QStringLiteral("host leaves");
        QTest::newRow("icon hidden while hidden") << QList<bool>{true} << QStringLiteral("icon hidden");
        QTest::newRow("session ends while hidden") << QList<bool>{true} << QStringLiteral("session ends");
        QTest::newRow("component goes while hidden") << QList<bool>{true} << QStringLiteral("component goes");
    }
    void minimizeFollowsTrayHost()
    {
        QFETCH(QList<bool>, hosts);
        QFETCH(QString, whileHidden);
        RecordingNotifyArea area;
        auto tray = std::make_unique<TTrayIcon>(nullptr);
        tray->SetRestoreOn(imLeftClickUp);
        tray->SetVisible(true);
        appWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(appWindow));
        for (bool host : hosts) {
            area.trayHost = host;
            appWindow->setWindowState(appWindow->windowState() | Qt::WindowMinimized);
            QCoreApplication::processEvents();
            QCOMPARE(appWindow->isHidden(), host);
            QVERIFY(appWindow->windowState() & Qt::WindowMinimized);
            if (host && !whileHidden.isEmpty()) {
                if (whileHidden == QLatin1String("host leaves")) {
                    area.trayHost = false;
                    while (appWindow->isHidden())
                        QTest::qWait(TTrayIcon::HostCheckInterval / 5);
                    area.trayHost = true; // the host comes back: the next minimize hides again
                } else {
                    if (whileHidden == QLatin1String("icon hidden"))
                        tray->SetVisible(false);
                    else if (whileHidden == QLatin1String("session ends"))
                        tray->EndSession();
                    else
                        tray.reset();
                    QVERIFY(appWindow->isVisible());
                }
                QVERIFY(appWindow->windowState() & Qt::WindowMinimized);
            }
            // Back through the icon, or through the taskbar entry.
            if (host && whileHidden.isEmpty())
                send(tray.get(), WM_LBUTTONUP);
            else
                appWindow->setWindowState(appWindow->windowState() & ~Qt::WindowMinimized);
            QVERIFY(appWindow->isVisible());
            QVERIFY(!(appWindow->windowState() & Qt::WindowMinimized));
        }
        // Without its icon the window stays in the taskbar when minimized.
        if (tray && !whileHidden.isEmpty() && whileHidden != QLatin1String("host leaves")) {
            appWindow->setWindowState(appWindow->windowState() | Qt::WindowMinimized);
            QCoreApplication::processEvents();
            QVERIFY(!appWindow->isHidden());
        }
        appWindow->hide();
    }

    void applicationHook()
    {
        RecordingNotifyArea area;
        auto *tray = new TTrayIcon(nullptr);
        int minimizes = 0, restores = 0;
        tray->OnMinimize = [&](QObject *) { ++minimizes; };
        tray->OnRestore = [&](QObject *) { ++restores; };
        appWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(appWindow));

        TMessage m;
        m.Msg = WM_SYSCOMMAND;
        m.WParam = SC_MINIMIZE;
        // Not installed until the icon is shown.
        QVERIFY(!ApplicationWindow::dispatch(m));
        QCOMPARE(minimizes, 0);

        tray->SetVisible(true);
        QVERIFY(!ApplicationWindow::dispatch(m));
        QCOMPARE(minimizes, 1);
        QVERIFY(appWindow->isHidden());

        // The whole parameter counts: low bits set make another command.
        for (quintptr p : {SC_MINIMIZE | 1, SC_MINIMIZE | 0xF, SC_RESTORE | 2, SC_RESTORE | 8}) {
            m.WParam = p;
            QVERIFY(!ApplicationWindow::dispatch(m));
        }
        m.Msg = 0x0111;
        m.WParam = SC_RESTORE;
        ApplicationWindow::dispatch(m);
        QCOMPARE(minimizes, 1);
        QCOMPARE(restores, 0);

        m.Msg = WM_SYSCOMMAND;
        QVERIFY(!ApplicationWindow::dispatch(m));
        QCOMPARE(restores, 1);
        QVERIFY(appWindow->isVisible());
        QVERIFY(!(appWindow->windowState() & Qt::WindowMinimized));

        // Restoring through the window itself reaches the hook too.
        appWindow->showMinimized();
        QCOMPARE(minimizes, 2);
        appWindow->setWindowState(appWindow->windowState() & ~Qt::WindowMinimized);
        QCOMPARE(restores, 2);

        // Removed with the icon...
        tray->SetVisible(false);
        m.WParam = SC_MINIMIZE;
        ApplicationWindow::dispatch(m);
        QCOMPARE(minimizes, 2);

        // ...and with the component, which never removes it itself otherwise.
        tray->SetVisible(true);
        delete tray;
        ApplicationWindow::dispatch(m);
        appWindow->showMinimized();
        QCOMPARE(minimizes, 2);
        appWindow->showNormal();
        appWindow->hide();
    }

    void animation()
    {
        RecordingNotifyArea area;
        TTrayIcon tray(nullptr);
        tray.SetVisible(true);

        // No image list: the flag is not even stored, and Loaded keeps it off.
        tray.SetAnimate(true);
        QCOMPARE(tray.GetAnimate(), false);
        QVERIFY(!tray.AnimationRunning());
        tray.Loading();
        tray.SetAnimate(true);
        QCOMPARE(tray.GetAnimate(), true);
        tray.Loaded();
        QCOMPARE(tray.GetAnimate(), false);
        QVERIFY(!tray.AnimationRunning());
        QCOMPARE(tray.CurrentIcon().cacheKey(), appIcon.cacheKey());

        auto *list = new TImageList;
        const QColor colours[] = {Qt::red, Qt::green, Qt::yellow};
        for (const QColor &c : colours)
            list->Add(solidImage(c));
        tray.SetIcons(list);
        tray.SetIconIndex(0);
        area.calls.clear();
        for (int expected : {1, 2, 0, 1, 2, 0}) {
            tray.DoOnAnimate(&tray);
            QCOMPARE(tray.IconIndex(), expected);
            QCOMPARE(tray.CurrentIcon().cacheKey(), list->GetIcon(expected).cacheKey());
            QVERIFY(!tray.CurrentIcon().isNull());
        }
        // Each step reaches the notification area, never with an empty picture.
        QVERIFY(area.calls.size() >= 6);
        for (const auto &c : area.calls)
            QVERIFY(c.iconKey != QIcon().cacheKey());

        // The timer drives the steps; another OnAnimate handler does not change that.
        bool otherCalled = false;
        tray.OnAnimate = [&](QObject *) { otherCalled = true; };
        tray.SetAnimateInterval(5);
        QCOMPARE(tray.GetAnimateInterval(), 5);
        tray.SetAnimate(true);
        QVERIFY(tray.GetAnimate());
        QVERIFY(tray.AnimationRunning());
        const int from = tray.IconIndex();
        QTRY_VERIFY(tray.IconIndex() != from);
        QVERIFY(!otherCalled);
        tray.SetAnimate(false);
        QVERIFY(!tray.AnimationRunning());

        // Image list freed while animating: the reference goes, the next step stops the timer.
        tray.SetAnimate(true);
        delete list;
        QCOMPARE(tray.Icons(), nullptr);
        QTRY_VERIFY(!tray.AnimationRunning());

        // An empty list stops it as well.
        TImageList empty;
        tray.SetIcons(&empty);
        tray.SetAnimate(true);
        QVERIFY(tray.AnimationRunning());
        tray.DoOnAnimate(&tray);
        QVERIFY(!tray.AnimationRunning());

        // Loaded with a list and Animate set starts the timer and shows image IconIndex.
        TImageList two;
        two.Add(solidImage(Qt::red));
        two.Add(solidImage(Qt::green));
        TTrayIcon loaded(nullptr);
        loaded.Loading();
        loaded.SetIcons(&two);
        loaded.SetAnimate(true);
        loaded.SetIconIndex(1);
        loaded.Loaded();
        QVERIFY(loaded.AnimationRunning());
        QCOMPARE(loaded.CurrentIcon().cacheKey(), two.GetIcon(1).cacheKey());
        loaded.SetDefaultIcon();
        QCOMPARE(loaded.CurrentIcon().cacheKey(), appIcon.cacheKey());
    }

    void endOfSession()
    {
        RecordingNotifyArea area;
        TTrayIcon tray(nullptr);
        tray.SetVisible(true);
        area.calls.clear();
        QCOMPARE(tray.GetHandle()->SendMessage(WM_QUERYENDSESSION), qintptr(1));
        QVERIFY(area.calls.isEmpty());
        // Removed even though the message says the session goes on.
        QCOMPARE(tray.GetHandle()->SendMessage(WM_ENDSESSION, 0), qintptr(0));
        QCOMPARE(area.ops(), QList<quint32>{NIM_DELETE});
        QCOMPARE(tray.Visible(), true);
        QVERIFY(tray.HookInstalled());
        // Later changes go as modifies, which the area ignores for a removed icon.
        tray.SetHint(QStringLiteral("q"));
        QCOMPARE(area.calls.last().op, NIM_MODIFY);
    }

    void removedComponents()
    {
        RecordingNotifyArea area;
        TTrayIcon tray(nullptr);
        auto *menu = new QMenu;
        auto *list = new TImageList;
        tray.SetPopupMenu(menu);
        tray.SetIcons(list);
        delete menu;
        QCOMPARE(tray.PopupMenu(), nullptr);
        QCOMPARE(tray.Icons(), list);
        delete list;
        QCOMPARE(tray.Icons(), nullptr);
        tray.ShowMenu(); // nothing to open
        tray.SetIconIndex(3);
        QCOMPARE(tray.IconIndex(), 3);

        // A replaced reference is no longer watched.
        TImageList a, b;
        tray.SetIcons(&a);
        tray.SetIcons(&b);
        tray.Notification(&a, opRemove);
        QCOMPARE(tray.Icons(), &b);
        tray.Notification(&b, opInsert);
        QCOMPARE(tray.Icons(), &b);
    }

    void refusals()
    {
        RecordingNotifyArea area;
        TTrayIcon tray(nullptr);
        area.refuseAdd = true;
        tray.SetHide(false);
        try {
            tray.SetVisible(true);
            QFAIL("no exception");
        } catch (const EOutOfResources &e) {
            QCOMPARE(e.message(), QStringLiteral("Cannot Create System Shell Notification Icon"));
        }
        QCOMPARE(tray.Visible(), true);
        QCOMPARE(tray.Hide(), false);
        QVERIFY(!tray.HookInstalled());

        area.refuseAdd = false;
        tray.SetVisible(true);
        area.refuseRemove = true;
        try {
            tray.SetVisible(false);
            QFAIL("no exception");
        } catch (const EOutOfResources &e) {
            QCOMPARE(e.message(), QStringLiteral("Cannot Remove System Shell Notification Icon"));
        }
        QCOMPARE(tray.Visible(), false);
        QCOMPARE(tray.Hide(), true);
        QVERIFY(tray.HookInstalled());
        area.refuseRemove = false;
    }

    void designing()
    {
        RecordingNotifyArea area;
        TImageList list;
        list.Add(solidImage(Qt::red));
        TTrayIcon tray(nullptr, true);
        QCOMPARE(tray.GetHandle(), nullptr);
        tray.SetVisible(true);
        tray.SetHint(QStringLiteral("h"));
        tray.SetIcons(&list);
        tray.SetAnimate(true);
        QVERIFY(tray.GetAnimate());
        QVERIFY(!tray.AnimationRunning());
        QVERIFY(area.calls.isEmpty());
    }

    // The launcher's icon: its stored settings reach the notification area in their order.
    void launcherTrayIcon()
    {
        RecordingNotifyArea area;
        auto *launcher = new TF_one;
        TTrayIcon *tray = launcher->TrayIcon1;
        QVERIFY(tray);
        QCOMPARE(tray->parent(), launcher);
        QCOMPARE(tray->Visible(), true);
        QCOMPARE(tray->Hint(), QStringLiteral("青穹阁信息查询系统"));
        QCOMPARE(tray->PopupMenu(), launcher->PopupMenu1);
        QCOMPARE(tray->RestoreOn(), imLeftClickUp);
        QCOMPARE(tray->PopupMenuOn(), imRightClickUp);
        QCOMPARE(tray->Icons(), launcher->ImageList1);
        QCOMPARE(launcher->ImageList1->Count(), 1);
        QCOMPARE(launcher->ImageList1->GetImage(0).size(), QSize(16, 16));
        QCOMPARE(tray->GetAnimate(), false);
        QVERIFY(!tray->AnimationRunning());

        QCOMPARE(area.ops(), (QList<quint32>{NIM_ADD, NIM_MODIFY, NIM_MODIFY}));
        QCOMPARE(area.calls[0].flags, 3u);
        QCOMPARE(area.calls[1].flags, 7u);
        QCOMPARE(area.calls[1].tip, gbk(QStringLiteral("青穹阁信息查询系统")));
        QCOMPARE(area.calls[2].iconKey, launcher->ImageList1->GetIcon(0).cacheKey());
        area.calls.clear();
        delete launcher;
        QCOMPARE(area.ops(), QList<quint32>{NIM_DELETE});
    }

    // Refused at start-up: one error box, no launcher, and the start-up still ends normally.
    void refusedAtStartUp()
    {
        RecordingNotifyArea area;
        area.refuseAdd = true;
        BoxCloser closer;
        F_one = nullptr;
        const int code = Application::instance()->Execute([] { Application::instance()->CreateForm(F_one); });
        QCOMPARE(code, 0);
        QCOMPARE(F_one, nullptr);
        QCOMPARE(closer.boxes.size(), 1);
        QCOMPARE(closer.boxes[0].icon, QMessageBox::Critical);
        QVERIFY(closer.boxes[0].text.startsWith(QStringLiteral("Cannot Create System Shell Notification Icon")));
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY2(!qobject_cast<TF_one *>(w), w->metaObject()->className());
        QCOMPARE(area.ops(), (QList<quint32>{NIM_ADD, NIM_DELETE}));
    }
};

LSS_TEST_MAIN(TestTrayIcon)
#include "test_trayicon.moc"
