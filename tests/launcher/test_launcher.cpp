// The launcher and its about and disclaimer windows, driven through the real windows.

#include "TestMain.h"
#include "app/Datemodule.h"
#include "components/ImageList.h"
#include "data/DataSource.h"
#include "data/Query.h"
#include "launcher/About.h"
#include "launcher/Mzsm.h"
#include "launcher/One.h"
#include "platform/Shell.h"
#include "platform/Site.h"
#include "query/Dl_lawroom.h"
#include "query/Dl_lawyer.h"
#include "query/Hongkong_lawroom.h"
#include "query/Hongkong_lawyer.h"
#include "query/Macao_lawyer.h"
#include "query/Taiwan_lawyer.h"
#include "support/BoxCloser.h"
#include "support/PlatformReset.h"
#include "support/RecordingShell.h"
#include "support/UserInput.h"

#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>

namespace {
// A closed local port: the launcher's update check fails at once, without a name lookup.
const QString kSite = QStringLiteral("http://127.0.0.1:9");

QStringList disclaimerLines()
{
    return {
        QStringLiteral("    "),
        QString(),
        QString(),
        QString(),
        QString(),
        QString(),
        QString(),
        QStringLiteral(
            "       任何使用本软件的用户均应仔细阅读本声明,用户可选择不使用本软件.用户使用本软件的行为将被视为对"),
        QStringLiteral("本声明全部内容的认可."),
        QString(),
        QStringLiteral(
            "      1 、任何通过本软件得到的信息及服务均系青穹阁信息查询系统自社会公开信息收集,青穹阁对其合法性概"),
        QStringLiteral("不负责,亦不承担任何法律责任."),
        QStringLiteral("      "),
        QStringLiteral(
            "      2 、任何律师或者律师事务所如果不想被青穹阁信息查询系统收录,应该及时向青穹阁反映.否则青穹阁将视"),
        QStringLiteral("其为可收录信息. "),
        QStringLiteral("      "),
        QStringLiteral(
            "      3 、任何单位或个人认为通过青穹阁信息查询系统的内容可能涉嫌侵犯其合法权益,应该及时向青穹阁书面"),
        QStringLiteral(
            "反馈,并提供身份证明、权属证明及详细侵权情况证明,青穹阁在收到上述法律文件后,将会尽快移除被控侵权内"),
        QStringLiteral("容. "),
        QStringLiteral("      4 、青穹阁信息查询系统所有内容并不反映任何青穹阁之意见. "),
    };
}

QColor labelColour(QLabel *label)
{
    return label->palette().color(QPalette::WindowText);
}
} // namespace

class TestLauncher : public QObject
{
    Q_OBJECT
private:
    TF_one *launcher() { return F_one; }

private slots:
    void initTestCase() { qputenv("LSS_SITE_BASE", kSite.toUtf8() + "/"); }

    // Each case starts as the program does: the data module first (there is no directory beside
    // the test, so it reports that), then the launcher.
    void init()
    {
        BoxCloser closer;
        Application::instance()->CreateForm(DM);
        Application::instance()->CreateForm(F_one);
        F_one->show();
        QVERIFY(QTest::qWaitForWindowExposed(F_one));
    }

    // And ends as the program does: every window and the data module go, newest first.
    void cleanup()
    {
        Application::instance()->destroyOwned();
        flushDeletes();
        resetPlatform();
        QVERIFY(!F_one && !DM);
    }

