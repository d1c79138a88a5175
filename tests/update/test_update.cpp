// The download and the update check, against an HTTP server on 127.0.0.1 started by the test.
#include "HttpTestServer.h"
#include "TestMain.h"
#include "support/BoxCloser.h"
#include "support/PlatformReset.h"
#include "support/RecordingShell.h"

#include "launcher/One.h"
#include "launcher/UpdateCheck.h"
#include "platform/Download.h"
#include "platform/Shell.h"
#include "support/RecordingNotifyArea.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTimer>

namespace {

const QByteArray kPath = "/quillhall/updata/lawconfig.ini";
const QString kMessage = QStringLiteral("青穹阁信息查询系统有新版本，请下载!");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// What the check did, in order.
struct Recorder
{
    QStringList events;
    QStringList messages;
    QStringList opened;
    bool terminated = false;
};

} // namespace

class TestUpdate : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void downloadWritesWholeAnswer();
    void downloadFailures_data();
    void downloadFailures();
    void downloadLimits();

    void versions_data();
    void versions();
    void newVersionSteps();
    void failedDownloadReadsNothing();
    void urlLimit();
    void gbkFile();

    void startUpWiring();
    void trayClickWaitsForLauncher();

private:
    // Serves body (status 200) at the version file's path; everything else 404.
    void serve(const QByteArray &body, int status = 200);
    UpdateOutcome check(Recorder &rec, Downloader &dl, const QString &address);
    UpdateOutcome check(Recorder &rec);

    std::unique_ptr<HttpTestServer> m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_downloaded;
    QString m_local;
    QByteArray m_siteBase;
};

void TestUpdate::init()
{
    m_siteBase = qgetenv("LSS_SITE_BASE");
    m_server = std::make_unique<HttpTestServer>();
    m_dir = std::make_unique<QTemporaryDir>();
    m_downloaded = m_dir->filePath(QStringLiteral("cache/lawconfig.ini"));
    m_local = m_dir->filePath(QStringLiteral("lawconfig.ini"));
}

void TestUpdate::cleanup()
{
    delete F_one; // left by a case that failed half-way
    resetPlatform();
    // Back to the suite's closed local port, never the built-in site name.
    if (m_siteBase.isEmpty())
        qunsetenv("LSS_SITE_BASE");
    else
        qputenv("LSS_SITE_BASE", m_siteBase);
}

void TestUpdate::serve(const QByteArray &body, int status)
{
    m_server->setHandler([body, status](QTcpSocket *s, const QByteArray &path) {
        if (path == kPath)
            HttpTestServer::reply(s, status, body);
        else
            HttpTestServer::reply(s, 404, "not here");
    });
}

UpdateOutcome TestUpdate::check(Recorder &rec, Downloader &dl, const QString &address)
{
    UpdateCheckContext c;
    c.downloader = &dl;
    c.address = address;
    c.downloadedPath = m_downloaded;
    c.localPath = m_local;
    c.showMessage = [&rec](const QString &t) {
        rec.messages << t;
        rec.events << QStringLiteral("message");
    };
    c.openUrl = [&rec](const QString &u) {
        rec.opened << u;
        rec.events << QStringLiteral("open");
    };
    c.terminate = [&rec] {
        rec.terminated = true;
        rec.events << QStringLiteral("terminate");
    };
    return runUpdateCheck(c);
}

UpdateOutcome TestUpdate::check(Recorder &rec)
{
    NetworkDownloader dl;
    return check(rec, dl, m_server->base() + QString::fromLatin1(kPath));
}

void TestUpdate::downloadWritesWholeAnswer()
{
    QDir().mkpath(QFileInfo(m_downloaded).absolutePath());
    writeFile(m_downloaded, "old");
    serve("[Version]\r\nVer=3\r\n");
    NetworkDownloader dl;
    QVERIFY(dl.downloadToFile(m_server->base() + kPath, m_downloaded));
    QCOMPARE(readAll(m_downloaded), QByteArray("[Version]\r\nVer=3\r\n"));
    // Replaced in one step: no temporary file is left beside it.
    QCOMPARE(QDir(QFileInfo(m_downloaded).absolutePath()).entryList(QDir::Files),
             QStringList{QStringLiteral("lawconfig.ini")});

    // The target's folder is made when missing.
    const QString deeper = m_dir->filePath(QStringLiteral("a/b/lawconfig.ini"));
    QVERIFY(dl.downloadToFile(m_server->base() + kPath, deeper));
    QCOMPARE(readAll(deeper), QByteArray("[Version]\r\nVer=3\r\n"));
}

