// The Debian package of `make package`: built by cpack into a temporary directory, checked by
// lintian, its files and control fields read back, and its maintainer scripts run on a
// temporary root (dpkg's DPKG_ROOT) through install, upgrade, removal and purge.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString &program, const QStringList &args, const QString &dir = QString(),
        const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessEnvironment(env);
    p.start(program, args);
    Run r;
    if (!p.waitForStarted(-1))
        return r;
    p.waitForFinished(-1);
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        for (const char *tool : {"dpkg-deb", "dpkg-query", "lintian"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 missing: run scripts/install-deps").arg(QLatin1String(tool))));
        }
        QVERIFY(m_dir.isValid());
        const Run pack = run(QStringLiteral(CPACK_COMMAND_PATH),
                             {QStringLiteral("--config"), QStringLiteral(LSS_BUILD_DIR "/CPackConfig.cmake"),
                              QStringLiteral("-B"), m_dir.path()},
                             m_dir.path());
        QVERIFY2(pack.exitCode == 0, (pack.out + pack.err).constData());
        const QStringList debs = QDir(m_dir.path()).entryList({QStringLiteral("lss_*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        m_deb = m_dir.filePath(debs.first());
        for (const auto &[option, folder] : {std::pair{"-x", "data"}, std::pair{"-e", "control"}}) {
            const Run r = run(QStringLiteral("dpkg-deb"),
                              {QString::fromLatin1(option), m_deb, m_dir.filePath(QString::fromLatin1(folder))});
            QVERIFY2(r.exitCode == 0, r.err.constData());
        }
    }

    void lintianFindsNoErrorOrWarning()
    {
        const Run r = run(QStringLiteral("lintian"), {QStringLiteral("--fail-on"), QStringLiteral("warning"), m_deb});
        QVERIFY2(r.exitCode == 0, (r.out + r.err).constData());
        for (const QByteArray &line : r.out.split('\n'))
            QVERIFY2(!line.startsWith("E:") && !line.startsWith("W:"), line.constData());
    }

    // The program's directory file is a link into /var/lib, where no file of the package lies:
    // dpkg neither checks nor replaces nor removes what an administrator puts there.
    void directoryFileIsTheAdministrators()
    {
        const QFileInfo link(data(QStringLiteral("usr/lib/lss/lss.dll")));
        QVERIFY(link.isSymLink());
        QCOMPARE(link.symLinkTarget(), QStringLiteral("/var/lib/lss/lss.dll"));
        QVERIFY(!QFileInfo::exists(data(QStringLiteral("var"))));
        QCOMPARE(readFile(data(QStringLiteral("usr/share/lss/lss.dll"))),
                 readFile(QStringLiteral(LSS_BUILD_DIR "/lss.dll")));
        const QByteArray sums = readFile(m_dir.filePath(QStringLiteral("control/md5sums")));
        QVERIFY(sums.contains("  usr/share/lss/lss.dll\n"));
        QVERIFY(!sums.contains("usr/lib/lss/lss.dll"));
    }

    void contents_data()
    {
        QTest::addColumn<QString>("path");
        for (const char *path :
             {"usr/bin/lssdb", "usr/lib/lss/lss", "usr/lib/lss/lawconfig.ini", "usr/share/man/man1/lss.1.gz",
              "usr/share/man/man1/lssdb.1.gz", "usr/share/doc/lss/copyright", "usr/share/doc/lss/changelog.gz",
              "usr/share/metainfo/example.quillhall.lss.metainfo.xml"})
            QTest::newRow(path) << QString::fromLatin1(path);
    }
    void contents()
    {
        QFETCH(QString, path);
        QVERIFY2(QFileInfo(data(path)).isFile(), qPrintable(path));
    }

    // Loaded at run time rather than linked, so dpkg-shlibdeps cannot find them.
    void depends_data()
    {
        QTest::addColumn<QString>("package");
        for (const char *p :
             {"qt6-qpa-plugins", "libqt6svg6", "fonts-wqy-microhei", "fonts-liberation2", "qt6-translations-l10n"})
            QTest::newRow(p) << QString::fromLatin1(p);
    }
    void depends()
    {
        QFETCH(QString, package);
        const Run r = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb, QStringLiteral("Depends")});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QStringList names;
        for (const QString &dep : QString::fromUtf8(r.out).split(QLatin1Char(',')))
            names << dep.trimmed().section(QLatin1Char(' '), 0, 0);
        QVERIFY2(names.contains(package), r.out.constData());
    }

    // What the maintainer scripts leave in /var/lib/lss/lss.dll. "old" is an ordinary
    // usr/lib/lss/lss.dll of an older package (whose md5sums list OLD-SAMPLE), "kept" a file
    // already in /var/lib/lss; SAMPLE stands for the package's sample, an empty expectation for
    // no file at all; "->PATH" is a symbolic link to PATH (where no file is).
    void maintainerScripts_data()
    {
        QTest::addColumn<QByteArray>("old");
        QTest::addColumn<QByteArray>("kept");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QByteArray>("expected");
        const QStringList install{QStringLiteral("preinst install"), QStringLiteral("unpack"),
                                  QStringLiteral("postinst configure")};
        const QStringList upgrade{QStringLiteral("preinst upgrade 0.9"), QStringLiteral("unpack"),
                                  QStringLiteral("postinst configure 0.9")};
        QTest::newRow("first install") << QByteArray() << QByteArray() << install << QByteArray("SAMPLE");
        QTest::newRow("install after removal") << QByteArray() << QByteArray("ADMIN") << install << QByteArray("ADMIN");
        QTest::newRow("upgrade") << QByteArray() << QByteArray("ADMIN") << upgrade << QByteArray("ADMIN");
        QTest::newRow("upgrade from a changed ordinary file")
            << QByteArray("ADMIN") << QByteArray() << upgrade << QByteArray("ADMIN");
        QTest::newRow("upgrade from the old sample")
            << QByteArray("OLD-SAMPLE") << QByteArray() << upgrade << QByteArray("SAMPLE");
        // A link whose target is missing is the administrator's too (a disk not mounted yet).
        const QByteArray dangling("->/srv/lss-not-mounted/lss.dll");
        QTest::newRow("upgrade, dangling link") << QByteArray() << dangling << upgrade << dangling;
        QTest::newRow("install after removal, dangling link") << QByteArray() << dangling << install << dangling;
        QTest::newRow("upgrade from a changed ordinary file, dangling link")
            << QByteArray("ADMIN") << dangling << upgrade << dangling;
        QTest::newRow("remove") << QByteArray() << QByteArray("ADMIN") << QStringList{QStringLiteral("postrm remove")}
                                << QByteArray("ADMIN");
        QTest::newRow("purge") << QByteArray() << QByteArray("ADMIN")
                               << QStringList{QStringLiteral("postrm remove"), QStringLiteral("postrm purge")}
                               << QByteArray();
    }
    void maintainerScripts()
    {
        QFETCH(QByteArray, old);
        QFETCH(QByteArray, kept);
        QFETCH(QStringList, steps);
        QFETCH(QByteArray, expected);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString dataFile = root.filePath(QStringLiteral("var/lib/lss/lss.dll"));
        const QString programDirFile = root.filePath(QStringLiteral("usr/lib/lss/lss.dll"));
        // The older package as dpkg knows it: installed, with the checksum of its own sample.
        const QByteArray oldSum = QCryptographicHash::hash("OLD-SAMPLE", QCryptographicHash::Md5).toHex();
        QVERIFY(writeFile(root.filePath(QStringLiteral("var/lib/dpkg/status")),
                          "Package: lss\nStatus: install ok installed\nVersion: 0.9\nArchitecture: amd64\n"
                          "Maintainer: lss <lss@quillhall.example>\nDescription: lss\n\n"));
        QVERIFY(writeFile(root.filePath(QStringLiteral("var/lib/dpkg/info/lss.md5sums")),
                          oldSum + "  usr/lib/lss/lss.dll\n"));
        QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("var/lib/dpkg/updates"))));
        if (!old.isEmpty())
            QVERIFY(writeFile(programDirFile, old));
        if (kept.startsWith("->")) {
            QVERIFY(QDir().mkpath(QFileInfo(dataFile).path()));
            QVERIFY(QFile::link(QString::fromUtf8(kept.mid(2)), dataFile));
        } else if (!kept.isEmpty()) {
            QVERIFY(writeFile(dataFile, kept));
        }

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DPKG_ROOT"), root.path());
        for (const QString &step : steps) {
            QStringList args = step.split(QLatin1Char(' '));
            const QString script = args.takeFirst();
            if (script == QLatin1String("unpack")) {
                // dpkg puts the new package's files in place between preinst and postinst.
                QFile::remove(programDirFile);
                QVERIFY(QDir().mkpath(QFileInfo(programDirFile).path()));
                QVERIFY(QFile::link(QStringLiteral("/var/lib/lss/lss.dll"), programDirFile));
                QVERIFY(writeFile(root.filePath(QStringLiteral("usr/share/lss/lss.dll")), "SAMPLE"));
                continue;
            }
            const Run r = run(m_dir.filePath(QStringLiteral("control/") + script), args, root.path(), env);
            QVERIFY2(r.exitCode == 0, qPrintable(step + QLatin1String(": ") + QString::fromUtf8(r.err)));
        }
        if (expected.isEmpty()) {
            QVERIFY(!QFileInfo::exists(dataFile));
            QVERIFY(!QFileInfo::exists(root.filePath(QStringLiteral("var/lib/lss"))));
        } else if (expected.startsWith("->")) {
            QVERIFY(QFileInfo(dataFile).isSymLink());
            QCOMPARE(QFileInfo(dataFile).symLinkTarget(), QString::fromUtf8(expected.mid(2)));
        } else {
            QCOMPARE(readFile(dataFile), expected);
        }
        QVERIFY(!QFileInfo::exists(dataFile + QLatin1String(".new")));
    }

private:
    QString data(const QString &path) const { return m_dir.filePath(QStringLiteral("data/") + path); }

    QTemporaryDir m_dir;
    QString m_deb;
};

QTEST_GUILESS_MAIN(TestPackage)
#include "test_package.moc"