    void layout()
    {
        TF_one *f = launcher();
        QCOMPARE(f->windowTitle(), QStringLiteral("青穹阁信息查询系统国内版"));
        QCOMPARE(f->minimumSize(), f->maximumSize());
        QVERIFY(!(f->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(f->windowFlags() & Qt::WindowMinimizeButtonHint));

        // The group boxes one below the other, in this order, none cut off by the window.
        const QList<QGroupBox *> boxes{f->GroupBox2, f->GroupBox1, f->GroupBox3, f->GroupBox4};
        const QStringList titles{"青穹阁信息查询系统系列", "律师信息查询", "律所信息查询", "网站功能"};
        for (int i = 0; i < boxes.size(); ++i) {
            QCOMPARE(boxes[i]->title(), titles[i]);
            QVERIFY2(f->rect().contains(boxes[i]->geometry()), qPrintable(titles[i]));
            if (i > 0)
                QVERIFY2(boxes[i]->y() >= boxes[i - 1]->geometry().bottom(), qPrintable(titles[i]));
        }

        const QList<QPushButton *> buttons{f->Button1, f->Button2, f->Button3, f->Button4,  f->Button5,  f->Button6,
                                           f->Button7, f->Button8, f->Button9, f->Button10, f->Button11, f->Button12};
        const QStringList captions{"律师查询", "香港律师查询", "台湾律师查询", "澳门律师查询",
                                   "律所查询", "香港律所查询", "台湾律所查询", "澳门律所查询",
                                   "在线律师", "用户注册",     "免责声明",     "关于我们"};
        const QList<QGroupBox *> parents{f->GroupBox1, f->GroupBox3, f->GroupBox4};
        for (int i = 0; i < 12; ++i) {
            QPushButton *b = buttons[i];
            QCOMPARE(b->text(), captions[i]);
            QCOMPARE(b->parentWidget(), parents[i / 4]);
            // Inside its group box, left to right, apart from its neighbour.
            QVERIFY2(b->parentWidget()->contentsRect().contains(b->geometry()), qPrintable(b->text()));
            if (i % 4)
                QVERIFY2(b->x() > buttons[i - 1]->geometry().right(), qPrintable(b->text()));
            // The caption fits the button.
            QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) + 8 <= b->width(), qPrintable(b->text()));
            if (i < 11) {
                QWidget *next = b->nextInFocusChain();
                while (!(next->focusPolicy() & Qt::TabFocus))
                    next = next->nextInFocusChain();
                QCOMPARE(next, buttons[i + 1]);
            }
        }