void TestUpdate::downloadFailures_data()
{
    QTest::addColumn<QString>("mode");
    for (const char *m : {"404", "304", "no server", "slow", "redirect loop", "six redirects", "huge with length",
                          "huge chunked", "truncated", "not http", "target not writable"})
        QTest::newRow(m) << QString::fromLatin1(m);
}

void TestUpdate::downloadFailures()
{
    QFETCH(QString, mode);
    QDir().mkpath(QFileInfo(m_downloaded).absolutePath());
    writeFile(m_downloaded, "old");
    QString address = m_server->base() + kPath;
    QString target = m_downloaded;
    const QByteArray ini = "[Version]\nVer=2\n";
    const QByteArray huge = ini + QByteArray(100 * 1024, 'x');

    m_server->setHandler([&](QTcpSocket *s, const QByteArray &path) {
        if (mode == "404")
            HttpTestServer::reply(s, 404, ini);
        else if (mode == "304")
            HttpTestServer::reply(s, 304, ini);
        else if (mode == "slow")
            ; // never answers
        else if (mode == "redirect loop")
            HttpTestServer::redirect(s, path == "/a" ? "/b" : "/a");
        else if (mode == "six redirects") {
            const int n = path.mid(1).toInt();
            if (n < 6)
                HttpTestServer::redirect(s, "/" + QByteArray::number(n + 1));
            else
                HttpTestServer::reply(s, 200, ini);
        } else if (mode == "huge with length")
            HttpTestServer::reply(s, 200, huge);
        else if (mode == "huge chunked")
            HttpTestServer::replyChunked(s, huge);
        else if (mode == "truncated")
            HttpTestServer::replyTruncated(s, ini);
        else
            HttpTestServer::reply(s, 200, ini);
    });
    if (mode == "no server") {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        address = QStringLiteral("http://127.0.0.1:%1/x").arg(closed.serverPort());
    } else if (mode == "six redirects") {
        address = m_server->base() + "/0";
    } else if (mode == "not http") {
        address = QUrl::fromLocalFile(m_local).toString();
        writeFile(m_local, ini);
    } else if (mode == "target not writable") {
        // A folder where a file would have to be.
        target = m_downloaded + QStringLiteral("/sub/lawconfig.ini");
    }

    NetworkDownloader dl(mode == "slow" ? 300 : NetworkDownloader::DefaultTimeoutMs);
    QElapsedTimer t;
    t.start();
    QVERIFY(!dl.downloadToFile(address, target));
    if (mode == "slow")
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(readAll(m_downloaded), QByteArray("old"));
}

void TestUpdate::downloadLimits()
{
    const QByteArray ini = "[Version]\nVer=2\n";
    m_server->setHandler([&](QTcpSocket *s, const QByteArray &path) {
        if (path.startsWith("/r")) {
            const int n = path.mid(2).toInt();
            if (n < 5)
                HttpTestServer::redirect(s, "/r" + QByteArray::number(n + 1));
            else
                HttpTestServer::reply(s, 200, ini);
        } else if (path == "/exact") {
            HttpTestServer::replyChunked(s, QByteArray(64 * 1024, 'y'));
        } else if (path == "/over") {
            HttpTestServer::replyChunked(s, QByteArray(64 * 1024 + 1, 'y'));
        } else if (path == "/201") {
            HttpTestServer::reply(s, 201, ini);
        }
    });
    NetworkDownloader dl;
    // Five redirects are followed.
    QVERIFY(dl.downloadToFile(m_server->base() + "/r0", m_downloaded));
    QCOMPARE(readAll(m_downloaded), ini);
    // 64 KiB is the largest body taken.
    QVERIFY(dl.downloadToFile(m_server->base() + "/exact", m_downloaded));
    QCOMPARE(readAll(m_downloaded).size(), 64 * 1024);
    QVERIFY(!dl.downloadToFile(m_server->base() + "/over", m_downloaded));
    // Any 2xx status.
    QVERIFY(dl.downloadToFile(m_server->base() + "/201", m_downloaded));
    QCOMPARE(readAll(m_downloaded), ini);
}

