// Numbers through the statement engine: exact decimals beyond a double's precision compare,
// sort and print exactly; NaN, infinities and -0 are values; doubles print in their shortest
// exact form.
#include "QueryRows.h"
#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/DatabaseError.h"
#include "data/Query.h"
#include "data/StatementRows.h"
#include "data/jet/Writer.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

class TestNumbers : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    Connection m_conn;

    QStringList run(const QString &sql)
    {
        Query q;
        q.setConnection(&m_conn);
        q.SQL().Add(sql);
        q.Open();
        return queryRows(q);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString path = m_dir.filePath(QStringLiteral("numbers.mdb"));
        const double inf = std::numeric_limits<double>::infinity();
        const double nan = std::numeric_limits<double>::quiet_NaN();
        jet::Writer w(path, QString());
        auto other = [](const char *name, quint8 type) {
            jet::ColumnDef c{QString::fromLatin1(name), type};
            c.precision = 28;
            c.scale = 4;
            return c;
        };
        w.beginTable({QStringLiteral("N"),
                      {{QStringLiteral("id"), jet::kLong},
                       other("cu", jet::kCurrency),
                       other("de", jet::kDecimal),
                       other("db", jet::kDouble),
                       other("si", jet::kSingle)}});
        const QVariant none;
        const QList<QVariantList> rows{
            {1, QStringLiteral("-922337203685477.5808"), QStringLiteral("-123456789012345678901234.5678"), nan,
             float(nan)},
            {2, QStringLiteral("922337203685477.5807"), QStringLiteral("123456789012345678901234.5677"), inf, 1.1f},
            {3, QStringLiteral("1000.5"), QStringLiteral("123456789012345678901234.5678"), -inf, -0.0f},
            {4, QStringLiteral("100"), QStringLiteral("100"), -0.0, 3.4028235e38f},
            {5, QStringLiteral("-2.25"), QStringLiteral("-2.25"), 5e-324, none},
            {6, none, none, 1.7976931348623157e308, none},
            {7, QStringLiteral("0.0001"), QStringLiteral("0.0001"), 1.1, none},
            {8, QStringLiteral("1.1"), none, 123.5, none},
            {9, none, none, 1e21, none},
            {10, none, none, 1e-7, none},
            {11, none, none, 0.000001, none},
            {12, none, none, 1e20, none},
            // Neighbours a double cannot tell apart.
            {13, QStringLiteral("922337203685477.5806"), none, 2.5, none},
            {14, QStringLiteral("900719925474.0993"), none, 2.5, none},
            {15, QStringLiteral("900719925474.0992"), none, 2.5, none},
            {16, QStringLiteral("0.1"), none, 2.5, none},
            {17, QStringLiteral("0.2"), none, 2.5, none},
        };
        for (const QVariantList &row : rows)
            w.addRow(row);
        w.endTable();
        w.finish();
        connectTo(m_conn, path);
    }

    void statements_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("rows");
        auto row = [](const char *name, const char *sql, const QStringList &rows) {
            QTest::newRow(name) << QString::fromUtf8(sql) << rows;
        };
        // Currency at its limits: compared with literals and sorted among small values as numbers.
        row("currency > 1000", "select cu from N where cu > 1000 order by id",
            {"922337203685477.5807", "1000.5", "922337203685477.5806", "900719925474.0993", "900719925474.0992"});
        // Literals of more digits than a double holds compare digit for digit.
        row("currency > long literal", "select id from N where cu > 922337203685477.5806", {"2"});
        row("currency = long literal",
            "select id from N where cu = 922337203685477.5806 or cu = 900719925474.0993 order by id", {"13", "14"});
        row("currency < long negative literal", "select id from N where cu < -922337203685477.5807", {"1"});
        row("long literals reversed and in ranges",
            "select id from N where 922337203685477.5806 < cu"
            " or cu not between -922337203685477.5807 and 900719925474.0993 order by id",
            {"1", "2", "13"});
        row("long literals in a list",
            "select id from N where cu in (900719925474.0992, +922337203685477.5807) order by id", {"2", "15"});
        row("long literal beside arithmetic compares doubles",
            "select id from N where cu * 1 = 922337203685477.5806 order by id", {"2", "13"});
        row("long literal after arithmetic compares doubles",
            "select count(*) from N where 0 + cu < 922337203685477.5806", {"10"});
        row("exact column with exact column, text and parameter-like text",
            "select count(*) from N as a join N as b on a.cu = b.cu where a.cu = ' 900719925474.0993 '", {"1"});
        row("negated keeps every digit", "select -cu, -N.de, -cu * 2 from N where id = 2",
            {"-922337203685477.5807|-123456789012345678901234.5677|-1844674407370955.2"});
        row("negated compares and sorts exactly",
            "select id from N where -cu > -922337203685477.5807 and -cu < 0 order by -cu",
            {"13", "14", "15", "3", "4", "8", "17", "16", "7"});
        row("average of currency", "select avg(cu), avg(id) from N where id in (16, 17)", {"0.15|16.5"});
        row("average rounds to four places",
            "select avg(cu) from N where id in (8, 16, 17) union all select avg(cu) from N where id in (2, 13)",
            {"0.4667", "922337203685477.5806"});
        row("currency = its minimum", "select id from N where cu = -922337203685477.5808", {"1"});
        row("currency < 0", "select id from N where cu < 0 order by id", {"1", "5"});
        row("currency order", "select cu from N where cu is not null order by cu",
            {"-922337203685477.5808", "-2.25", "0.0001", "0.1", "0.2", "1.1", "100", "1000.5", "900719925474.0992",
             "900719925474.0993", "922337203685477.5806", "922337203685477.5807"});
        row("currency min max", "select min(cu), max(cu) from N", {"-922337203685477.5808|922337203685477.5807"});
        row("currency between", "select cu from N where cu between -3 and 2 order by cu",
            {"-2.25", "0.0001", "0.1", "0.2", "1.1"});
        row("currency = text and integer", "select id from N where cu = '1000.5' or cu = 100 order by id", {"3", "4"});
        row("currency arithmetic", "select cu * 2, cu + 0.5 from N where id = 3", {"2001|1001"});
        row("currency sum, exact", "select sum(cu), sum(de) from N where id in (1, 5, 7)",
            {"-922337203685479.8307|-123456789012345678901236.8177"});
        row("sum of tenths", "select sum(cu) from N where id in (7, 8) or cu = 1.1", {"1.1001"});
        row("sum whole", "select sum(cu), sum(id), typeof(sum(cu)) from N where id in (4, 6)", {"100|10|integer"});
        row("sum running", "select sum(cu) over (order by id rows 1 preceding) from N where id in (3, 4, 5)",
            {"1000.5", "1100.5", "97.75"});
        row("sum of doubles", "select sum(db) from N where id in (7, 8)", {"124.6"});
        row("sum of nothing", "select sum(cu), sum(id) from N where id > 100", {"|"});
        row("currency sum of small", "select sum(cu) from N where abs(cu) < 1000", {"99.1501"});
        // Decimal of 28 digits: two values a double cannot tell apart keep their own text.
        row("decimal order", "select de from N where de is not null order by de, id",
            {"-123456789012345678901234.5678", "-2.25", "0.0001", "100", "123456789012345678901234.5677",
             "123456789012345678901234.5678"});
        row("decimal > literal", "select id from N where de > 1e23 order by id", {"2", "3"});
        row("decimal max", "select max(de) from N where id = 2", {"123456789012345678901234.5677"});
        // NaN is a value; infinities are values; -0 keeps its sign.
        row("nan is not null", "select id from N where db is null or si is null and id < 5", {});
        row("nan prints", "select db, si from N where id = 1", {"NaN|NaN"});
        row("nan is not greater", "select id from N where db > 1e300 or si > 1e300 order by id", {"2", "6"});
        row("nan sorts below infinity", "select db from N where id in (1, 2, 3, 4) order by db",
            {"-Infinity", "NaN", "-0", "Infinity"});
        row("infinities", "select db from N where id in (2, 3) order by db", {"-Infinity", "Infinity"});
        row("negative zero", "select db, si from N where id in (3, 4) order by id",
            {"-Infinity|-0", "-0|3.4028235e38"});
        row("single keeps its digits", "select si from N where id = 2", {"1.1"});
        // The shortest text that reads back: an exponent only far from 1.
        row("extremes", "select db from N where id in (5, 6, 9, 10, 11, 12) order by id",
            {"5e-324", "1.7976931348623157e308", "1e21", "0.0000001", "0.000001", "100000000000000000000"});
        row("ordinary", "select db from N where id in (7, 8) order by id", {"1.1", "123.5"});
    }
    void statements()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, rows);
        QCOMPARE(run(sql), rows);
    }

    // A rewritten expression keeps the name it was written with.
    void fieldNames()
    {
        Query q;
        q.setConnection(&m_conn);
        q.SQL().Add(QStringLiteral("select -cu, cu = 922337203685477.5806 from N"));
        q.Open();
        QCOMPARE(q.fieldNames(), (QStringList{"-cu", "cu = 922337203685477.5806"}));
    }

    void shortestForms_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("one tenth") << 0.1 << "0.1";
        QTest::newRow("sum of tenths") << 0.1 + 0.2 << "0.30000000000000004";
        QTest::newRow("million") << 1e6 << "1000000";
        QTest::newRow("large") << 1.5e300 << "1.5e300";
        QTest::newRow("small") << -2.5e-10 << "-2.5e-10";
        QTest::newRow("first with exponent") << 1e-8 << "1e-8";
        QTest::newRow("last without") << 9.5e20 << "950000000000000000000";
        QTest::newRow("zero") << 0.0 << "0";
    }
    void shortestForms()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(statementrows::formatReal(value)), text);
    }
};

QTEST_GUILESS_MAIN(TestNumbers)
#include "test_numbers.moc"
