// The Jet 4 writer, checked through libmdb and the mdbtools programs.
#include "data/jet/DirectorySchema.h"
#include "data/jet/JetFile.h"
#include "data/jet/JetHeader.h"
#include "data/jet/Writer.h"
#include "jet/MdbRead.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace jet;

namespace {

const TableDef kAllTypes{QStringLiteral("AllTypes"),
                         {{QStringLiteral("t_text"), jet::kText, 255},
                          {QStringLiteral("t_long"), jet::kLong, 0},
                          {QStringLiteral("t_memo"), jet::kMemo, 0},
                          {QStringLiteral("t_date"), jet::kDateTime, 0},
                          {QStringLiteral("t_short"), jet::kText, 10}}};

QByteArray page0(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.read(kPageSize);
}

QString repeated(const QString &s, int chars)
{
    QString r;
    while (r.size() < chars)
        r += s;
    return r.left(chars);
}

} // namespace

class TestJet : public QObject
{
    Q_OBJECT

private slots:
    void awkwardValuesRoundTrip();
    void nonBmpTextIsStoredAsSurrogatePairs();
    void manyRowsOverManyPages();
    void passwordDecodesBack_data();
    void passwordDecodesBack();
    void headerIsNotTakenForAnEncryptedFile();
    void mdbtoolsProgramsReadTheFile();
    void catalogIsTheOneAccessWrites();
    void unfinishedWriterLeavesNothing();
    void rejectsBadValues();

private:
    QTemporaryDir m_dir;
};

void TestJet::awkwardValuesRoundTrip()
{
    const QString path = m_dir.filePath(QStringLiteral("awkward.mdb"));
    const QString s255 = repeated(QStringLiteral("律"), 255);
    struct Case
    {
        QVariant text, number, memo, date;
        QString expectText, expectNumber, expectMemo, expectDate;
    };
    QList<Case> cases = {
        {QString(QLatin1String("")), 0, QString(QLatin1String("")), QDate(1899, 12, 30), "", "0", "",
         "1899-12-30 00:00:00"},
        {QVariant(), QVariant(), QVariant(), QVariant(), "", "", "", ""},
        {s255, 2147483647, QStringLiteral("短"), QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59)), s255, "2147483647",
         "短", "2024-02-29 23:59:59"},
        {QStringLiteral("O'Brien's 100% my_table"), -2147483647 - 1, QStringLiteral("it's 50% _done_"),
         QDateTime(QDate(1800, 1, 1), QTime(12, 0)), "O'Brien's 100% my_table", "-2147483648", "it's 50% _done_",
         QString()},
        {QStringLiteral("北京市朝阳区"), 42, repeated(QStringLiteral("香港中环皇后大道中"), 40), QDate(2000, 1, 1),
         "北京市朝阳区", "42", repeated(QStringLiteral("香港中环皇后大道中"), 40), "2000-01-01 00:00:00"},
        {QStringLiteral("\"quoted\", comma\nnewline"), 7, QStringLiteral("tab\there"), QDate(2099, 12, 31),
         "\"quoted\", comma\nnewline", "7", "tab\there", "2099-12-31 00:00:00"},
    };
    // Memo values inline, on one long-value page, filling exactly one page, chained over several.
    for (int n : {32, 33, 2040, 4000, 10000, 60000}) {
        const QString memo = repeated(QStringLiteral("合伙人陈大文、李小明; "), n);
        cases.append({QString::number(n), n, memo, QVariant(), QString::number(n), QString::number(n), memo, ""});
    }
    {
        Writer w(path, QString());
        w.beginTable(kAllTypes);
        for (const Case &c : cases)
            w.addRow({c.text, c.number, c.memo, c.date, QStringLiteral("x")});
        w.endTable();
        w.finish();
    }
    const MdbTable t = readWithLibmdb(path, kAllTypes.name);
    QVERIFY(t.ok);
    QCOMPARE(t.columns, QStringList({"t_text", "t_long", "t_memo", "t_date", "t_short"}));
    QCOMPARE(t.types, QList<int>({MDB_TEXT, MDB_LONGINT, MDB_MEMO, MDB_DATETIME, MDB_TEXT}));
    QCOMPARE(t.sizes.at(0), 510); // Jet 4 keeps text lengths in bytes
    QCOMPARE(t.sizes.at(4), 20);
    QCOMPARE(int(t.rows.size()), cases.size());
    for (int i = 0; i < cases.size(); ++i) {
        const Case &c = cases[i];
        const auto &r = t.rows[size_t(i)];
        QCOMPARE(r[0].null, c.text.isNull());
        QCOMPARE(r[1].null, c.number.isNull());
        QCOMPARE(r[2].null, c.memo.isNull());
        QCOMPARE(r[3].null, c.date.isNull());
        QCOMPARE(r[0].text, c.expectText);
        QCOMPARE(r[0].storedText(), c.expectText);
        QCOMPARE(r[1].text, c.expectNumber);
        QCOMPARE(r[2].text, c.expectMemo);
        if (!c.expectDate.isNull())
            QCOMPARE(r[3].text, c.expectDate);
        if (!c.date.isNull()) {
            // The stored double, as Jet counts: libmdb 1.0 shows nothing before 1899-12-30.
            QCOMPARE(r[3].raw.size(), 8);
            double d;
            std::memcpy(&d, r[3].raw.constData(), 8);
            const QDateTime dt =
                c.date.typeId() == QMetaType::QDate ? QDateTime(c.date.toDate(), QTime(0, 0)) : c.date.toDateTime();
            QCOMPARE(d, toJetDate(dt));
            QCOMPARE(fromJetDate(d), dt);
        }
        QCOMPARE(r[4].text, QStringLiteral("x"));
    }
    // An empty text is stored as a present, zero-length value; NULL as a cleared null bit.
    QVERIFY(!t.rows[0][0].null);
    QCOMPARE(t.rows[0][0].raw.size(), 0);
    QVERIFY(t.rows[1][0].null);
    // 1800-01-01 12:00 lies before day 0: negative whole days, the time still counting forwards.
    double d;
    std::memcpy(&d, t.rows[3][3].raw.constData(), 8);
    QCOMPARE(d, -36522.5);
}