void TestUpdate::versions_data()
{
    QTest::addColumn<QByteArray>("remote");
    QTest::addColumn<QByteArray>("local"); // "<none>": no local file
    QTest::addColumn<bool>("newer");
    QTest::newRow("equal") << QByteArray("[Version]\nVer=3\nurl=http://d.test/\n") << QByteArray("[Version]\nVer=3\n")
                           << false;
    QTest::newRow("one greater") << QByteArray("[Version]\nVer=4\n") << QByteArray("[Version]\nVer=3\n") << true;
    QTest::newRow("older") << QByteArray("[Version]\nVer=2\n") << QByteArray("[Version]\nVer=3\n") << false;
    QTest::newRow("local 0x10, remote 16")
        << QByteArray("[Version]\nVer=16\n") << QByteArray("[Version]\nVer=0x10\n") << false;
    QTest::newRow("local 0x10, remote 17")
        << QByteArray("[Version]\nVer=17\n") << QByteArray("[Version]\nVer=0x10\n") << true;
    QTest::newRow("no local file, remote 1") << QByteArray("[Version]\nVer=1\n") << QByteArray("<none>") << false;
    QTest::newRow("no local file, remote 2") << QByteArray("[Version]\nVer=2\n") << QByteArray("<none>") << true;
    QTest::newRow("negative both") << QByteArray("[Version]\nVer=-5\n") << QByteArray("[Version]\nVer=-6\n") << true;
    QTest::newRow("negative remote") << QByteArray("[Version]\nVer=-1\n") << QByteArray("<none>") << false;
    QTest::newRow("signed comparison") << QByteArray("[Version]\nVer=0xFFFFFFFF\n") << QByteArray("[Version]\nVer=0\n")
                                       << false;
    QTest::newRow("error page") << QByteArray("<html><body>Server error</body></html>")
                                << QByteArray("[Version]\nVer=1\n") << false;
    QTest::newRow("error page, negative local")
        << QByteArray("<html>oops</html>") << QByteArray("[Version]\nVer=-1\n") << true;
}

void TestUpdate::versions()
{
    QFETCH(QByteArray, remote);
    QFETCH(QByteArray, local);
    QFETCH(bool, newer);
    if (local != "<none>")
        writeFile(m_local, local);
    serve(remote);
    Recorder rec;
    QCOMPARE(check(rec), newer ? UpdateOutcome::NewVersion : UpdateOutcome::UpToDate);
    QCOMPARE(rec.terminated, newer);
    QCOMPARE(rec.messages.size(), newer ? 1 : 0);
    QCOMPARE(rec.opened.size(), newer ? 1 : 0);
}

void TestUpdate::newVersionSteps()
{
    writeFile(m_local, "[Version]\r\nVer=1\r\n");
    serve("[version]\r\nver=2\r\nURL=http://download.test/lss\r\n");
    Recorder rec;
    QCOMPARE(check(rec), UpdateOutcome::NewVersion);
    QCOMPARE(rec.events, (QStringList{"message", "open", "terminate"}));
    QCOMPARE(rec.messages, QStringList{kMessage});
    QCOMPARE(rec.opened, QStringList{"http://download.test/lss"});

    // No url: the message and the end all the same; the shell gets an empty text.
    serve("[Version]\r\nVer=2\r\n");
    Recorder none;
    QCOMPARE(check(none), UpdateOutcome::NewVersion);
    QCOMPARE(none.events, (QStringList{"message", "open", "terminate"}));
    QCOMPARE(none.opened, QStringList{QString()});
}

void TestUpdate::failedDownloadReadsNothing()
{
    // A download from an earlier start that would announce a new version.
    QDir().mkpath(QFileInfo(m_downloaded).absolutePath());
    writeFile(m_downloaded, "[Version]\nVer=99\nurl=http://stale.test/\n");
    writeFile(m_local, "[Version]\nVer=1\n");

    serve("[Version]\nVer=99\n", 404);
    Recorder rec;
    QCOMPARE(check(rec), UpdateOutcome::DownloadFailed);
    QVERIFY(rec.events.isEmpty());

    // A server slower than the time-out: the check gives up and start-up goes on.
    m_server->setHandler([](QTcpSocket *, const QByteArray &) {});
    NetworkDownloader quick(300);
    Recorder slow;
    QCOMPARE(check(slow, quick, m_server->base() + kPath), UpdateOutcome::DownloadFailed);
    QVERIFY(slow.events.isEmpty());

    // No server at all.
    m_server.reset();
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString address = QStringLiteral("http://127.0.0.1:%1/x").arg(closed.serverPort());
    closed.close();
    NetworkDownloader dl;
    Recorder gone;
    QCOMPARE(check(gone, dl, address), UpdateOutcome::DownloadFailed);
    QVERIFY(gone.events.isEmpty());
}

