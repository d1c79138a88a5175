// Text comparison of the engine without regard to case for every letter (accented, Greek,
// Cyrillic), through "=", LIKE, GROUP BY and ORDER BY, over a file made by the Jet writer.
#include "data/DatabaseError.h"
#include "data/Prefilter.h"
#include "data/ResultSet.h"
#include "data/SqlEngine.h"
#include "data/TextCompare.h"
#include "data/jet/JetValues.h"
#include "data/jet/Writer.h"

#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

const QString kPassword = QStringLiteral("41729063");

void writeNames(const QString &path)
{
    jet::Writer w(path, kPassword);
    jet::TableDef names{QStringLiteral("Names"),
                        {{QStringLiteral("n_id"), jet::kLong, 0},
                         {QStringLiteral("n_name"), jet::kText, 50},
                         {QStringLiteral("n_city"), jet::kText, 50}}};
    w.beginTable(names);
    w.addRow({1, QStringLiteral("JOÃO Silva"), QStringLiteral("MACAU")});
    w.addRow({2, QStringLiteral("joão santos"), QStringLiteral("Macau")});
    w.addRow({3, QStringLiteral("ÉMILE"), QStringLiteral("ÉVORA")});
    w.addRow({4, QStringLiteral("émile"), QStringLiteral("évora")});
    w.addRow({5, QStringLiteral("郑州律师"), QStringLiteral("郑州")});
    w.addRow({6, QStringLiteral("ΣΩΚΡΆΤΗΣ"), QStringLiteral("Αθήνα")});
    w.addRow({7, QStringLiteral("Иван"), QStringLiteral("МОСКВА")});
    w.addRow({8, QVariant(), QVariant()});
    w.addRow({9, QStringLiteral("100%_done"), QStringLiteral("Evora")});
    w.addRow({10, QStringLiteral("Anna"), QStringLiteral("北京")});
    w.endTable();
    w.beginTable({QStringLiteral("Évora Ώρα"), {{QStringLiteral("e_x"), jet::kText, 10}}});
    w.addRow({QStringLiteral("x")});
    w.endTable();
    w.finish();
}

} // namespace