void TestJet::nonBmpTextIsStoredAsSurrogatePairs()
{
    const QString path = m_dir.filePath(QStringLiteral("nonbmp.mdb"));
    const QString text = QStringLiteral("李四😀𠀀"); // emoji and a CJK Extension B character
    {
        Writer w(path);
        w.beginTable(kAllTypes);
        w.addRow({text, 1, text, QVariant(), QVariant()});
        w.finish();
    }
    const MdbTable t = readWithLibmdb(path, kAllTypes.name);
    QVERIFY(t.ok);
    QCOMPARE(t.rows.size(), size_t(1));
    // The stored UTF-16 is exactly the text; libmdb 1.0 itself converts with UCS-2 and shows
    // each half of a surrogate pair as "?".
    QCOMPARE(t.rows[0][0].storedText(), text);
    QCOMPARE(t.rows[0][0].raw.size(), text.size() * 2);
    QVERIFY(t.rows[0][0].text.startsWith(QStringLiteral("李四")));
    QVERIFY(t.rows[0][2].text.startsWith(QStringLiteral("李四")));
}

void TestJet::manyRowsOverManyPages()
{
    const QString path = m_dir.filePath(QStringLiteral("many.mdb"));
    const TableDef wide{QStringLiteral("Wide"),
                        {{QStringLiteral("id"), jet::kLong, 0},
                         {QStringLiteral("a"), jet::kText, 255},
                         {QStringLiteral("b"), jet::kText, 255},
                         {QStringLiteral("m"), jet::kMemo, 0}}};
    const TableDef small{QStringLiteral("Small"), {{QStringLiteral("n"), jet::kLong, 0}}};
    const int rows = 40000; // wide rows: several thousand pages, beyond one inline usage map
    {
        Writer w(path);
        w.beginTable(wide);
        for (int i = 0; i < rows; ++i) {
            const QString a = QStringLiteral("行%1-").arg(i) + repeated(QStringLiteral("甲乙丙"), 40);
            w.addRow({i, a, i % 7 == 0 ? QVariant() : QVariant(QStringLiteral("b%1").arg(i)),
                      i % 3 == 0 ? QVariant(repeated(QStringLiteral("memo%1 ").arg(i), 300)) : QVariant()});
        }
        w.endTable();
        w.beginTable(small); // a table after a big one, and one without rows
        w.endTable();
        w.beginTable(TableDef{QStringLiteral("After"), {{QStringLiteral("n"), jet::kLong, 0}}});
        for (int i = 0; i < 300; ++i)
            w.addRow({i * 2});
        w.finish();
    }
    QVERIFY(QFileInfo(path).size() > 1000 * kPageSize);
    const MdbTable t = readWithLibmdb(path, wide.name);
    QVERIFY(t.ok);
    QCOMPARE(int(t.rows.size()), rows);
    for (int i = 0; i < rows; ++i) {
        const auto &r = t.rows[size_t(i)];
        QCOMPARE(r[0].text.toInt(), i);
        QVERIFY(r[1].text.startsWith(QStringLiteral("行%1-甲乙丙").arg(i)));
        QCOMPARE(r[2].null, i % 7 == 0);
        if (i % 3 == 0)
            QCOMPARE(r[3].text, repeated(QStringLiteral("memo%1 ").arg(i), 300));
        else
            QVERIFY(r[3].null);
    }
    QCOMPARE(readWithLibmdb(path, small.name).rows.size(), size_t(0));
    const MdbTable after = readWithLibmdb(path, QStringLiteral("After"));
    QCOMPARE(after.rows.size(), size_t(300));
    QCOMPARE(after.rows[299][0].text, QStringLiteral("598"));
}

