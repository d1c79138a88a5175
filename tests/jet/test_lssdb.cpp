// lssdb build and generate, run as a program.
#include "data/jet/DirectorySchema.h"
#include "data/jet/JetHeader.h"
#include "jet/LssdbSupport.h"
#include "tools/CsvReader.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <QtTest>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lssdbtest;

namespace {

QString exportTable(const QString &db, const QString &table)
{
    const ToolResult r =
        runTool(QStringLiteral("mdb-export"), {QStringLiteral("-0"), QStringLiteral("NULL"), QStringLiteral("-T"),
                                               QStringLiteral("%Y-%m-%d %H:%M:%S"), db, table});
    return QString::fromUtf8(r.out);
}

// Every entry under `dir` with its kind and content, to show that nothing there changed.
QStringList snapshot(const QString &dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st;
        ::lstat(QFile::encodeName(path).constData(), &st);
        out << QStringLiteral("%1 %2 %3")
                   .arg(path)
                   .arg(st.st_mode, 0, 8)
                   .arg(S_ISREG(st.st_mode) ? QString::fromLatin1(readFile(path).toHex()) : QString());
    }
    out.sort();
    return out;
}

// `lssdb export DB OUTDIR` in a process that may write no file beyond `limit` bytes.
ToolResult exportWithin(const QString &db, const QString &outDir, rlim_t limit)
{
    QProcess p;
    p.setChildProcessModifier([limit] {
        const rlimit l{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &l);
    });
    p.start(kLssdb, {QStringLiteral("export"), db, outDir});
    p.waitForFinished(-1);
    return ToolResult{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                      p.readAllStandardError()};
}

QByteArray sha(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

} // namespace

class TestLssdb : public QObject
{
    Q_OBJECT

private slots:
    void buildRoundTrip();
    void buildPasswordOption();
    void badInput_data();
    void badInput();
    void buildOutputs();
    void exportRoundTrip();
    void exportEveryType();
    void exportAllOrNothing();
    void generateIsDeterministicAndRealistic();
    void helpDocumentsNull();
};

void TestLssdb::buildRoundTrip()
{
    QTemporaryDir dir;
    writeGoodCsv(dir.path());
    const QString db = dir.filePath(QStringLiteral("out.mdb"));
    const ToolResult r = runTool(kLssdb, {QStringLiteral("build"), db, dir.path()});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(runTool(QStringLiteral("mdb-ver"), {db}).out.trimmed(), QByteArray("JET4"));
    QCOMPARE(exportTable(db, QStringLiteral("lawyer")),
             QStringLiteral("l_id,l_realName,l_sex,l_province,l_city,l_address,l_domain\n"
                            "1,\"张三\",\"男\",\"北京\",\"北京\",\"北京市朝阳区建国路88号\",\"税务\"\n"
                            "2,\"O'Brien \"\"Bob\"\"\",NULL,\"上海\",NULL,NULL,\"100%_done\"\n"
                            "3,\"李四\n第二行\",\"女\",\"广东\",\"广州\",\"地址, 带逗号\",\"知识产权\"\n"));
    QCOMPARE(exportTable(db, QStringLiteral("HongkongLawyerInfo")),
             QStringLiteral("hl_name,hl_copartner,hl_domain\n\"的近律师行\",NULL,\"破产\"\n"));
    QCOMPARE(
        exportTable(db, QStringLiteral("Hongkong")),
        QStringLiteral(
            "h_name,h_post,h_address,h_domain\n\"陈大文 (CHAN Tai Man)\",\"合伙人\",\"香港中环\",\"刑法、家事法\"\n"));
    QCOMPARE(exportTable(db, QStringLiteral("Macao")),
             QStringLiteral("mc_name,mc_date,mc_reg_date,mc_class,mc_domain\n"
                            "\"黄一\",\"1999-12-20 00:00:00\",\"2001-01-02 10:20:30\",\"执业律师\",\"民事\"\n"
                            "\"林二\",NULL,NULL,\"实习律师\",NULL\n"));
    QCOMPARE(exportTable(db, QStringLiteral("Taiwan")),
             QStringLiteral("tw_name,tw_sex,tw_city,tw_address,tw_domain\n\"林三\",\"男\",\"台北市\","
                            "\"台北市信义区信义路五段7号\",\"民事\"\n"));
    // mdb-export shows "" and NULL alike; the file keeps them apart.
    const MdbTable t = readWithLibmdb(db, QStringLiteral("lawyer"));
    QVERIFY(t.ok);
    QVERIFY(t.rows[1][2].null);  // l_sex: empty unquoted
    QVERIFY(!t.rows[1][4].null); // l_city: ""
    QCOMPARE(t.rows[1][4].raw.size(), 0);

    // A file of one column: each blank line is a record whose field is NULL; the last line
    // break only ends the file.
    writeFile(QDir(dir.path()).filePath(QStringLiteral("Taiwan.csv")), "tw_name\n林三\n\n\r\n李四\n\n");
    QVERIFY(QFile::remove(db));
    QCOMPARE(runTool(kLssdb, {QStringLiteral("build"), db, dir.path()}).exitCode, 0);
    QCOMPARE(exportTable(db, QStringLiteral("Taiwan")),
             QStringLiteral("tw_name,tw_sex,tw_city,tw_address,tw_domain\n\"林三\",NULL,NULL,NULL,NULL\n"
                            "NULL,NULL,NULL,NULL,NULL\nNULL,NULL,NULL,NULL,NULL\n\"李四\",NULL,NULL,NULL,NULL\n"
                            "NULL,NULL,NULL,NULL,NULL\n"));
}

