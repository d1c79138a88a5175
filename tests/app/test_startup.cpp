// The program as a whole, run as a child process: what start-up builds, in which order, what
// it shows, and its exit code.

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
struct Run
{
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QStringList boxes;
    QString run;
};

// Runs a copy of the program from dir with boxes answered at once and the loop ended as soon as
// it would start.
Run runProgram(const QString &dir)
{
    const QString exe = dir + QStringLiteral("/lss");
    QFile::remove(exe);
    if (!QFile::copy(QStringLiteral(LSS_BUILD_DIR "/lss"), exe))
        qFatal("cannot copy the program");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LSS_TEST_AUTOCLOSE_BOXES"), QStringLiteral("1"));
    env.insert(QStringLiteral("LSS_TEST_QUIT_ON_RUN"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir);
    p.start(exe, {});
    p.waitForFinished(-1);
    Run r;
    r.exitCode = p.exitCode();
    r.status = p.exitStatus();
    const QStringList lines = QString::fromUtf8(p.readAllStandardError()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(QStringLiteral("BOX ")))
            r.boxes.append(line.mid(4));
        else if (line.startsWith(QStringLiteral("RUN ")))
            r.run = line.mid(4);
    }
    return r;
}
} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    // With the directory beside the program: the data module, then the launcher, which is shown
    // as the main window; nothing to report; exit code 0.
    void normalStartUp()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess gen;
        gen.start(QStringLiteral(LSSDB_PATH),
                  {QStringLiteral("generate"), dir.filePath(QStringLiteral("lss.dll")),
                   QStringLiteral("--lawyers"), QStringLiteral("20"), QStringLiteral("--seed"),
                   QStringLiteral("1")});
        gen.waitForFinished(-1);
        QCOMPARE(gen.exitCode(), 0);
        const Run r = runProgram(dir.path());
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.boxes, QStringList());
        QCOMPARE(r.run, QStringLiteral("owned=TDM,TF_one main=TF_one visible=1"));
    }

    // Without the directory: one error box captioned with the title, then the launcher anyway.
    void missingDirectoryShowsErrorThenLauncher()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const Run r = runProgram(dir.path());
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