void TestJet::passwordDecodesBack_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QDateTime>("created");
    QTest::newRow("fixed") << QStringLiteral("41729063") << QDateTime(QDate(2009, 3, 16), QTime(9, 30));
    QTest::newRow("none") << QString() << QDateTime(QDate(2021, 7, 1), QTime(0, 0));
    QTest::newRow("twenty chars") << QStringLiteral("abcdefghij0123456789")
                                  << QDateTime(QDate(1999, 1, 1), QTime(1, 2, 3));
    QTest::newRow("chinese") << QStringLiteral("青穹阁") << QDateTime(QDate(2030, 12, 31), QTime(23, 0));
}

void TestJet::passwordDecodesBack()
{
    QFETCH(QString, password);
    QFETCH(QDateTime, created);
    const QString path = m_dir.filePath(QStringLiteral("pw.mdb"));
    {
        Writer w(path, password);
        w.setCreationDate(created);
        w.beginTable(kAllTypes);
        w.addRow({QStringLiteral("a"), 1, QVariant(), QVariant(), QVariant()});
        w.finish();
    }
    const QByteArray p0 = page0(path);
    QVERIFY(looksLikeJetHeader(p0));
    QCOMPARE(readDatabasePassword(p0), password);

    // Decode by hand: the area is the UTF-16 password, zero-padded, under the date mask.
    QByteArray plain = p0.left(0x98);
    const unsigned char key[4] = {0xc7, 0xda, 0x39, 0x6b};
    rc4(key, 4, reinterpret_cast<unsigned char *>(plain.data()) + 0x18, 128);
    double date;
    std::memcpy(&date, plain.constData() + 0x72, 8);
    QCOMPARE(date, toJetDate(created));
    const qint32 days = qint32(date);
    QByteArray expected(40, '\0');
    std::memcpy(expected.data(), password.utf16(), size_t(password.size()) * 2);
    for (int i = 0; i < 40; ++i)
        QCOMPARE(quint8(plain[0x42 + i] ^ quint8(quint32(days) >> (8 * (i % 4)))), quint8(expected[i]));
    // The page key stays zero, and libmdb still reads the file.
    QCOMPARE(plain.mid(0x3e, 4), QByteArray(4, '\0'));
    const MdbTable t = readWithLibmdb(path, kAllTypes.name);
    QVERIFY(t.ok);
    QCOMPARE(t.dbKey, 0ul);
    QCOMPARE(t.rows.size(), size_t(1));
}

