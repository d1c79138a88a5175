// The application object: error box text, exceptions in handlers, the entry point's handler,
// ending the loop, and the order in which owned objects are destroyed.

#include "TestMain.h"
#include "base/Exception.h"
#include "platform/Dialogs.h"
#include "support/BoxCloser.h"
#include "support/ModalGuard.h"

#include <QCloseEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>

namespace {
QStringList g_events;

class Window : public QWidget
{
public:
    explicit Window(QString name = QStringLiteral("window")) : m_name(std::move(name)) {}
    ~Window() override { g_events.append(QStringLiteral("destroy ") + m_name); }
    void closeEvent(QCloseEvent *e) override
    {
        g_events.append(QStringLiteral("close ") + m_name);
        QWidget::closeEvent(e);
    }

private:
    QString m_name;
};

class Module : public QObject
{
public:
    ~Module() override { g_events.append(QStringLiteral("destroy module")); }
};

class ThrowingWindow : public QWidget
{
public:
    ThrowingWindow() { throw Exception(QStringLiteral("layout cannot be loaded")); }
};

// A dialog that, like the query windows, ignores Escape.
class StubbornDialog : public QDialog
{
public:
    void reject() override {}
};

// Shows w modal and returns once it is hidden, by whoever hides it.
void showModalUntilHidden(QWidget *w)
{
    struct HideWatch : QObject
    {
        QEventLoop loop;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Hide)
                loop.quit();
            return false;
        }
    } watch;
    w->installEventFilter(&watch);
    w->setWindowModality(Qt::ApplicationModal);
    w->show();
    watch.loop.exec();
    w->removeEventFilter(&watch);
}

void addLabel(QWidget *w, const QString &text)
{
    auto *layout = new QVBoxLayout(w);
    layout->addWidget(new QLabel(text, w));
}
} // namespace

class TestApplication : public QObject
{
    Q_OBJECT
private slots:
    void init() { g_events.clear(); }