class TestTextCase : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<SqlEngine> m_engine;

    // The first column of every row, joined by spaces.
    QString ids(const QString &where, const QStringList &params = {})
    {
        const auto rs = m_engine->execute(QStringLiteral("select n_id from Names where ") + where, params);
        QStringList out;
        for (int r = 0; r < rs->rowCount(); ++r)
            out << rs->value(r, 0);
        return out.join(QLatin1Char(' '));
    }
    QString rows(const QString &sql) { return rows(*m_engine, sql); }
    static QString rows(SqlEngine &engine, const QString &sql)
    {
        const auto rs = engine.execute(sql, {});
        QStringList out;
        for (int r = 0; r < rs->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < rs->fieldCount(); ++c)
                cells << rs->value(r, c);
            out << cells.join(QLatin1Char('|'));
        }
        return out.join(QLatin1Char(' '));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString path = m_dir.filePath(QStringLiteral("names.mdb"));
        writeNames(path);
        m_engine = std::make_unique<SqlEngine>(path, kPassword);
    }

    // Criteria through LIKE, ESCAPE and "=", each with the ids of the rows it finds.
    void criteria_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QStringList>("params");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, const char *where, const char *expected, const QStringList &params = {}) {
            QTest::newRow(name) << QString::fromUtf8(where) << params << QString::fromUtf8(expected);
        };
        row("accent lower", "n_name like '%joão%'", "1 2");
        row("accent upper", "n_name like '%JOÃO%'", "1 2");
        row("accent start", "n_name like 'émile'", "3 4");
        row("accent end", "n_city like '%ÉVORA'", "3 4");
        row("accent is not plain", "n_city like 'evora'", "9");
        row("greek final sigma", "n_name like 'σωκράτης'", "6");
        row("cyrillic", "n_city like '%оскв%'", "7");
        row("whole value", "n_name like 'joão'", "");
        row("ascii", "n_name like 'ANN_'", "10");
        row("ascii inside", "n_city like '%aca%'", "1 2");
        row("chinese", "n_city like '%北京%'", "10");
        row("chinese start", "n_name like '郑州%'", "5");
        row("chinese missing", "n_city like '%南%'", "");
        row("chinese between wildcards", "n_name like '%州_师'", "5");
        row("chinese beside letters", "n_name like '%Anna%' or n_city like '京'", "10");
        row("digits", "n_name like '10_!%%'", "");
        row("digits start", "n_name like '100%'", "9");
        row("chinese and a list", "n_city like '%北京%' and n_name like '%n%'", "10");
        row("not like", "n_city not like '%a%'", "5 6 7 10");
        row("percent alone", "n_name like '%'", "1 2 3 4 5 6 7 9 10");
        row("percents", "n_name like '%%o%%n%%'", "2 9");
        row("list", "n_city like '[em]%'", "1 2 9");
        row("list negated", "n_city like '[!m]%'", "3 4 5 6 7 9 10");
        row("range", "n_city like '[d-f]vora'", "9");
        row("range folds", "n_city like '[D-F]VORA'", "9");
        row("list accented", "n_city like '[é]vora'", "3 4");
        row("list chinese", "n_city like '[郑北]%'", "5 10");
        row("list percent", "n_name like '100[%]%'", "9");
        row("list underscore", "n_name like '%[_]d%'", "9");
        row("list bracket", "n_name like '%[[]%'", "");
        // "_" is one character, whatever its length in bytes.
        row("2-byte latin", "n_name like 'jo_o %'", "1 2");
        row("2-byte upper", "n_name like '_mile'", "3 4");
        row("chinese", "n_name like '郑_律师'", "5");
        row("chinese too many", "n_name like '郑__律师'", "");
        row("two chinese", "n_city like '__'", "5 10");
        row("chinese at end", "n_city like '%_州'", "5");
        row("greek", "n_city like '_θήν_'", "6");
        // A NULL on either side, or as the escape, is unknown, never a match.
        row("null like", "(n_name like '%') is null", "8");
        row("null not like", "(n_name not like 'x') is null", "8");
        row("like null", "n_id = 1 and (n_name like null) is null", "1");
        row("escape null", "n_id = 1 and (n_name like 'j%' escape null) is null", "1");
        row("null equals", "(n_name = 'x') is null", "8");
        row("escape backslash", "n_name like '100\\%\\_%' escape '\\'", "9");
        row("escape underscore", "n_name like '%!_%' escape '!'", "9");
        row("escape percent", "n_name like '%!%x%' escape '!'", "");
        row("escape nothing to escape", "n_name like '%J' escape 'J'", "");
        // A non-ASCII escape character, and an escaped letter still folds.
        row("escape non-ascii", "n_name like 'éÉMILE' escape 'é'", "3 4");
        // "=" through the column's collation, with texts and parameters on either side.
        row("equals accented", "n_city = 'évora'", "3 4");
        row("equals parameter", "n_city = ?1", "3 4", {QStringLiteral("ÉVORA")});
        row("parameter equals", "?1 = n_name", "1", {QStringLiteral("JOÃO SILVA")});
        row("equals cyrillic", "n_city = 'москва'", "7");
        row("in", "n_city in ('macau', 'αθήνα')", "1 2 6");
        row("equals plain", "n_city = 'evora'", "9");
        row("equals chinese parameter", "n_city = ?1", "5", {QStringLiteral("郑州")});
        row("equals part of a value", "n_city = '郑'", "");
        row("equals twice", "n_city = '北京' and n_name = ?1", "10", {QStringLiteral("ANNA")});
        row("equals rtrim", "n_city = ?1 collate rtrim", "10", {QStringLiteral("北京  ")});
        row("equals ascii", "n_name = 'anna'", "10");
    }

    void criteria()
    {
        QFETCH(QString, where);
        QFETCH(QStringList, params);
        QFETCH(QString, expected);
        QCOMPARE(ids(where, params), expected);
    }

    // The tables skip rows by runs of characters that match only themselves: no character may
    // fold to one of them, nor one of them to anything else, under the engine's folding or
    // SQLite's NOCASE (A-Z); and none may be a LIKE wildcard.
    void selfMatchingCharactersStayApartFromFolding()
    {
        int selfOnly = 0;
        for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
            if (cp >= 0xD800 && cp <= 0xDFFF)
                continue;
            const char32_t folded = jettext::foldCase(cp);
            if (jettext::matchesOnlyItself(cp)) {
                ++selfOnly;
                if (folded != cp || (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z') || cp == '%' || cp == '_'
                    || cp == '[')
                    QFAIL(
                        qPrintable(QStringLiteral("U+%1 folds or is special").arg(uint(cp), 4, 16, QLatin1Char('0'))));
            }
            if (folded != cp && jettext::matchesOnlyItself(folded))
                QFAIL(qPrintable(QStringLiteral("U+%1 folds to U+%2")
                                     .arg(uint(cp), 4, 16, QLatin1Char('0'))
                                     .arg(uint(folded), 4, 16, QLatin1Char('0'))));
        }
        QVERIFY(selfOnly > 20000); // digits and the Chinese characters at least
        QVERIFY(jettext::matchesOnlyItself(U'郑') && jettext::matchesOnlyItself(U'7'));
    }

    // Table names without regard to the case of any letter, as Jet finds them.
    void tableNamesFoldEveryLetter()
    {
        for (const char *name : {"Évora Ώρα", "évora ώρα", "ÉVORA ΏΡΑ", "éVoRa Ώρα"})
            QCOMPARE(rows(QStringLiteral("select e_x from \"%1\"").arg(QString::fromUtf8(name))), QStringLiteral("x"));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, rows(QStringLiteral("select e_x from \"Evora Ώρα\"")));
    }

    // Escape characters that cannot be.
    void escape()
    {
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, ids(QStringLiteral("n_name like 'a' escape 'ab'")));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, ids(QStringLiteral("n_name like 'a' escape ''")));
    }

    void groupAndOrderFollowTheCollation()
    {
        QCOMPARE(rows(QStringLiteral("select count(*) from Names where n_city is not null group by n_city "
                                     "order by n_city")),
                 QStringLiteral("1 2 2 1 1 1 1")); // Evora, macau, évora, αθήνα, москва, 北京, 郑州
        QCOMPARE(rows(QStringLiteral("select count(distinct n_name) from Names")), QStringLiteral("8"));
        // Text columns alone, sorted and repeated: rows of the table in another order and copies.
        QCOMPARE(
            rows(QStringLiteral("select n_city, n_name from Names where n_id in (1, 5, 8, 10) order by n_city desc")),
            QStringLiteral("郑州|郑州律师 北京|Anna MACAU|JOÃO Silva |"));
        QCOMPARE(rows(QStringLiteral("select a.n_city from Names a, Names b where a.n_id = 5 and b.n_id < 3")),
                 QStringLiteral("郑州 郑州"));
        QCOMPARE(rows(QStringLiteral("select n_id from Names where n_id in (1, 3, 6, 7, 10) order by n_name, n_id")),
                 QStringLiteral("10 1 3 6 7"));
    }

    // A fresh connection: the first statement reads the columns its Chinese criterion does not
    // test for the matching rows only; the next one reads the table through.
    void firstStatementOnFewRows_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("next");
        QTest::addColumn<QString>("nextExpected");
        auto row = [](const char *name, const char *first, const char *expected, const char *next,
                      const char *nextExpected) {
            QTest::newRow(name) << QString::fromUtf8(first) << QString::fromUtf8(expected) << QString::fromUtf8(next)
                                << QString::fromUtf8(nextExpected);
        };
        row("like", "select n_name, n_id from Names where n_city like '%郑%'", "郑州律师|5",
            "select n_name from Names where n_id > 8", "100%_done Anna");
        row("equals, sorted", "select n_city, n_name from Names where n_city = '北京' order by n_name", "北京|Anna",
            "select count(*) from Names where n_city like '%京%'", "1");
        row("two criteria", "select n_id from Names where n_city like '%北京%' and n_name like 'a%'", "10",
            "select n_id from Names where n_name like 'a%'", "10");
        row("none", "select n_name from Names where n_city like '%上海%'", "",
            "select count(n_name), count(n_city) from Names", "9|9");
    }
    void firstStatementOnFewRows()
    {
        QFETCH(QString, first);
        QFETCH(QString, expected);
        QFETCH(QString, next);
        QFETCH(QString, nextExpected);
        SqlEngine engine(m_dir.filePath(QStringLiteral("names.mdb")), kPassword);
        QCOMPARE(rows(engine, first), expected);
        QCOMPARE(rows(engine, next), nextExpected);
        QCOMPARE(rows(engine, first), expected);
    }

    // Stored text to UTF-8: plain UTF-16, and the compressed form (marker FF FE, one-byte runs
    // and UTF-16 runs switched by 00), with what is left over at the ends.
    void decodeStoredText_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << QByteArray::fromHex("41002d4ee900") << QStringLiteral("A中é");
        QTest::newRow("plain odd byte") << QByteArray::fromHex("410042") << QStringLiteral("A");
        QTest::newRow("plain pair") << QByteArray::fromHex("3dd800de") << QStringLiteral("😀");
        QTest::newRow("plain lone") << QByteArray::fromHex("00d841") << QStringLiteral("\uFFFD");
        QTest::newRow("compressed") << QByteArray::fromHex("fffe4142e9") << QStringLiteral("ABé");
        QTest::newRow("switched") << QByteArray::fromHex("fffe41002d4e0042") << QStringLiteral("A中B");
        QTest::newRow("switched at once") << QByteArray::fromHex("fffe002d4e2d4e") << QStringLiteral("中中");
        QTest::newRow("half unit at end") << QByteArray::fromHex("fffe41004e") << QStringLiteral("A");
        QTest::newRow("switch at end") << QByteArray::fromHex("fffe41002d4e00") << QStringLiteral("A中");
        QTest::newRow("pair in run") << QByteArray::fromHex("fffe003dd801de0021") << QStringLiteral("😁!");
        QTest::newRow("high before switch") << QByteArray::fromHex("fffe003dd80078") << QStringLiteral("\uFFFDx");
        QTest::newRow("marker only") << QByteArray::fromHex("fffe") << QString();
    }
    void decodeStoredText()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, text);
        std::string out = "left over";
        jet::decodeText(reinterpret_cast<const uchar *>(stored.constData()), size_t(stored.size()), out);
        QCOMPARE(QString::fromStdString(out), text);
    }

    // Cases the file cannot hold easily: characters folding across byte lengths, order, odd bytes.
    void directCompare()
    {
        auto cmp = [](const QByteArray &a, const QByteArray &b) {
            const int r = jettext::compare(a.constData(), size_t(a.size()), b.constData(), size_t(b.size()));
            return r < 0 ? -1 : r > 0 ? 1 : 0;
        };
        auto like = [](const QByteArray &p, const QByteArray &v, char32_t esc = 0) {
            return jettext::like(p.constData(), size_t(p.size()), v.constData(), size_t(v.size()), esc);
        };
        QCOMPARE(cmp("", ""), 0);
        QCOMPARE(cmp("a", ""), 1);
        QCOMPARE(cmp("abc", "ABD"), -1);
        QCOMPARE(cmp("Zürich", "ZÜRICH"), 0);
        QCOMPARE(cmp("zürich", "ZUrich"), 1);
        QCOMPARE(cmp("\xE2\x84\xAA"
                     "elvin",
                     "KELVIN"),
                 0);                      // the Kelvin sign folds to k
        QCOMPARE(cmp("ſ", "S"), 0);       // long s, two bytes, folds to s
        QCOMPARE(cmp("\xFF", "\xFE"), 1); // invalid bytes compare as themselves
        QCOMPARE(cmp("a\xC3", "A\xC3"), 0);

        QVERIFY(like("", ""));
        QVERIFY(!like("", "a"));
        QVERIFY(like("%", ""));
        QVERIFY(like("kelvin", "\xE2\x84\xAA"
                               "ELVIN"));
        QVERIFY(like("%\xE2\x84\xAA%", "ok"));
        QVERIFY(like("%s", "Maſ"));
        QVERIFY(like("a%b%c", "AxxBxxC"));
        QVERIFY(!like("a%b%c", "AxxCxxB"));
        QVERIFY(like("%ab%ab", "abab"));
        QVERIFY(!like("%ab%ab", "ab"));
        QVERIFY(like("_%_", "郑州"));
        QVERIFY(!like("_%_", "郑"));
        QVERIFY(like("%郑%州%", "河南郑州"));
        QVERIFY(!like("%州%郑%", "河南郑州"));
        QVERIFY(like("x#%", "x%", U'#'));
        QVERIFY(!like("x#%", "xy", U'#'));
        QVERIFY(!like("x#", "x#", U'#'));
    }

    // The prefilter searches a column's texts as one buffer: a hit belongs to the row it starts
    // in, and only when it ends there too; every row that holds the text is found.
    void prefilterOverWholeColumn_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("pattern"); // "=x" for equality, else a LIKE pattern
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("exact"); // the test decides the constraint alone
        auto row = [](const char *name, const QStringList &texts, const char *pattern, const char *expected,
                      bool exact) {
            QTest::newRow(name) << texts << QString::fromUtf8(pattern) << QString::fromUtf8(expected) << exact;
        };
        row("never across rows", {"12", "34"}, "%23%", "", true);
        row("across, then in the next row", {"12", "3123", "9"}, "%23%", "1", true);
        row("first and last bytes", {"23x", "y", "", "x23"}, "%23%", "0 3", true);
        row("after empty rows", {"", "", "郑州", "", "河南郑州"}, "%郑%", "2 4", true);
        row("twice in a row, once counted", {"郑郑", "郑"}, "%郑%", "0 1", true);
        row("nothing", {"郑州", "洛阳"}, "%开封%", "", true);
        row("equal", {"23", "123", "2323", "23"}, "=23", "0 3", true);
        row("equal, inside a row only", {"1234", "2"}, "=23", "", true);
        row("equal to empty", {"", "1", ""}, "=", "0 2", true);
        row("no rows", {}, "%1%", "", true);
        row("percent signs doubled", {"x郑州", "州"}, "%%郑%%", "0", true);
        // Only a run between "%"s on both sides is the whole test: SQLite keeps the others.
        row("ends with", {"郑州", "州郑"}, "%郑", "0 1", false);
        row("starts with", {"郑州", "州郑"}, "郑%", "0 1", false);
        row("two runs", {"郑州", "州郑"}, "%郑%州%", "0 1", false);
        row("one more character", {"郑", "郑州"}, "%郑_%", "0 1", false);
        row("a letter too", {"a郑", "A郑", "郑"}, "%a郑%", "0 1 2", false);
        row("exactly, no wildcard", {"郑", "郑州"}, "郑", "0 1", false);
    }
    void prefilterOverWholeColumn()
    {
        QFETCH(QStringList, texts);
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        QFETCH(bool, exact);
        QByteArray buffer;
        std::vector<uint32_t> ends{0};
        for (const QString &t : texts) {
            buffer += t.toUtf8();
            ends.push_back(uint32_t(buffer.size()));
        }
        jetvtab::Prefilter f;
        const std::string operand = pattern.mid(pattern.startsWith('=') ? 1 : 0).toStdString();
        QVERIFY(pattern.startsWith('=') ? f.forEquals(operand) : f.forLike(operand));
        std::vector<uint32_t> rows;
        f.matchingRows(buffer.isEmpty() ? nullptr : buffer.constData(), ends.data(), size_t(texts.size()), rows);
        QStringList found;
        for (uint32_t r : rows)
            found << QString::number(r);
        QCOMPARE(found.join(' '), expected);
        // The same rows as testing each row alone.
        QStringList each;
        for (int r = 0; r < texts.size(); ++r) {
            const QByteArray t = texts.at(r).toUtf8();
            if (f.admits(t.constData(), size_t(t.size())))
                each << QString::number(r);
        }
        QCOMPARE(found.join(' '), each.join(' '));
        // A test that SQLite leaves to the table finds exactly the rows the constraint holds for.
        QCOMPARE(f.exact, exact);
        if (exact) {
            QStringList holding;
            for (int r = 0; r < texts.size(); ++r) {
                const QByteArray t = texts.at(r).toUtf8();
                if (f.whole ? jettext::compare(t.constData(), size_t(t.size()), operand.data(), operand.size()) == 0
                            : jettext::like(operand.data(), operand.size(), t.constData(), size_t(t.size())))
                    holding << QString::number(r);
            }
            QCOMPARE(found.join(' '), holding.join(' '));
        }
    }
};

QTEST_GUILESS_MAIN(TestTextCase)
#include "test_textcase.moc"