void TestLssdb::buildPasswordOption()
{
    QTemporaryDir dir;
    writeGoodCsv(dir.path());
    auto passwordOf = [](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? jet::readDatabasePassword(f.read(jet::kPageSize)) : QStringLiteral("?");
    };
    // No option: the program's own password; '' for none; any other text as given.
    const std::pair<QStringList, QString> runs[] = {
        {{}, QStringLiteral("41729063")},
        {{QStringLiteral("--password"), QString()}, QString()},
        {{QStringLiteral("--password"), QStringLiteral("秘密pw")}, QStringLiteral("秘密pw")}};
    for (const auto &[option, password] : runs) {
        const QString db = dir.filePath(QStringLiteral("pw-%1.mdb").arg(password));
        QCOMPARE(runTool(kLssdb, QStringList{QStringLiteral("build"), db, dir.path()} + option).exitCode, 0);
        QCOMPARE(passwordOf(db), password);
    }
}

void TestLssdb::badInput_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content"); // empty: the file is removed
    QTest::addColumn<QStringList>("mustMention");

    QTest::newRow("missing file") << "Taiwan.csv" << QByteArray() << QStringList({"Taiwan.csv", "缺少"});
    QTest::newRow("unknown column") << "lawRoom.csv" << QByteArray("lr_Name,lr_boss\nA,B\n")
                                    << QStringList({"lawRoom.csv:1", "lr_boss", "没有这一列"});
    QTest::newRow("column twice") << "lawRoom.csv" << QByteArray("lr_Name,lr_name\nA,B\n")
                                  << QStringList({"lawRoom.csv:1", "lr_name", "两次"});
    QTest::newRow("too few fields") << "lawyer.csv" << QByteArray("l_id,l_realName\n1,张三\n2\n")
                                    << QStringList({"lawyer.csv:3", "有 1 个字段", "2"});
    QTest::newRow("too many fields") << "lawyer.csv" << QByteArray("l_id,l_realName\n1,张三,x\n")
                                     << QStringList({"lawyer.csv:2", "有 3 个字段"});
    QTest::newRow("too long") << "lawyer.csv"
                              << (QByteArray("l_id,l_realName\n1,a\n\n2,") + QByteArray(256, 'x') + "\n")
                              << QStringList({"lawyer.csv:4", "l_realName", "256", "255", "值过长"});
    QTest::newRow("not utf-8") << "Hongkong.csv" << QByteArray("h_name,h_post\n\xd5\xc5\xc8\xfd,x\n")
                               << QStringList({"Hongkong.csv:2", "h_name", "不是有效的 UTF-8"});
    QTest::newRow("bad date") << "Macao.csv" << QByteArray("mc_name,mc_date\n黄一,2001-02-30\n")
                              << QStringList({"Macao.csv:2", "mc_date", "2001-02-30", "不是日期"});
    QTest::newRow("bad date form") << "Macao.csv" << QByteArray("mc_name,mc_reg_date\n黄一,20/01/2001\n")
                                   << QStringList({"Macao.csv:2", "mc_reg_date"});
    QTest::newRow("bad number") << "lawyer.csv" << QByteArray("l_id,l_realName\n\"\",a\n1x,b\n")
                                << QStringList({"lawyer.csv:2", "l_id", "不是长整型数"});
    QTest::newRow("open quote") << "Taiwan.csv" << QByteArray("tw_name,tw_sex\n\"林三,男\n")
                                << QStringList({"Taiwan.csv:2", "引号"});
    QTest::newRow("stray quote") << "Taiwan.csv" << QByteArray("tw_name,tw_sex\nab\"c,男\n")
                                 << QStringList({"Taiwan.csv:2", "引号"});
    QTest::newRow("empty file") << "Taiwan.csv" << QByteArray("\n") << QStringList({"Taiwan.csv", "列名"});
    QTest::newRow("date before year 100") << "Macao.csv" << QByteArray("mc_name,mc_date\n黄一,0099-12-31\n")
                                          << QStringList({"Macao.csv:2", "mc_date", "0099-12-31"});
    // A bad value is quoted by its head only, and a NUL in it does not end the message.
    QTest::newRow("huge bad number") << "lawyer.csv" << (QByteArray("l_id\n") + QByteArray(200000, '7') + "x\n")
                                     << QStringList({"lawyer.csv:2", "l_id", "共 200001 个字符"});
    QTest::newRow("NUL in bad value") << "lawyer.csv" << QByteArrayLiteral("l_id,l_realName\n1\0x,a\n")
                                      << QStringList({"lawyer.csv:2", "l_id", "\"1\\x00x\""});
    QTest::newRow("NUL in unknown column") << "lawRoom.csv" << QByteArrayLiteral("lr_Name,lr\0boss\nA,B\n")
                                           << QStringList({"lawRoom.csv:1", "lr\\x00boss", "没有这一列"});
    // One byte order mark opens a file; a second one there is refused, naming the line.
    QTest::newRow("second byte order mark") << "Taiwan.csv" << QByteArray("\xef\xbb\xbf\xef\xbb\xbftw_name\nx\n")
                                            << QStringList({"Taiwan.csv:1", "字节顺序标记"});
    // The writer's own failures come in Chinese too.
    QTest::newRow("U+FEFF then U+0100") << "Taiwan.csv" << QByteArray("tw_name\n\xef\xbb\xbf\xc4\x80\n")
                                        << QStringList({"Taiwan.csv:2", "U+FEFF", "低字节"});
    // In a file of one column a blank line is a record (NULL), so the lines after it count on.
    QTest::newRow("one column, blank line")
        << "Taiwan.csv" << (QByteArray("tw_name\n\r\n") + QByteArray(256, 'x') + "\n")
        << QStringList({"Taiwan.csv:3", "tw_name", "256"});
}