void TestUpdate::urlLimit()
{
    writeFile(m_local, "[Version]\nVer=1\n");
    const QByteArray url = "http://download.test/" + QByteArray(250 - 21, 'p');
    QCOMPARE(url.size(), 250);
    serve("[Version]\nVer=2\nurl=" + url + "\n");
    Recorder rec;
    QCOMPARE(check(rec), UpdateOutcome::NewVersion);
    QCOMPARE(rec.opened, QStringList{QString::fromLatin1(url.left(199))});
}

void TestUpdate::gbkFile()
{
    // Published as GBK text, with a double-byte character cut by the limit.
    writeFile(m_local, "[Version]\nVer=1\n");
    const QString url = QStringLiteral("http://下载.test/") + QString(100, QChar(0x6587));
    QStringEncoder gbk("GBK");
    serve("[Version]\r\nVer=2\r\nurl=" + QByteArray(gbk.encode(url)) + "\r\n");
    Recorder rec;
    QCOMPARE(check(rec), UpdateOutcome::NewVersion);
    // "http://" 7 + "下载" 4 + ".test/" 6 = 17 bytes, then 91 characters of 2 bytes = 199.
    QCOMPARE(rec.opened, QStringList{url.left(17 - 2 + 91)});
}

void TestUpdate::startUpWiring()
{
    QStandardPaths::setTestModeEnabled(true);
    qputenv("LSS_SITE_BASE", m_server->base().toUtf8() + "/");
    QFile::remove(downloadedVersionPath());
    QCOMPARE(updateAddress(), m_server->base() + kPath);
    QVERIFY(downloadedVersionPath().startsWith(QStandardPaths::writableLocation(QStandardPaths::CacheLocation)));

    // The local file beside this executable.
    const QString local = localVersionPath();
    QCOMPARE(QFileInfo(local).absolutePath(), QCoreApplication::applicationDirPath());
    writeFile(local, "[Version]\nVer=5\n");

    RecordingShell shell;
    Shell::setInstance(&shell);
    BoxCloser closer;

    serve("[Version]\nVer=5\nurl=http://download.test/\n");
    CheckForUpdate(nullptr);
    QVERIFY(closer.boxes.isEmpty());
    QVERIFY(shell.calls.isEmpty());
    QVERIFY(!Application::instance()->terminated());
    QCOMPARE(readAll(downloadedVersionPath()), QByteArray("[Version]\nVer=5\nurl=http://download.test/\n"));

    serve("[Version]\nVer=6\nurl=http://download.test/\n");
    CheckForUpdate(nullptr);
    QCOMPARE(closer.boxes.size(), 1);
    QCOMPARE(closer.boxes[0].caption, QStringLiteral("青穹阁信息查询系统V1.0"));
    QCOMPARE(closer.boxes[0].text, kMessage);
    QCOMPARE(shell.calls.size(), 1);
    QCOMPARE(shell.calls[0].verb, QStringLiteral("open"));
    QCOMPARE(shell.calls[0].file, QStringLiteral("http://download.test/"));
    QCOMPARE(shell.calls[0].show, 5);
    QVERIFY(Application::instance()->terminated());

    QFile::remove(local);
}

// The tray icon is there while the launcher's check waits for a slow server. A click on it then
// is handled once the launcher is complete, never by a half-built one.
void TestUpdate::trayClickWaitsForLauncher()
{
    QStandardPaths::setTestModeEnabled(true);
    qputenv("LSS_SITE_BASE", m_server->base().toUtf8());
    writeFile(localVersionPath(), "[Version]\nVer=5\n");
    RecordingNotifyArea area;
    bool clicked = false;
    bool launcherWhenClicked = false;
    m_server->setHandler([&](QTcpSocket *s, const QByteArray &) {
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                clicked = true;
                launcherWhenClicked = F_one != nullptr;
                const NotifyCall &icon = area.calls.first();
                for (qintptr mouse : {winapi::WM_LBUTTONDOWN, winapi::WM_LBUTTONUP})
                    icon.window->SendMessage(icon.callback, icon.id, mouse);
            },
            Qt::QueuedConnection);
        QTimer::singleShot(200, s, [s] { HttpTestServer::reply(s, 200, "[Version]\nVer=5\n"); });
    });

    BoxCloser closer;
    F_one = new TF_one();
    QTRY_VERIFY(clicked);
    QVERIFY(launcherWhenClicked);
    QVERIFY(F_one->isVisible()); // the click brought the complete launcher up
    QVERIFY(closer.boxes.isEmpty());
    delete F_one;
    QCOMPARE(F_one, nullptr);
    QFile::remove(localVersionPath());
}

LSS_TEST_MAIN(TestUpdate)
#include "test_update.moc"