    void errorTextFullStop_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Database not found"
                                << "Database not found.";
        QTest::newRow("full stop") << "Done."
                                   << "Done.";
        QTest::newRow("exclamation sorts before") << "Stop!"
                                                  << "Stop!";
        QTest::newRow("hyphen sorts before") << "a-"
                                             << "a-";
        QTest::newRow("slash sorts after") << "C:/"
                                           << "C:/.";
        QTest::newRow("chinese") << QStringLiteral("找不到文件") << QStringLiteral("找不到文件.");
        QTest::newRow("empty") << ""
                               << "";
    }
    void errorTextFullStop()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(::errorBoxText(message), shown);
    }

    void boxesHaveTheirCaptionsAndButtons()
    {
        BoxCloser closer;
        ShowErrorBox(QStringLiteral("Boom"));
        ShowMessage(QStringLiteral("hello"));
        ConfirmDialog(QStringLiteral("暂时没有信息"));
        QCOMPARE(closer.boxes.size(), 3);
        const QString title = QStringLiteral("青穹阁信息查询系统V1.0");
        QCOMPARE(closer.boxes[0].caption, title);
        QCOMPARE(closer.boxes[0].text, QStringLiteral("Boom."));
        QCOMPARE(closer.boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(closer.boxes[0].buttons, QStringList{"OK"});
        QCOMPARE(closer.boxes[1].caption, title);
        QCOMPARE(closer.boxes[1].icon, QMessageBox::NoIcon);
        QCOMPARE(closer.boxes[1].buttons, QStringList{"OK"});
        QCOMPARE(closer.boxes[2].caption, QStringLiteral("Confirm"));
        QCOMPARE(closer.boxes[2].icon, QMessageBox::Question);
        QCOMPARE(closer.boxes[2].buttons, QStringList{"OK"});
    }

    // Qt's own texts are Chinese whatever the desktop's language: an edit box's context menu,
    // the standard buttons of boxes, the file dialog. A text passes when, without its mnemonic
    // "(&X)" and its shortcut after a tab, it holds no Latin letter.
    void qtTextsAreChinese()
    {
        auto english = [](const QStringList &texts) {
            static const QRegularExpression mnemonic(QStringLiteral("\\(&.\\)|\\t.*$|&"));
            QStringList found;
            for (QString t : texts)
                if (t.remove(mnemonic).contains(QRegularExpression(QStringLiteral("[A-Za-z]"))))
                    found << t;
            return found;
        };
        QLineEdit edit;
        edit.setText(QStringLiteral("文字"));
        std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList texts;
        for (QAction *a : menu->actions())
            if (!a->isSeparator())
                texts << a->text();
        QVERIFY(texts.size() >= 6);
        QCOMPARE(english(texts), QStringList());

        QMessageBox box;
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Save | QMessageBox::Yes
                               | QMessageBox::No | QMessageBox::Close);
        texts.clear();
        for (QAbstractButton *b : box.buttons())
            texts << b->text();
        QCOMPARE(texts.size(), 6);
        QCOMPARE(english(texts), QStringList());

        QFileDialog dialog(nullptr, QStringLiteral("另存为"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        texts.clear();
        for (QLabel *l : dialog.findChildren<QLabel *>())
            texts << l->text();
        for (QAbstractButton *b : dialog.findChildren<QPushButton *>())
            texts << b->text();
        QVERIFY(texts.size() >= 5);
        QCOMPARE(english(texts), QStringList());
    }

    // An exception escaping an event handler is shown and the program goes on handling events.
    void exceptionInHandlerIsShownAndLoopGoesOn()
    {
        BoxCloser closer;
        bool after = false;
        QTimer::singleShot(0, this, [] { throw Exception(QStringLiteral("no such table")); });
        QTimer::singleShot(0, this, [] { throw 42; });
        QTimer::singleShot(1, this, [&after] { after = true; });
        QTRY_VERIFY(after);
        QCOMPARE(closer.boxes.size(), 2);
        // The second handler may run while the first box is up, so the order is open.
        QStringList texts{closer.boxes[0].text, closer.boxes[1].text};
        texts.sort();
        QCOMPARE(texts, (QStringList{QString(), QStringLiteral("no such table.")}));
        QCOMPARE(closer.boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(closer.boxes[1].icon, QMessageBox::Critical);
    }

    // Start-up fails after a window was made: one box, the window never shown, exit code 0,
    // and the window is still destroyed.
    void failingStartUpShowsOneBoxAndNoWindow()
    {
        auto *app = Application::instance();
        BoxCloser closer;
        Window *main = nullptr;
        QPointer<QWidget> watch;
        const int rc = app->Execute([&] {
            app->CreateForm(main);
            watch = main;
            throw Exception(QStringLiteral("The notification area refused the icon"));
        });
        QCOMPARE(rc, 0);
        QCOMPARE(closer.boxes.size(), 1);
        QCOMPARE(closer.boxes[0].text, QStringLiteral("The notification area refused the icon."));
        QVERIFY(watch.isNull());
        QCOMPARE(g_events, QStringList{"destroy window"});
        QVERIFY(app->owned().isEmpty());
    }

    void failingWindowConstructionLeavesPointerUnset()
    {
        auto *app = Application::instance();
        BoxCloser closer;
        ThrowingWindow *w = nullptr;
        const int rc = app->Execute([&] { app->CreateForm(w); });
        QCOMPARE(rc, 0);
        QVERIFY(w == nullptr);
        QCOMPARE(closer.boxes.size(), 1);
        QCOMPARE(closer.boxes[0].text, QStringLiteral("layout cannot be loaded."));
    }

    void nonSystemExceptionShowsEmptyBox()
    {
        BoxCloser closer;
        const int rc = Application::instance()->Execute([] { throw std::runtime_error("x"); });
        QCOMPARE(rc, 0);
        QCOMPARE(closer.boxes.size(), 1);
        QCOMPARE(closer.boxes[0].text, QString());
    }

    // The update check asks to end while the launcher is being created: the loop ends as soon as
    // it starts, also when a box has run its own loop in between.
    void terminateBeforeTheLoopEndsItAtOnce()
    {
        auto *app = Application::instance();
        BoxCloser closer;
        Window *main = nullptr;
        bool shownWhenRunning = false;
        const int rc = app->Execute([&] {
            app->CreateForm(main);
            app->Terminate();
            ShowMessage(QStringLiteral("a newer version"));
            QTimer::singleShot(0, app, [&] { shownWhenRunning = true; });
        });
        QCOMPARE(rc, 0);
        QCOMPARE(closer.boxes.size(), 1);
        QVERIFY(!shownWhenRunning);
        QCOMPARE(g_events, QStringList{"destroy window"});
        QCoreApplication::processEvents(); // drop the stale request before the next case
    }

    // Ending the program with windows open destroys them newest first and the module last,
    // without running their close handlers; a window freed earlier has left the list.
    // A modal box that nobody answers is closed after the grace period and reported with its
    // text; one closed within the grace is not reported.
    void unexpectedModalBoxIsClosedAndNamed_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("text");
        const QString title = QStringLiteral("青穹阁信息查询系统V1.0");
        QTest::newRow("message box") << "message"
                                     << "QMessageBox" << title << QStringLiteral("意外的提示");
        QTest::newRow("file dialog") << "files"
                                     << "QFileDialog" << QStringLiteral("另存为") << QDir::tempPath();
        QTest::newRow("dialog ignoring Escape") << "stubborn"
                                                << "QDialog" << QStringLiteral("窗口") << QStringLiteral("等待中");
        QTest::newRow("modal widget") << "widget"
                                      << "QWidget" << QStringLiteral("面板") << QStringLiteral("请稍候");
        QTest::newRow("closed by the test in time") << "closed in time" << QString() << QString() << QString();
    }
    void unexpectedModalBoxIsClosedAndNamed()
    {
        QFETCH(QString, kind);
        QFETCH(QString, className);
        QFETCH(QString, caption);
        QFETCH(QString, text);
        QVERIFY(ModalGuard::instance());
        ModalGuard::Recording recording;
        if (kind == QLatin1String("message")) {
            ShowMessage(text);
        } else if (kind == QLatin1String("files")) {
            QFileDialog dialog(nullptr, caption, text);
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            dialog.exec();
        } else if (kind == QLatin1String("stubborn")) {
            StubbornDialog dialog;
            dialog.setWindowTitle(caption);
            addLabel(&dialog, text);
            dialog.exec();
        } else if (kind == QLatin1String("widget")) {
            QWidget panel;
            panel.setWindowTitle(caption);
            addLabel(&panel, text);
            showModalUntilHidden(&panel);
        } else {
            // Closed well inside the grace period, counted from when the box is up.
            QElapsedTimer up;
            QTimer closer;
            closer.setInterval(20);
            connect(&closer, &QTimer::timeout, this, [&up] {
                QWidget *w = QApplication::activeModalWidget();
                if (!w)
                    return;
                if (!up.isValid())
                    up.start();
                else if (up.elapsed() >= ModalGuard::kGraceMs / 3)
                    w->close();
            });
            closer.start();
            ShowMessage(QStringLiteral("很快关闭"));
        }
        QVERIFY(!QApplication::activeModalWidget());
        if (className.isEmpty()) {
            QCOMPARE(recording.reports.size(), 0);
            return;
        }
        QCOMPARE(recording.reports.size(), 1);
        QCOMPARE(recording.reports[0].className, className);
        QCOMPARE(recording.reports[0].caption, caption);
        QCOMPARE(recording.reports[0].text, text);
    }

    // Without a recording the guard fails the test function that showed the box, naming the text,
    // and the suite goes on to its end. Run in a child process, as the function below.
    void unexpectedBoxFailsTheRunningTest()
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LSS_SHOW_UNEXPECTED_BOX"), QStringLiteral("1"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("showsUnexpectedBox"), QStringLiteral("errorTextFullStop")});
        QVERIFY(child.waitForFinished(-1));
        const QString out = QString::fromUtf8(child.readAllStandardOutput());
        QCOMPARE(child.exitCode(), 1); // the number of failed functions
        // The failure names the box's text, and the next function still runs.
        const QString failure = QStringLiteral("FAIL!  : TestApplication::showsUnexpectedBox() ");
        QVERIFY2(out.contains(failure), qPrintable(out));
        QVERIFY2(out.section(failure, 1).section(QLatin1Char('\n'), 0, 0).contains(QStringLiteral("没有人回答的提示")),
                 qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("PASS   : TestApplication::errorTextFullStop(empty)")), qPrintable(out));
    }
    void showsUnexpectedBox()
    {
        if (!qEnvironmentVariableIsSet("LSS_SHOW_UNEXPECTED_BOX"))
            QSKIP("shown only in the child process of unexpectedBoxFailsTheRunningTest");
        ShowMessage(QStringLiteral("没有人回答的提示"));
    }

    void shutDownOrder()
    {
        auto *app = Application::instance();
        Module *module = nullptr;
        Window *main = nullptr;
        const int rc = app->Execute([&] {
            app->CreateForm(module);
            main = new Window(QStringLiteral("main"));
            app->adopt(main);
            main->show();
            for (const char *name : {"first", "freed", "third"}) {
                auto *w = new Window(QString::fromLatin1(name));
                app->adopt(w);
                w->show();
            }
            QTimer::singleShot(0, app, [app] {
                auto *freed = app->owned().at(3);
                static_cast<QWidget *>(freed)->close();
                freed->deleteLater();
                QTimer::singleShot(0, app, [app] { app->Terminate(); });
            });
        });
        QCOMPARE(rc, 0);
        QCOMPARE(g_events, (QStringList{"close freed", "destroy freed", "destroy third", "destroy first",
                                        "destroy main", "destroy module"}));
        QVERIFY(app->owned().isEmpty());
    }
};

LSS_TEST_MAIN(TestApplication)
#include "test_application.moc"