void TestLssdb::badInput()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, mustMention);
    QTemporaryDir dir;
    writeGoodCsv(dir.path());
    const QString path = QDir(dir.path()).filePath(file);
    if (content.isEmpty())
        QVERIFY(QFile::remove(path));
    else
        writeFile(path, content);
    const QString db = dir.filePath(QStringLiteral("out.mdb"));
    const ToolResult r = runTool(kLssdb, {QStringLiteral("build"), db, dir.path()});
    QCOMPARE(r.exitCode, 1);
    const QString err = QString::fromUtf8(r.err);
    for (const QString &m : mustMention)
        QVERIFY2(err.contains(m), qPrintable(err));
    QCOMPARE(err.count(u'\n'), 1); // one message
    QVERIFY2(err.size() < 400, qPrintable(err.left(400)));
    QVERIFY(!QFileInfo::exists(db));
    for (const QString &name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
        QVERIFY2(name.endsWith(QStringLiteral(".csv")), qPrintable(name));
}

// OUT that is not a regular file is never replaced; a link is written through and stays; the
// replaced file's permissions stay.
void TestLssdb::buildOutputs()
{
    QTemporaryDir dir;
    writeGoodCsv(dir.path());
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString subdir = dir.filePath(QStringLiteral("adir"));
    QVERIFY(QDir().mkpath(subdir));
    for (const QString &out : {fifo, subdir}) {
        const ToolResult r = runTool(kLssdb, {QStringLiteral("build"), out, dir.path()});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(QString::fromUtf8(r.err).contains(QStringLiteral("不是普通文件")), r.err.constData());
    }
    struct stat st;
    QVERIFY(::lstat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
    QVERIFY(QFileInfo(subdir).isDir());

    // A link (to a link) into another directory, whose target holds an old file of mode 0640.
    const QString real = QDir(subdir).filePath(QStringLiteral("real.mdb"));
    writeFile(real, "old");
    QVERIFY(QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QString link1 = dir.filePath(QStringLiteral("link1.mdb"));
    const QString link2 = dir.filePath(QStringLiteral("link2.mdb"));
    QCOMPARE(::symlink("adir/real.mdb", QFile::encodeName(link1).constData()), 0);
    QCOMPARE(::symlink("link1.mdb", QFile::encodeName(link2).constData()), 0);
    QCOMPARE(runTool(kLssdb, {QStringLiteral("build"), link2, dir.path()}).exitCode, 0);
    QVERIFY(QFileInfo(link1).isSymLink());
    QVERIFY(QFileInfo(link2).isSymLink());
    QCOMPARE(readFile(real).left(4), QByteArray("\0\1\0\0", 4));
    QVERIFY(::stat(QFile::encodeName(real).constData(), &st) == 0);
    QCOMPARE(int(st.st_mode & 07777), 0640);
    QCOMPARE(QDir(subdir).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("real.mdb")});
    // A link to a file not there yet makes it there.
    QVERIFY(QFile::remove(real));
    QCOMPARE(runTool(kLssdb, {QStringLiteral("build"), link2, dir.path()}).exitCode, 0);
    QVERIFY(QFileInfo(real).isFile() && QFileInfo(link1).isSymLink());
}

// export writes what build reads: export, build, export gives the same files, and the files
// hold every value as the CSV gave it (NULL and "" apart, quotes, line breaks, a U+FEFF).
void TestLssdb::exportRoundTrip()
{
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("csv"));
    QVERIFY(QDir().mkpath(csv));
    writeGoodCsv(csv);
    writeFile(QDir(csv).filePath(QStringLiteral("Taiwan.csv")), "tw_name,tw_sex,tw_address\n1,\xef\xbb\xbf"
                                                                "a,b\n\"\xef\xbb\xbf\",,\"\"\"\"\n");
    const QString db1 = dir.filePath(QStringLiteral("one.mdb"));
    lssdbOk({QStringLiteral("build"), db1, csv});
    const QString out1 = dir.filePath(QStringLiteral("out1"));
    QCOMPARE(lssdbOk({QStringLiteral("export"), db1, out1}), QByteArray());
    QCOMPARE(readFile(QDir(out1).filePath(QStringLiteral("lawyer.csv"))),
             QByteArray("l_id,l_realName,l_sex,l_province,l_city,l_address,l_domain\r\n"
                        "1,张三,男,北京,北京,北京市朝阳区建国路88号,税务\r\n"
                        "2,\"O'Brien \"\"Bob\"\"\",,上海,\"\",,100%_done\r\n"
                        "3,\"李四\n第二行\",女,广东,广州,\"地址, 带逗号\",知识产权\r\n"));
    QCOMPARE(readFile(QDir(out1).filePath(QStringLiteral("Macao.csv"))),
             QByteArray("mc_name,mc_date,mc_reg_date,mc_class,mc_domain\r\n"
                        "黄一,1999-12-20,2001-01-02 10:20:30,执业律师,民事\r\n林二,,,实习律师,\r\n"));
    QCOMPARE(readFile(QDir(out1).filePath(QStringLiteral("Taiwan.csv"))),
             QByteArray("tw_name,tw_sex,tw_city,tw_address,tw_domain\r\n1,\"\xef\xbb\xbf"
                        "a\",,b,\r\n"
                        "\"\xef\xbb\xbf\",,,\"\"\"\",\r\n"));
    const QString db2 = dir.filePath(QStringLiteral("two.mdb"));
    lssdbOk({QStringLiteral("build"), db2, out1});
    const QString out2 = dir.filePath(QStringLiteral("out2"));
    lssdbOk({QStringLiteral("export"), db2, out2});
    const QStringList files = QDir(out1).entryList(QDir::Files, QDir::Name);
    QCOMPARE(files.size(), 6);
    QCOMPARE(QDir(out2).entryList(QDir::Files, QDir::Name), files);
    for (const QString &f : files)
        QVERIFY2(readFile(QDir(out1).filePath(f)) == readFile(QDir(out2).filePath(f)), qPrintable(f));

    // A generated directory of every table, both ways.
    const QString gen = dir.filePath(QStringLiteral("gen.mdb"));
    lssdbOk({QStringLiteral("generate"), gen, QStringLiteral("--lawyers"), QStringLiteral("300")});
    lssdbOk({QStringLiteral("export"), gen, dir.filePath(QStringLiteral("g1"))});
    lssdbOk({QStringLiteral("build"), dir.filePath(QStringLiteral("gen2.mdb")), dir.filePath(QStringLiteral("g1"))});
    lssdbOk({QStringLiteral("export"), dir.filePath(QStringLiteral("gen2.mdb")), dir.filePath(QStringLiteral("g2"))});
    for (const QString &f : files)
        QVERIFY2(readFile(dir.filePath(QStringLiteral("g1/") + f)) == readFile(dir.filePath(QStringLiteral("g2/") + f)),
                 qPrintable(f));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("g1/lawyer.csv"))).count("\r\n"), 301);
}

