// The built program run as a child process against a version file served by this test.
#include "HttpTestServer.h"

#include "support/ProgramRun.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestUpdateProgram : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void newerVersionEndsTheProgram_data();
    void newerVersionEndsTheProgram();
    void sameVersionShowsTheLauncher();

private:
    ProgramRun runPublished(const QByteArray &published);
    QTemporaryDir m_dir;
};

void TestUpdateProgram::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(!installProgram(m_dir.path(), true).isEmpty());
    QFile local(m_dir.filePath(QStringLiteral("lawconfig.ini")));
    QVERIFY(local.open(QIODevice::WriteOnly));
    local.write("[Version]\r\nVer=3\r\n");
}

ProgramRun TestUpdateProgram::runPublished(const QByteArray &published)
{
    HttpTestServer server;
    std::atomic<int> served{0};
    server.setHandler([&](QTcpSocket *s, const QByteArray &path) {
        if (path == "/quillhall/updata/lawconfig.ini") {
            ++served;
            HttpTestServer::reply(s, 200, published);
        } else {
            HttpTestServer::reply(s, 404, "no");
        }
    });

    QProcessEnvironment env;
    env.insert(QStringLiteral("LSS_SITE_BASE"), server.base());
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.filePath(QStringLiteral("cache")));
    const ProgramRun r = runProgram(m_dir.filePath(QStringLiteral("lss")), m_dir.path(), env);
    if (served != 1)
        qWarning("version file served %d times\n%s", served.load(), qPrintable(r.stderrText));
    return r;
}

void TestUpdateProgram::newerVersionEndsTheProgram_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QString>("opened");
    QTest::newRow("http") << QByteArray("http://download.test/lss.zip")
                          << QStringLiteral("http://download.test/lss.zip");
    QTest::newRow("https") << QByteArray("https://download.test/lss.deb")
                           << QStringLiteral("https://download.test/lss.deb");
    // The file comes over plain http: an address for anything but the browser is not opened.
    QTest::newRow("local file") << QByteArray("file:///etc/passwd") << QString();
    QTest::newRow("share") << QByteArray("smb://host/share/lss.exe") << QString();
    QTest::newRow("script") << QByteArray("javascript:alert(1)") << QString();
    QTest::newRow("path") << QByteArray("/usr/bin/xterm") << QString();
}

void TestUpdateProgram::newerVersionEndsTheProgram()
{
    QFETCH(QByteArray, url);
    QFETCH(QString, opened);
    const ProgramRun r = runPublished("[Version]\r\nVer=4\r\nurl=" + url + "\r\n");
    QCOMPARE(r.status, QProcess::NormalExit);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.boxes,
             QStringList{QStringLiteral("[青穹阁信息查询系统V1.0] [青穹阁信息查询系统有新版本，请下载!] icon=0")});
    QCOMPARE(r.shell, opened.isEmpty() ? QStringList() : QStringList{QLatin1Char('[') + opened + QLatin1Char(']')});
    // The loop never ran for the user.
    QCOMPARE(r.run, QString());
    QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("cache/lss/lawconfig.ini"))));
}

void TestUpdateProgram::sameVersionShowsTheLauncher()
{
    const ProgramRun r = runPublished("[Version]\r\nVer=3\r\nurl=http://download.test/lss.zip\r\n");
    QCOMPARE(r.status, QProcess::NormalExit);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.boxes, QStringList());
    QCOMPARE(r.shell, QStringList());
    QCOMPARE(r.run, QStringLiteral("owned=TDM,TF_one main=TF_one visible=1"));
}

QTEST_GUILESS_MAIN(TestUpdateProgram)
#include "test_update_program.moc"
