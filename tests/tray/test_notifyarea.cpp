// The desktop's notification area over QSystemTrayIcon: requests and their answers, and Qt's
// activation reasons turned into mouse messages for the hidden window. Under the offscreen
// platform there is no tray, which must not stop anything.

#include "TestMain.h"
#include "components/Trayicon.h"
#include "platform/NotifyArea.h"
#include "support/PlatformReset.h"

#include <QStringEncoder>
#include <QSystemTrayIcon>

using namespace tray;
using namespace winapi;

class TestNotifyArea : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { resetPlatform(); }

    void requestsAndActivation()
    {
        QList<TMessage> received;
        MessageWindow window([&](TMessage &m) { received.append(m); });
        SystemTrayNotifyArea area;

        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::red);
        NOTIFYICONDATA d;
        d.cbSize = NotifyIconDataSize;
        d.hWnd = &window;
        d.uID = 7;
        d.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        d.uCallbackMessage = WM_TRAYICON;
        d.hIcon = QIcon(pixmap);
        const QByteArray tip = QStringEncoder("GBK")(QStringLiteral("青穹阁"));
        qstrncpy(d.szTip, tip.constData(), sizeof d.szTip);

        QVERIFY(area.add(d));
        QVERIFY(!area.add(d)); // one icon per window and identifier
        QSystemTrayIcon *icon = area.trayIconFor(&window, 7);
        QVERIFY(icon);
        QCOMPARE(icon->toolTip(), QStringLiteral("青穹阁"));
        QVERIFY(!icon->icon().isNull());
        QCOMPARE(area.trayIconFor(&window, 8), nullptr);

        d.uFlags = NIF_MESSAGE | NIF_ICON;
        QVERIFY(area.modify(d));
        QCOMPARE(icon->toolTip(), QString());

        const struct
        {
            QSystemTrayIcon::ActivationReason reason;
            QList<quint32> mouse;
        } cases[] = {
            {QSystemTrayIcon::Trigger, {WM_LBUTTONDOWN, WM_LBUTTONUP}},
            {QSystemTrayIcon::DoubleClick, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}},
            {QSystemTrayIcon::Context, {WM_RBUTTONDOWN, WM_RBUTTONUP}},
            {QSystemTrayIcon::MiddleClick, {WM_MBUTTONDOWN, WM_MBUTTONUP}},
            {QSystemTrayIcon::Unknown, {}},
        };
        for (const auto &c : cases) {
            received.clear();
            emit icon->activated(c.reason);
            QList<quint32> got;
            for (const TMessage &m : received) {
                QCOMPARE(m.Msg, WM_TRAYICON);
                QCOMPARE(m.WParam, quintptr(7));
                got.append(quint32(m.LParam));
            }
            QCOMPARE(got, c.mouse);
        }

        // Without the message flag nothing is reported.
        d.uFlags = NIF_ICON;
        QVERIFY(area.modify(d));
        received.clear();
        emit icon->activated(QSystemTrayIcon::Trigger);
        QVERIFY(received.isEmpty());

        QVERIFY(area.remove(d));
        QVERIFY(!area.remove(d));
        QVERIFY(!area.modify(d));
        QCOMPARE(area.trayIconFor(&window, 7), nullptr);
        QVERIFY(area.add(d)); // can be added again
        QVERIFY(area.remove(d));
    }

    // The component over the desktop's area: a missing tray does not refuse the icon, and a
    // removal from inside the icon's own activation is safe.
    void componentWithoutTray()
    {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        NotifyArea::setInstance(nullptr);
        auto *tray = new TTrayIcon(nullptr);
        tray->SetVisible(true);
        tray->SetHint(QStringLiteral("青穹阁信息查询系统"));
        auto *area = static_cast<SystemTrayNotifyArea *>(NotifyArea::instance());
        QSystemTrayIcon *icon = area->trayIconFor(tray->GetHandle(), tray->IconData().uID);
        QVERIFY(icon);
        QCOMPARE(icon->toolTip(), QStringLiteral("青穹阁信息查询系统"));

        int dbl = 0;
        tray->OnDblClick = [&](QObject *) { ++dbl; };
        tray->SetRestoreOn(imNone);
        emit icon->activated(QSystemTrayIcon::DoubleClick);
        QCOMPARE(dbl, 1);

        QPointer<QSystemTrayIcon> guard(icon);
        tray->OnMouseDown = [&](QObject *, TMouseButton, TShiftState, int, int) { tray->SetVisible(false); };
        emit icon->activated(QSystemTrayIcon::DoubleClick);
        QCOMPARE(dbl, 1); // the icon went away after the first message
        QCOMPARE(area->trayIconFor(tray->GetHandle(), tray->IconData().uID), nullptr);
        tray->OnMouseDown = nullptr;
        tray->SetVisible(true);
        delete tray;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(guard.isNull());
    }
};

LSS_TEST_MAIN(TestNotifyArea)
#include "test_notifyarea.moc"