// Any Jet 4 file: every column type in its text form, each cell as the data layer reads it.
void TestLssdb::exportEveryType()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("types.mdb"));
    const int rows = 40;
    writeSampleFile(db, rows);
    QCOMPARE(lssdbOk({QStringLiteral("export"), db, dir.path(), QStringLiteral("--password"), QString()}),
             QByteArray());
    CsvReader reader(dir.filePath(QStringLiteral("t.csv")));
    QVERIFY(reader.open(nullptr));
    std::vector<CsvReader::Field> fields;
    QVERIFY(reader.next(fields));
    QStringList header;
    for (const auto &f : fields)
        header << QString::fromUtf8(f.bytes);
    QStringList names;
    for (const jet::ColumnDef &c : sample::columns())
        names << c.name;
    QCOMPARE(header, names);
    for (int i = 0; i < rows; ++i) {
        QVERIFY(reader.next(fields));
        const sample::Row expected = sample::row(i);
        QCOMPARE(int(fields.size()), expected.texts.size());
        for (int c = 0; c < expected.texts.size(); ++c) {
            const QString at = QStringLiteral("row %1 column %2").arg(i).arg(names[c]);
            QVERIFY2(fields[size_t(c)].bytes.isEmpty() && !fields[size_t(c)].quoted ? expected.nulls[c]
                                                                                    : !expected.nulls[c],
                     qPrintable(at));
            const QString got = QString::fromUtf8(fields[size_t(c)].bytes);
            if (names[c] == QLatin1String("c_single") || names[c] == QLatin1String("c_double"))
                QVERIFY2(got.toDouble() == expected.texts[c].toDouble(), qPrintable(at + QLatin1Char(' ') + got));
            else
                QVERIFY2(got == expected.texts[c], qPrintable(at + QLatin1Char(' ') + got));
        }
    }
    QVERIFY(!reader.next(fields));
}