        QCOMPARE(f->Label1->text(), QStringLiteral("青 穹 阁 信 息 查 询 系 统 1.0"));
        QCOMPARE(f->Label2->text(), QStringLiteral("国 内 测 试 版"));
        QVERIFY(f->Label1->font().bold());
        // The title above the subtitle, the link beside it; the title larger than the buttons'
        // text.
        QVERIFY(f->Label1->geometry().bottom() <= f->Label2->y());
        QVERIFY(f->Label3->x() > f->Label2->geometry().right());
        QVERIFY(QFontInfo(f->Label1->font()).pixelSize() > QFontInfo(f->Button1->font()).pixelSize());
        // Labels show their whole text inside the group box.
        for (QLabel *l : {f->Label1, f->Label2, f->Label3}) {
            QVERIFY(l->width() >= l->sizeHint().width());
            QVERIFY2(l->geometry().right() < f->GroupBox2->width(), qPrintable(l->text()));
        }
        QCOMPARE(f->Label3->cursor().shape(), Qt::PointingHandCursor);
    }

    // The families the layouts name resolve to fonts of packages that the set-up script
    // installs: the layout above is measured with them.
    void fontsFromInstalledPackages_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<QString>("resolved");
        QTest::addColumn<QString>("package");
        QTest::newRow("Latin") << QStringLiteral("MS Sans Serif") << QStringLiteral("Liberation Sans")
                               << QStringLiteral("fonts-liberation2");
        QTest::newRow("Chinese") << QStringLiteral("宋体") << QStringLiteral("WenQuanYi Micro Hei")
                                 << QStringLiteral("fonts-wqy-microhei");
    }
    void fontsFromInstalledPackages()
    {
        QFETCH(QString, family);
        QFETCH(QString, resolved);
        QFETCH(QString, package);
        QFile script(QStringLiteral(LSS_SOURCE_DIR "/scripts/install-deps"));
        QVERIFY(script.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(script.readAll());
        QVERIFY2(text.contains(QRegularExpression(QStringLiteral("\\s%1\\s").arg(QRegularExpression::escape(package)))),
                 qPrintable(QStringLiteral("scripts/install-deps does not install %1").arg(package)));
        QFont font(family);
        font.setPixelSize(11);
        const QString actual = QFontInfo(font).family();
        QVERIFY2(actual == resolved,
                 qPrintable(QStringLiteral("\"%1\" resolves to \"%2\", not \"%3\": install the package %4 "
                                           "(scripts/install-deps)")
                                .arg(family, actual, resolved, package)));
    }

    void popupMenuEntries()
    {
        TF_one *f = launcher();
        QCOMPARE(f->PopupMenu1->actions(), (QList<QAction *>{f->N1, f->N6, f->N5, f->N4, f->N7, f->N3, f->N2}));
        QStringList texts;
        for (QAction *a : f->PopupMenu1->actions())
            texts.append(a->text());
        QCOMPARE(texts,
                 (QStringList{"显示窗体", "用户登陆", "用户注册", "在线律师", "关于我们", "更多信息", "退出程序"}));
        QCOMPARE(f->ImageList1->Count(), 1);
        QCOMPARE(f->ImageList1->Width(), 16);
    }

    void webCommands()
    {
        TF_one *f = launcher();
        RecordingShell shell;
        Shell::setInstance(&shell);
        QTest::mouseClick(f->Button9, Qt::LeftButton);
        QTest::mouseClick(f->Button10, Qt::LeftButton);
        f->N6->trigger();
        f->N5->trigger();
        f->N4->trigger();
        f->N3->trigger();
        const QStringList expected{
            kSite + "/quillhall/findlawyer/findlawyerdl_zx_list.jsp",
            kSite + "/quillhall/reg/register.jsp",
            kSite + "/quillhall/reg/login.jsp",
            kSite + "/quillhall/reg/register.jsp",
            kSite + "/quillhall/findlawyer/findlawyerdl_zx_list.jsp",
            kSite + "/",
        };
        QCOMPARE(shell.calls.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(shell.calls[i].file, expected[i]);
            QCOMPARE(shell.calls[i].verb, QStringLiteral("open"));
            QCOMPARE(shell.calls[i].show, 7);
        }

        // The link shows the address without a trailing "/" and opens exactly that text.
        shell.calls.clear();
        QCOMPARE(f->Label3->text(), kSite);
        QTest::mouseClick(f->Label3, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(shell.calls.size(), 1);
        QCOMPARE(shell.calls[0].file, kSite);
        QCOMPARE(shell.calls[0].verb, QString());
        QCOMPARE(shell.calls[0].show, 1);
    }

    void bareHostsOpenAsHttp()
    {
        QCOMPARE(Shell::toUrlText(QStringLiteral("www.example.com")), QStringLiteral("http://www.example.com"));
        QCOMPARE(Shell::toUrlText(QStringLiteral("www.example.com/a b")), QStringLiteral("http://www.example.com/a b"));
        QCOMPARE(Shell::toUrlText(QStringLiteral("https://x.example/")), QStringLiteral("https://x.example/"));
        QCOMPARE(Shell::toUrlText(QString()), QString());
    }

    // Red over the link; still red over a group box; blue again over the bare window surface.
    void linkColour()
    {
        TF_one *f = launcher();
        QCOMPARE(labelColour(f->Label3), QColor(0, 0, 255));
        QTest::mouseMove(f->Label3, QPoint(3, 3));
        QTRY_COMPARE(labelColour(f->Label3), QColor(255, 0, 0));
        QTest::mouseMove(f->GroupBox1, QPoint(10, 10));
        QTest::mouseMove(f, QPoint(300, 60));
        QCoreApplication::processEvents();
        QCOMPARE(labelColour(f->Label3), QColor(255, 0, 0));
        QTest::mouseMove(f, QPoint(300, 114)); // the strip between the first two boxes
        QTRY_COMPARE(labelColour(f->Label3), QColor(0, 0, 255));
    }

    void noDataButtons()
    {
        TF_one *f = launcher();
        const int windows = QApplication::topLevelWidgets().size();
        for (QPushButton *b : {f->Button7, f->Button8}) {
            BoxCloser closer;
            QTest::mouseClick(b, Qt::LeftButton);
            QCOMPARE(closer.boxes.size(), 1);
            QCOMPARE(closer.boxes[0].text, QStringLiteral("暂时没有信息"));
            QCOMPARE(closer.boxes[0].caption, QStringLiteral("Confirm"));
            QCOMPARE(closer.boxes[0].icon, QMessageBox::Question);
            QCOMPARE(closer.boxes[0].buttons, QStringList{"OK"});
            QVERIFY(b->isEnabled());
        }
        flushDeletes();
        QCOMPARE(QApplication::topLevelWidgets().size(), windows);
    }

    void queryButtons()
    {
        TF_one *f = launcher();
        const struct
        {
            QPushButton *button;
            std::function<QueryForm *()> pointer;
            Query *query;
            DataSource *source;
            const char *className;
        } commands[] = {
            {f->Button1, [] { return static_cast<QueryForm *>(F_Lawyer); }, DM->AQ_lawyer, DM->DS_lawyer, "TF_Lawyer"},
            {f->Button2, [] { return static_cast<QueryForm *>(F_HKlawyer); }, DM->AQ_HKlawyer, DM->DS_HKlawyer,
             "TF_HKlawyer"},
            {f->Button3, [] { return static_cast<QueryForm *>(F_TwLawyer); }, DM->AQ_TWlawyer, DM->DS_TWlawyer,
             "TF_TwLawyer"},
            {f->Button4, [] { return static_cast<QueryForm *>(F_Mclawyer); }, DM->AQ_MClawyer, DM->DS_MClawyer,
             "TF_Mclawyer"},
            {f->Button5, [] { return static_cast<QueryForm *>(F_lawRoom); }, DM->AQ_lawRoom, DM->DS_lawRoom,
             "TF_lawRoom"},
            {f->Button6, [] { return static_cast<QueryForm *>(F_HKlawRoom); }, DM->AQ_HKlawRoom, DM->DS_HKlawRoom,
             "TF_HKlawRoom"},
        };
        for (const auto &c : commands) {
            c.source->setEnabled(false);
            QWidget *before = c.pointer();
            QTest::mouseClick(c.button, Qt::LeftButton);
            QPointer<QueryForm> w = c.pointer();
            QVERIFY2(w && w != before, c.className);
            QCOMPARE(w->metaObject()->className(), c.className);
            // The window works on the data module's query and data source of its kind.
            QCOMPARE(w->query(), c.query);
            QCOMPARE(w->dataSource(), c.source);
            QVERIFY(w->isVisible());
            QVERIFY(!w->isModal());
            QVERIFY(Application::instance()->owned().contains(w.data()));
            QVERIFY(c.source->Enabled());
            QVERIFY(!c.button->isEnabled());
            w->close();
            QVERIFY2(c.button->isEnabled(), c.className);
            flushDeletes();
            QVERIFY2(w.isNull(), c.className);
            QVERIFY(c.pointer() == nullptr); // cleared with its window, never left dangling
        }
    }

    // Enter on a focused button presses it, as Space does.
    void enterPressesFocusedButton()
    {
        TF_one *f = launcher();
        RecordingShell shell;
        Shell::setInstance(&shell);
        f->Button9->setFocus();
        pressKey(f, Qt::Key_Return);
        QCOMPARE(shell.calls.size(), 1);
        {
            BoxCloser closer;
            f->Button7->setFocus();
            pressKey(f, Qt::Key_Enter, Qt::KeypadModifier);
            QCOMPARE(closer.boxes.size(), 1);
        }
        f->Button1->setFocus();
        pressKey(f, Qt::Key_Return);
        QPointer<QWidget> w = F_Lawyer;
        QVERIFY(w && w->isVisible() && !f->Button1->isEnabled());
        w->close();
        flushDeletes();
        QVERIFY(f->Button1->isEnabled());
    }

    void disclaimerWindow()
    {
        TF_one *f = launcher();
        QTest::mouseClick(f->Button11, Qt::LeftButton);
        QPointer<TF_Mzsm> w = F_Mzsm;
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QVERIFY(!w->isModal());
        QVERIFY(!f->Button11->isEnabled());
        QVERIFY(Application::instance()->owned().contains(w.data()));
        QCOMPARE(w->windowTitle(), QStringLiteral("免责声明"));
        // The text starts at the window's top left corner, in view.
        QVERIFY(w->rect().contains(w->Memo1->geometry().topLeft()));
        QVERIFY(w->Memo1->viewport()->isVisible());
        QCOMPARE(w->Memo1->toPlainText().split(QLatin1Char('\n')), disclaimerLines());
        QVERIFY(!w->Memo1->isReadOnly());

        // Typed text lives only as long as the window.
        QTest::keyClicks(w->Memo1, QStringLiteral("abc"));
        QVERIFY(w->Memo1->toPlainText().contains(QStringLiteral("abc")));
        w->close();
        QVERIFY(f->Button11->isEnabled());
        flushDeletes();
        QVERIFY(w.isNull());
        QVERIFY(F_Mzsm == nullptr); // cleared with its window, never left dangling

        QTest::mouseClick(f->Button11, Qt::LeftButton);
        QCOMPARE(F_Mzsm->Memo1->toPlainText().split(QLatin1Char('\n')), disclaimerLines());
        F_Mzsm->close();
    }

    void aboutWindows()
    {
        TF_one *f = launcher();
        QTest::mouseClick(f->Button12, Qt::LeftButton);
        QPointer<TF_About> first = F_About;
        QVERIFY(first && first->isVisible());
        QVERIFY(!f->Button12->isEnabled());
        QCOMPARE(first->windowTitle(), QStringLiteral("关于我们"));
        QCOMPARE(first->Label10->text(), QStringLiteral("传        真："));
        QCOMPARE(first->Label4->text(), QStringLiteral("版        本："));
        QCOMPARE(first->Label5->text(), QStringLiteral("1.0"));
        // Each value beside its caption, on its line, and whole.
        QVERIFY(qAbs(first->Label5->geometry().center().y() - first->Label4->geometry().center().y()) <= 2);
        QVERIFY(first->Label5->x() > first->Label4->geometry().right());
        for (QLabel *l : first->findChildren<QLabel *>())
            QVERIFY2(first->rect().contains(l->geometry()) && l->width() >= l->sizeHint().width(),
                     qPrintable(l->text()));
        QCOMPARE(first->Label2->text(), QStringLiteral("青穹阁"));
        QCOMPARE(first->Label9->text(), QString::fromUtf8(LSS_COMPANY_TEST));

        // The menu entry is never disabled: each choice opens one more window.
        f->N7->trigger();
        QPointer<TF_About> second = F_About;
        f->N7->trigger();
        QPointer<TF_About> third = F_About;
        QVERIFY(second && third && second != first && third != second);
        QVERIFY(f->N7->isEnabled());

        first->close();
        QVERIFY(f->Button12->isEnabled()); // although two are still open
        flushDeletes();
        QVERIFY(first.isNull());
        QVERIFY(second && third);
        QCOMPARE(F_About, third.data());
        second->close();
        third->close();
        flushDeletes();
        QVERIFY(second.isNull() && third.isNull());
    }

    void showWindowEntry()
    {
        TF_one *f = launcher();
        f->hide();
        f->N1->trigger();
        QVERIFY(f->isVisible());

        // Minimized to the tray, then brought back from its menu.
        f->showMinimized();
        f->hide();
        f->N1->trigger();
        QVERIFY(f->isVisible());
        QVERIFY(!(f->windowState() & Qt::WindowMinimized));
    }

    // "退出程序" with other windows open ends the program; their close handlers do not run.
    void exitEntryEndsProgramWithWindowsOpen()
    {
        auto *app = Application::instance();
        app->destroyOwned();
        QPointer<TF_one> launcherWindow;
        bool button12EnabledWhenAboutDestroyed = true;
        QPointer<QWidget> about;
        BoxCloser closer;
        const int rc = app->Execute([&] {
            // A fresh data module and launcher as the main window, like start-up.
            app->CreateForm(DM);
            app->CreateForm(F_one);
            launcherWindow = F_one;
            QTimer::singleShot(0, app, [&] {
                F_one->Button12Click();
                about = F_About;
                connect(F_About, &QObject::destroyed, app, [&] {
                    button12EnabledWhenAboutDestroyed = launcherWindow && launcherWindow->Button12->isEnabled();
                });
                F_one->N2->trigger();
            });
        });
        QCOMPARE(rc, 0);
        QVERIFY(launcherWindow.isNull());
        QVERIFY(about.isNull());
        QVERIFY(!button12EnabledWhenAboutDestroyed);
    }
};

LSS_TEST_MAIN(TestLauncher)
#include "test_launcher.moc"