void TestJet::headerIsNotTakenForAnEncryptedFile()
{
    // The scrambling is RC4 with the fixed key: its keystream starts with these bytes.
    unsigned char zeros[8] = {};
    const unsigned char key[4] = {0xc7, 0xda, 0x39, 0x6b};
    rc4(key, 4, zeros, 8);
    const unsigned char stream[8] = {0xb5, 0x6f, 0x03, 0x62, 0x61, 0x08, 0xc2, 0x55};
    QCOMPARE(QByteArray(reinterpret_cast<char *>(zeros), 8), QByteArray(reinterpret_cast<const char *>(stream), 8));

    QVERIFY(!looksLikeJetHeader(QByteArray(kPageSize, '\0')));
    QVERIFY(!looksLikeJetHeader(QByteArray("Standard Jet DB")));
    QByteArray jet3 = buildHeaderPage(QString(), 40000.0);
    jet3[0x14] = 0;
    QVERIFY(!looksLikeJetHeader(jet3));
    QCOMPARE(readDatabasePassword(jet3), QString());
}

void TestJet::mdbtoolsProgramsReadTheFile()
{
    const QString path = m_dir.filePath(QStringLiteral("tools.mdb"));
    {
        Writer w(path);
        for (const TableDef &def : directorySchema()) {
            w.beginTable(def);
            QVector<QVariant> row;
            for (const ColumnDef &c : def.columns) {
                switch (c.type) {
                case jet::kLong: row << 7; break;
                case jet::kDateTime: row << QDateTime(QDate(2003, 4, 5), QTime(6, 7, 8)); break;
                default: row << QStringLiteral("%1的值, \"引号\"").arg(c.name); break;
                }
            }
            w.addRow(row);
            w.endTable();
        }
        w.finish();
    }
    ToolResult r = runTool(QStringLiteral("mdb-ver"), {path});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out.trimmed(), QByteArray("JET4"));

    r = runTool(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), path});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts),
             QStringList({"lawyer", "lawRoom", "Hongkong", "HongkongLawyerInfo", "Macao", "Taiwan"}));

    r = runTool(QStringLiteral("mdb-schema"), {path});
    QCOMPARE(r.exitCode, 0);
    const QString schema = QString::fromUtf8(r.out);
    QVERIFY(schema.contains(QRegularExpression(QStringLiteral("\\[l_id\\]\\s+Long Integer"))));
    QVERIFY(schema.contains(QRegularExpression(QStringLiteral("\\[l_realName\\]\\s+Text \\(255\\)"))));
    QVERIFY(schema.contains(QRegularExpression(QStringLiteral("\\[l_address\\]\\s+Memo"))));
    QVERIFY(schema.contains(QRegularExpression(QStringLiteral("\\[mc_date\\]\\s+DateTime"))));

    r = runTool(QStringLiteral("mdb-prop"), {path, QStringLiteral("lawyer")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QByteArray());

    {
        QProcess sql;
        sql.start(QStringLiteral("mdb-sql"), {QStringLiteral("-H"), QStringLiteral("-F"), QStringLiteral("-P"), path});
        sql.write("SELECT l_id, l_city FROM lawyer WHERE l_city LIKE '%city%'\ngo\n");
        sql.closeWriteChannel();
        QVERIFY(sql.waitForFinished(-1));
        QCOMPARE(sql.exitCode(), 0);
        QVERIFY2(QString::fromUtf8(sql.readAllStandardOutput()).contains(QStringLiteral("l_city的值")),
                 "mdb-sql found no row");
    }

    r = runTool(QStringLiteral("mdb-export"),
                {QStringLiteral("-T"), QStringLiteral("%Y-%m-%d %H:%M:%S"), path, QStringLiteral("Macao")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QString::fromUtf8(r.out),
             QStringLiteral("mc_name,mc_date,mc_reg_date,mc_class,mc_domain\n"
                            "\"mc_name的值, \"\"引号\"\"\",\"2003-04-05 06:07:08\",\"2003-04-05 06:07:08\","
                            "\"mc_class的值, \"\"引号\"\"\",\"mc_domain的值, \"\"引号\"\"\"\n"));
    r = runTool(QStringLiteral("mdb-export"), {path, QStringLiteral("lawyer")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QString::fromUtf8(r.out),
             QStringLiteral(
                 "l_id,l_realName,l_sex,l_province,l_city,l_address,l_domain\n7,\"l_realName的值, \"\"引号\"\"\",")
                 + QStringLiteral("\"l_sex的值, \"\"引号\"\"\",\"l_province的值, \"\"引号\"\"\",")
                 + QStringLiteral("\"l_city的值, \"\"引号\"\"\",\"l_address的值, \"\"引号\"\"\",")
                 + QStringLiteral("\"l_domain的值, \"\"引号\"\"\"\n"));
}

// Strict Jet readers walk the catalog: every object names an existing parent, the system tables
// are defined on the pages their ids name, and MSysObjects has all of Access's columns.
void TestJet::catalogIsTheOneAccessWrites()
{
    const QString path = m_dir.filePath(QStringLiteral("catalog.mdb"));
    {
        Writer w(path, QString());
        for (const QString &name : {QStringLiteral("First"), QStringLiteral("Second")}) {
            w.beginTable({name, {{QStringLiteral("v"), jet::kText, 10}}});
            w.addRow({name});
            w.endTable();
        }
        w.finish();
    }
    // The system tables as Access writes them: the same columns, types and sizes, as libmdb reads
    // them from a file Access made.
    const QString access = QStringLiteral(LSS_SOURCE_DIR "/tests/jet/samples/V2003-empty.mdb");
    for (const char *name : {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"}) {
        const MdbTable ours = readWithLibmdb(path, QString::fromLatin1(name));
        const MdbTable theirs = readWithLibmdb(access, QString::fromLatin1(name));
        QVERIFY2(ours.ok && theirs.ok, name);
        QCOMPARE(ours.columns, theirs.columns);
        QCOMPARE(ours.types, theirs.types);
        QCOMPARE(ours.sizes, theirs.sizes);
        if (qstrcmp(name, "MSysObjects") != 0)
            QCOMPARE(ours.rows.size(), size_t(0));
    }
    const MdbTable cat = readWithLibmdb(path, QStringLiteral("MSysObjects"));
    QStringList objects;
    QSet<QString> ids;
    for (const auto &r : cat.rows) {
        objects << QStringLiteral("%1 %2 %3 %4 %5").arg(r[0].text, r[1].text, r[2].text, r[3].text, r[7].text);
        ids.insert(r[0].text);
    }
    QCOMPARE(objects, QStringList({
                          "251658241 251658240 Tables 3 -2147483648",
                          "251658242 251658240 Databases 3 -2147483648",
                          "251658243 251658240 Relationships 3 -2147483648",
                          "2 251658241 MSysObjects 1 -2147483648",
                          "3 251658241 MSysACEs 1 -2147483648",
                          "4 251658241 MSysQueries 1 -2147483648",
                          "5 251658241 MSysRelationships 1 -2147483648",
                          "268435456 251658242 MSysDb 2 0",
                          "-2147483648 251658240 DataAccessPages 3 0",
                          "-2147483647 251658240 Forms 3 0",
                          "-2147483646 251658240 Modules 3 0",
                          "-2147483645 251658240 Reports 3 0",
                          "-2147483644 251658240 Scripts 3 0",
                          "-2147483643 251658240 SysRel 3 0",
                          "6 251658241 First 1 0",
                          "8 251658241 Second 1 0",
                      }));
    for (const auto &r : cat.rows)
        QVERIFY2(r[1].text == QLatin1String("251658240") || ids.contains(r[1].text), qPrintable(r[2].text));

    // A table's id is the page of its definition.
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    for (const auto &r : cat.rows)
        if (r[3].text == QLatin1String("1"))
            QCOMPARE(int(bytes.at(r[0].text.toInt() * kPageSize)), 2);
    ToolResult r = runTool(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), QStringLiteral("-S"), path});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts),
             QStringList({"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships", "First", "Second"}));
    // The program sees the user tables only.
    QCOMPARE(JetFile(path, QString()).tableNames(), QStringList({"First", "Second"}));
}

void TestJet::unfinishedWriterLeavesNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("never.mdb"));
    {
        Writer w(path);
        w.beginTable(kAllTypes);
        w.addRow({QStringLiteral("a"), 1, QVariant(), QVariant(), QVariant()});
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());

    // An existing file stays as it was until a new one is complete.
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    {
        Writer w(path);
        w.beginTable(kAllTypes);
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"never.mdb"}));
    QCOMPARE(QFileInfo(path).size(), 3);
}

void TestJet::rejectsBadValues()
{
    QTemporaryDir dir;
    Writer w(dir.filePath(QStringLiteral("bad.mdb")));
    w.beginTable(kAllTypes);
    QVERIFY_THROWS_EXCEPTION(Error, w.addRow({QStringLiteral("a")}));
    QVERIFY_THROWS_EXCEPTION(Error,
                             w.addRow({repeated(QStringLiteral("x"), 256), 1, QVariant(), QVariant(), QVariant()}));
    QVERIFY_THROWS_EXCEPTION(Error,
                             w.addRow({QVariant(), QVariant(), QVariant(), QVariant(), QStringLiteral("elevenchars")}));
    QVERIFY_THROWS_EXCEPTION(Error, w.addRow({QVariant(), QStringLiteral("x1"), QVariant(), QVariant(), QVariant()}));
    QVERIFY_THROWS_EXCEPTION(Error, w.addRow({QVariant(), 1LL << 40, QVariant(), QVariant(), QVariant()}));
    QVERIFY_THROWS_EXCEPTION(Error, w.addRow({QVariant(), QVariant(), QVariant(), QStringLiteral("soon"), QVariant()}));
    // A character outside the BMP takes two of the 255 code units.
    w.addRow(
        {repeated(QStringLiteral("x"), 253) + QStringLiteral("😀"), QVariant(), QVariant(), QVariant(), QVariant()});
    QVERIFY_THROWS_EXCEPTION(Error, w.addRow({repeated(QStringLiteral("x"), 254) + QStringLiteral("😀"), QVariant(),
                                              QVariant(), QVariant(), QVariant()}));
    w.endTable();
    QVERIFY_THROWS_EXCEPTION(Error, w.beginTable(kAllTypes)); // same name twice
    QVERIFY_THROWS_EXCEPTION(Error, w.beginTable(TableDef{QStringLiteral("MSysObjects"), kAllTypes.columns}));
    // A column is named by Jet's type code; a code Jet 4 does not have is refused.
    QVERIFY_THROWS_EXCEPTION(Error, w.beginTable(TableDef{QStringLiteral("Odd"), {{QStringLiteral("o"), 0x0D}}}));
    QVERIFY_THROWS_EXCEPTION(Error,
                             Writer(dir.filePath(QStringLiteral("p.mdb")), QStringLiteral("abcdefghij01234567890")));
}

QTEST_GUILESS_MAIN(TestJet)
#include "test_jet.moc"