// A failed export changes nothing: not an earlier export in OUTDIR (no mix of two
// directories), not a new OUTDIR or the directories above it, and no staging directory stays.
// A success replaces only the tables' files; a special file in a table's place is refused.
void TestLssdb::exportAllOrNothing()
{
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("csv"));
    QVERIFY(QDir().mkpath(csv));
    writeGoodCsv(csv);
    const QString before = dir.filePath(QStringLiteral("before.mdb"));
    lssdbOk({QStringLiteral("build"), before, csv});
    // The third table grows past the write limit; the two before it fit.
    QByteArray hongkong("h_name,h_address\n");
    for (int i = 0; i < 60; ++i)
        hongkong += "律师" + QByteArray::number(i) + "," + QByteArray(100, 'a') + "\n";
    writeFile(QDir(csv).filePath(QStringLiteral("Hongkong.csv")), hongkong);
    const QString db = dir.filePath(QStringLiteral("db.mdb"));
    lssdbOk({QStringLiteral("build"), db, csv});

    const QString out = dir.filePath(QStringLiteral("work/out"));
    lssdbOk({QStringLiteral("export"), before, out});
    writeFile(QDir(out).filePath(QStringLiteral("notes.txt")), "the user's own");
    const QStringList kept = snapshot(dir.filePath(QStringLiteral("work")));

    const ToolResult full = exportWithin(db, out, 4096);
    QCOMPARE(full.exitCode, 1);
    const QString err = QString::fromUtf8(full.err);
    QVERIFY2(err.contains(QStringLiteral("Hongkong.csv")) && err.contains(QStringLiteral("文件过大")), qPrintable(err));
    QCOMPARE(err.count(u'\n'), 1);
    QCOMPARE(snapshot(dir.filePath(QStringLiteral("work"))), kept);

    const ToolResult fresh = exportWithin(db, dir.filePath(QStringLiteral("new/deep/out")), 4096);
    QCOMPARE(fresh.exitCode, 1);
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("new"))));

    // A FIFO where a table's file goes is refused before anything is written.
    const QString fifo = QDir(out).filePath(QStringLiteral("Taiwan.csv"));
    QVERIFY(QFile::remove(fifo));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QStringList withFifo = snapshot(dir.filePath(QStringLiteral("work")));
    const ToolResult refused = runTool(kLssdb, {QStringLiteral("export"), db, out});
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(QString::fromUtf8(refused.err).contains(QStringLiteral("不是普通文件")), refused.err.constData());
    QCOMPARE(snapshot(dir.filePath(QStringLiteral("work"))), withFifo);
    QVERIFY(QFile::remove(fifo));

    // Written whole: every table's file replaced, the user's file left, nothing else there.
    lssdbOk({QStringLiteral("export"), db, out});
    lssdbOk({QStringLiteral("export"), db, dir.filePath(QStringLiteral("ref"))});
    QStringList expected = QDir(dir.filePath(QStringLiteral("ref"))).entryList(QDir::Files);
    for (const QString &f : expected)
        QVERIFY2(readFile(QDir(out).filePath(f)) == readFile(dir.filePath(QStringLiteral("ref/") + f)), qPrintable(f));
    QCOMPARE(readFile(QDir(out).filePath(QStringLiteral("notes.txt"))), QByteArray("the user's own"));
    expected << QStringLiteral("notes.txt");
    expected.sort();
    QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
             expected);
    QCOMPARE(
        QDir(dir.filePath(QStringLiteral("work"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList{QStringLiteral("out")});
}

void TestLssdb::generateIsDeterministicAndRealistic()
{
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.mdb"));
    const QString b = dir.filePath(QStringLiteral("b.mdb"));
    const QString c = dir.filePath(QStringLiteral("c.mdb"));
    auto generate = [](const QString &out, const QStringList &options) {
        return runTool(kLssdb, QStringList{QStringLiteral("generate"), out} + options).exitCode;
    };
    QCOMPARE(generate(a, {QStringLiteral("--lawyers"), QStringLiteral("3000"), QStringLiteral("--seed"),
                          QStringLiteral("7")}),
             0);
    // The options in their other form, --name=value, give the same file.
    QCOMPARE(generate(b, {QStringLiteral("--lawyers=3000"), QStringLiteral("--seed=7")}), 0);
    QCOMPARE(generate(c, {QStringLiteral("--lawyers"), QStringLiteral("3000"), QStringLiteral("--seed"),
                          QStringLiteral("8")}),
             0);
    QCOMPARE(sha(a), sha(b));
    QVERIFY(sha(a) != sha(c));

    QFile f(a);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(jet::readDatabasePassword(f.read(jet::kPageSize)), QStringLiteral("41729063"));

    const QStringList provinces = QStringLiteral("北京 上海 天津 重庆 河南 河北 山东 山西 广东 广西 湖南 湖北 四川 "
                                                 "云南 西藏 新疆 甘肃 宁夏 江苏 江西 浙江 贵州 "
                                                 "安徽 青海 海南 福建 陕西 辽宁 吉林 黑龙江 内蒙古")
                                      .split(u' ');
    const QStringList specialities = QStringLiteral("税务 法律顾问 行政复议 房地产 工商事务 生物工程业 建筑 医院改制 "
                                                    "电子商务 金融业 知识产权 反倾销反补贴 证券 国际贸易 "
                                                    "劳动争议 电信业 医疗卫生 经济犯罪辩护 保险 海商海事 基础设施 "
                                                    "航空业 项目融资 企事业单位改制 信托 政府事务 医疗纠纷 "
                                                    "旅游业 风险投资 合同与债权债务 投资 诉讼/仲裁 婚姻家庭 行政诉讼 "
                                                    "投资与融资 能源和自然资源 医药 招标与投标 兼并与收购 "
                                                    "国家赔偿 传媒与娱乐业 国际金融衍生工具")
                                         .split(u' ');

    const MdbTable lawyers = readWithLibmdb(a, QStringLiteral("lawyer"));
    QCOMPARE(lawyers.rows.size(), size_t(3000));
    int single = 0;
    for (size_t i = 0; i < lawyers.rows.size(); ++i) {
        const auto &r = lawyers.rows[i];
        QCOMPARE(r[0].text.toInt(), int(i) + 1);
        QVERIFY(provinces.contains(r[3].text));
        QVERIFY(r[1].text.size() >= 2);
        QVERIFY(r[2].text == QStringLiteral("男") || r[2].text == QStringLiteral("女"));
        const QStringList domains = r[6].text.split(QStringLiteral("、"));
        for (const QString &d : domains)
            QVERIFY2(specialities.contains(d), qPrintable(d));
        if (domains.size() == 1)
            ++single;
    }
    QVERIFY(single > 2400 && single < 3000); // mostly one speciality, a few with several

    const MdbTable firms = readWithLibmdb(a, QStringLiteral("lawRoom"));
    QVERIFY(firms.rows.size() >= 100);
    int empty = 0;
    for (const auto &r : firms.rows) {
        QVERIFY(r[0].text.endsWith(QStringLiteral("律师事务所")));
        QVERIFY(provinces.contains(r[3].text));
        if (r[4].text.isEmpty())
            ++empty;
        else
            QVERIFY2(QUrl(r[4].text).host().endsWith(QStringLiteral(".example.com")), qPrintable(r[4].text));
    }
    QVERIFY(empty > 0);

    for (const QString &table : {QStringLiteral("Hongkong"), QStringLiteral("HongkongLawyerInfo"),
                                 QStringLiteral("Macao"), QStringLiteral("Taiwan")})
        QVERIFY2(readWithLibmdb(a, table).rows.size() >= 100, qPrintable(table));
    const MdbTable hk = readWithLibmdb(a, QStringLiteral("Hongkong"));
    QVERIFY(hk.rows[0][0].text.contains(QRegularExpression(QStringLiteral("^\\S+ \\([A-Za-z ]+\\)$"))));
    const MdbTable macao = readWithLibmdb(a, QStringLiteral("Macao"));
    for (const auto &r : macao.rows) {
        QVERIFY(!r[1].null && !r[2].null && !r[3].null);
        QVERIFY(r[1].text <= r[2].text); // registered on or after admission
    }
}

void TestLssdb::helpDocumentsNull()
{
    const ToolResult r = runTool(kLssdb, {QStringLiteral("--help")});
    QCOMPARE(r.exitCode, 0);
    const QString help = QString::fromUtf8(r.out);
    // Every table with its columns and their types, for writing the CSV files.
    QVERIFY2(help.contains(QStringLiteral("lawyer.csv: l_id (Long Integer), l_realName (Text), l_sex (Text), "
                                          "l_province (Text), l_city (Text), l_address (Memo), l_domain (Text)")),
             qPrintable(help));
    QVERIFY(help.contains(QStringLiteral("Macao.csv: mc_name (Text), mc_date (Date/Time), mc_reg_date (Date/Time), "
                                         "mc_class (Text), mc_domain (Text)")));
    for (const char *text : {"empty unquoted field is NULL", "build OUT CSVDIR", "generate OUT", "export FILE OUTDIR",
                             "tables FILE", "schema FILE", "--format tsv|csv|json", "--version"})
        QVERIFY2(help.contains(QLatin1String(text)), text);
    QCOMPARE(runTool(kLssdb, {QStringLiteral("frobnicate")}).exitCode, 1);
    const ToolResult version = runTool(kLssdb, {QStringLiteral("--version")});
    QCOMPARE(version.exitCode, 0);
    QVERIFY2(
        QRegularExpression(QStringLiteral("^lssdb \\d+\\.\\d+\n$")).match(QString::fromUtf8(version.out)).hasMatch(),
        version.out.constData());
}

QTEST_GUILESS_MAIN(TestLssdb)
#include "test_lssdb.moc"
