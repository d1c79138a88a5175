// The installed program: `cmake --install` into a temporary prefix, the menu entry checked by
// desktop-file-validate, the AppStream metadata by appstreamcli, and the installed command
// started to its launcher.
#include "support/ProgramRun.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestInstall : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_prefix.isValid());
        QProcess install;
        install.start(QStringLiteral(CMAKE_COMMAND_PATH), {QStringLiteral("--install"), QStringLiteral(LSS_BUILD_DIR),
                                                           QStringLiteral("--prefix"), m_prefix.path()});
        install.waitForFinished(-1);
        QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0,
                 install.readAllStandardError().constData());
    }

    void layout_data()
    {
        QTest::addColumn<QString>("path");
        for (const char *path :
             {"lib/lss/lss", "lib/lss/lss.dll", "lib/lss/lawconfig.ini", "share/applications/lss.desktop",
              "share/icons/hicolor/16x16/apps/lss.png", "share/icons/hicolor/32x32/apps/lss.png",
              "share/icons/hicolor/48x48/apps/lss.png", "share/icons/hicolor/scalable/apps/lss.svg", "bin/lssdb",
              "share/man/man1/lss.1.gz", "share/man/man1/lssdb.1.gz", "share/doc/lss/copyright",
              "share/doc/lss/changelog.gz", "share/metainfo/example.quillhall.lss.metainfo.xml"})
            QTest::newRow(path) << QString::fromLatin1(path);
    }
    void layout()
    {
        QFETCH(QString, path);
        QVERIFY2(QFileInfo(m_prefix.filePath(path)).isFile(), qPrintable(path));
    }

    // The command on the PATH leads to the program in its own directory.
    void commandLinksToTheProgram()
    {
        const QFileInfo command(m_prefix.filePath(QStringLiteral("bin/lss")));
        QVERIFY(command.isSymLink());
        QCOMPARE(command.canonicalFilePath(),
                 QFileInfo(m_prefix.filePath(QStringLiteral("lib/lss/lss"))).canonicalFilePath());
        QVERIFY(command.isExecutable());
    }

    void desktopEntryIsValid()
    {
        QProcess validate;
        validate.start(QStringLiteral("desktop-file-validate"),
                       {m_prefix.filePath(QStringLiteral("share/applications/lss.desktop"))});
        QVERIFY2(validate.waitForStarted(-1), "desktop-file-validate missing: install desktop-file-utils");
        validate.waitForFinished(-1);
        const QByteArray out = validate.readAllStandardOutput() + validate.readAllStandardError();
        QVERIFY2(validate.exitCode() == 0 && out.trimmed().isEmpty(), out.constData());
    }

    // What software centres read: valid, and its launchable the menu entry installed beside it.
    void appStreamMetadataIsValid()
    {
        const QString metainfo = m_prefix.filePath(QStringLiteral("share/metainfo/example.quillhall.lss.metainfo.xml"));
        QProcess validate;
        validate.start(QStringLiteral("appstreamcli"),
                       {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo});
        if (!validate.waitForStarted(-1))
            QSKIP("appstreamcli missing: run scripts/install-deps");
        validate.waitForFinished(-1);
        const QByteArray out = validate.readAllStandardOutput() + validate.readAllStandardError();
        QVERIFY2(validate.exitStatus() == QProcess::NormalExit && validate.exitCode() == 0, out.constData());
        for (const QByteArray &line : out.split('\n'))
            QVERIFY2(!line.startsWith("W:") && !line.startsWith("E:"), line.constData());
        QFile file(metainfo);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray xml = file.readAll();
        QVERIFY(xml.contains("<launchable type=\"desktop-id\">lss.desktop</launchable>"));
    }

    // Started through the command on the PATH from another directory: the program finds its
    // directory and version file beside itself and shows the launcher without a complaint.
    void installedProgramStarts()
    {
        QTemporaryDir elsewhere;
        QVERIFY(elsewhere.isValid());
        QProcessEnvironment env;
        env.insert(QStringLiteral("XDG_CACHE_HOME"), elsewhere.filePath(QStringLiteral("cache")));
        const ProgramRun r = runProgram(m_prefix.filePath(QStringLiteral("bin/lss")), elsewhere.path(), env);
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.boxes, QStringList());
        QCOMPARE(r.run, QStringLiteral("owned=TDM,TF_one main=TF_one visible=1"));
    }

private:
    QTemporaryDir m_prefix;
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
