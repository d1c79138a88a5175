// The built program run as a child process against a version file served by this test.
#include "HttpTestServer.h"

#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
struct Run
{
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QStringList boxes;
    QStringList shell;
    QString run;
};
} // namespace

class TestUpdateProgram : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void newerVersionEndsTheProgram();
    void sameVersionShowsTheLauncher();

private:
    Run runProgram(const QByteArray &published);
    QTemporaryDir m_dir;
};

void TestUpdateProgram::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QProcess gen;
    gen.start(QStringLiteral(LSSDB_PATH),
              {QStringLiteral("generate"), m_dir.filePath(QStringLiteral("lss.dll")),
               QStringLiteral("--lawyers"), QStringLiteral("20"), QStringLiteral("--seed"), QStringLiteral("1")});
    gen.waitForFinished(-1);
    QCOMPARE(gen.exitCode(), 0);
    const QString exe = m_dir.filePath(QStringLiteral("lss"));
    QVERIFY(QFile::copy(QStringLiteral(LSS_BUILD_DIR "/lss"), exe));
    QFile local(m_dir.filePath(QStringLiteral("lawconfig.ini")));
    QVERIFY(local.open(QIODevice::WriteOnly));
    local.write("[Version]\r\nVer=3\r\n");
}

Run TestUpdateProgram::runProgram(const QByteArray &published)
{
    HttpTestServer server;
    int served = 0;
    server.setHandler([&](QTcpSocket *s, const QByteArray &path) {
        if (path == "/quillhall/updata/lawconfig.ini") {
            ++served;
            HttpTestServer::reply(s, 200, published);
        } else {
            HttpTestServer::reply(s, 404, "no");
        }
    });

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LSS_SITE_BASE"), server.base());
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("LSS_TEST_AUTOCLOSE_BOXES"), QStringLiteral("1"));
    env.insert(QStringLiteral("LSS_TEST_SHELL_LOG"), QStringLiteral("1"));
    // Reports the launcher and ends the loop at once, should the program get that far.
    env.insert(QStringLiteral("LSS_TEST_QUIT_ON_RUN"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(m_dir.path());

    // The server lives in this process: wait in an event loop, not in waitForFinished().
    QEventLoop loop;
    connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    p.start(m_dir.filePath(QStringLiteral("lss")), {});
    loop.exec();

    Run r;
    r.exitCode = p.exitCode();
    r.status = p.exitStatus();
    const QString err = QString::fromUtf8(p.readAllStandardError());
    for (const QString &line : err.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("BOX ")))
            r.boxes << line.mid(4);
        else if (line.startsWith(QStringLiteral("SHELL ")))
            r.shell << line.mid(6);
        else if (line.startsWith(QStringLiteral("RUN ")))
            r.run = line.mid(4);
    }
    if (served != 1)
        qWarning("version file served %d times\n%s", served, qPrintable(err));
    return r;
}

void TestUpdateProgram::newerVersionEndsTheProgram()
{
    const Run r = runProgram("[Version]\r\nVer=4\r\nurl=http://download.test/lss.zip\r\n");
    QCOMPARE(r.status, QProcess::NormalExit);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.boxes, QStringList{QStringLiteral(
                          "[青穹阁信息查询系统V1.0] [青穹阁信息查询系统有新版本，请下载!] icon=0")});
    QCOMPARE(r.shell, QStringList{QStringLiteral("[open] [http://download.test/lss.zip] show=5")});
    // The loop never ran for the user.
    QCOMPARE(r.run, QString());
    QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("cache/lss/lawconfig.ini"))));
}

void TestUpdateProgram::sameVersionShowsTheLauncher()
{
    const Run r = runProgram("[Version]\r\nVer=3\r\nurl=http://download.test/lss.zip\r\n");
    QCOMPARE(r.status, QProcess::NormalExit);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.boxes, QStringList());
    QCOMPARE(r.shell, QStringList());
    QCOMPARE(r.run, QStringLiteral("owned=TDM,TF_one main=TF_one visible=1"));
}

QTEST_GUILESS_MAIN(TestUpdateProgram)
#include "test_update_program.moc"
