// The program as a whole, run as a child process: what start-up builds, in which order, what
// it shows, and its exit code.

#include "support/ProgramRun.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Runs a copy of the program from dir.
ProgramRun runFrom(const QString &dir, bool withDatabase, const QProcessEnvironment &env = QProcessEnvironment())
{
    const QString exe = installProgram(dir, withDatabase);
    if (exe.isEmpty())
        qFatal("cannot lay out the program");
    return runProgram(exe, dir, env);
}
} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    // With the directory beside the program: the data module, then the launcher, which is shown
    // as the main window; nothing to report; exit code 0. The installation directory's name may
    // hold what a connection string uses for its own syntax.
    void normalStartUp_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QString();
        QTest::newRow("semicolon, blank and quotes") << QStringLiteral("a;b 'c\"");
    }
    void normalStartUp()
    {
        QFETCH(QString, name);
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        QDir dir(tmp.path());
        if (!name.isEmpty()) {
            QVERIFY(dir.mkdir(name));
            QVERIFY(dir.cd(name));
        }
        const ProgramRun r = runFrom(dir.path(), true);
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.boxes, QStringList());
        QCOMPARE(r.run, QStringLiteral("owned=TDM,TF_one main=TF_one visible=1"));
    }

    // Without the directory: one error box captioned with the title, then the launcher anyway.
    // Variables that once switched boxes, the shell and the loop off for tests change nothing.
    void missingDirectoryShowsErrorThenLauncher_data()
    {
        QTest::addColumn<bool>("switches");
        QTest::newRow("plain") << false;
        QTest::newRow("old test switches set") << true;
    }
    void missingDirectoryShowsErrorThenLauncher()
    {
        QFETCH(bool, switches);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcessEnvironment env;
        if (switches) {
            for (const char *name : {"LSS_TEST_AUTOCLOSE_BOXES", "LSS_TEST_SHELL_LOG", "LSS_TEST_QUIT_ON_RUN"})
                env.insert(QString::fromLatin1(name), QStringLiteral("1"));
        }
        const ProgramRun r = runFrom(dir.path(), false, env);
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.boxes.size(), 1);
        QVERIFY2(r.boxes[0].startsWith(QStringLiteral("[青穹阁信息查询系统V1.0] [")), qPrintable(r.boxes[0]));
        QVERIFY2(r.boxes[0].endsWith(QStringLiteral("icon=3")), qPrintable(r.boxes[0])); // critical
        QCOMPARE(r.run, QStringLiteral("owned=TDM,TF_one main=TF_one visible=1"));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"
