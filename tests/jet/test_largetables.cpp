// Tables as large as a real directory's: read by the engine in two parts on two threads, they
// must give what a single cursor and mdb-export give; damage in either part and a cancelled pass
// must leave nothing half read.
#include "jet/ReadBack.h"

#include "data/ColumnStore.h"
#include "data/DatabaseError.h"
#include "data/jet/Writer.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <thread>

namespace {

using namespace readback;

// Rows of "Big": about 33 a page, so this many fill more pages than one thread reads alone.
constexpr int kBigRows = 38000;

jet::TableDef bigTable()
{
    return {QStringLiteral("Big"),
            {{QStringLiteral("b_id"), jet::kLong, 0},
             {QStringLiteral("b_name"), jet::kText, 60},
             {QStringLiteral("b_city"), jet::kText, 30},
             {QStringLiteral("b_note"), jet::kMemo, 0},
             {QStringLiteral("b_domain"), jet::kText, 40}}};
}

// Row i of "Big": every cell differs from its neighbours'; some notes are long values kept on
// pages of their own, some are NULL. Names are all distinct; cities (some NULL, some empty) and
// domains are a few values repeated.
QVector<QVariant> bigRow(int i)
{
    QVariant note;
    if (i % 13 != 0)
        note = i % 5 == 0 ? QStringLiteral("长备注%1 ").arg(i).repeated(8) : QStringLiteral("注%1").arg(i * 7);
    const QVariant city = i % 101 == 7   ? QVariant()
                          : i % 977 == 3 ? QVariant(QStringLiteral(""))
                                         : QVariant(QStringLiteral("城市%1").arg(i % 977));
    return {i * 7 - 100000, QStringLiteral("律师名字%1号 王某某").arg(i), city, note,
            QStringLiteral("民事、刑事、商事、行政、知识产权 %1").arg(i % 31)};
}

using RowTest = std::function<bool(const QVector<QVariant> &)>;
bool holds(const QVariant &v, const QString &part)
{
    return !v.isNull() && v.toString().contains(part);
}
bool is(const QVariant &v, const QString &text)
{
    return !v.isNull() && v.toString() == text;
}

QString rowText(const QVector<QVariant> &r)
{
    QStringList cells;
    for (const QVariant &v : r)
        cells << (v.isNull() ? QString() : v.toString());
    return cells.join(kCell);
}

// What a reader gives, reduced to what a test compares: the row count, the sum of the first
// column and a checksum of every cell in order.
struct Summary
{
    qsizetype count = 0;
    qint64 sum = 0;
    QByteArray checksum;
    bool operator==(const Summary &o) const { return count == o.count && sum == o.sum && checksum == o.checksum; }
};
char *toString(const Summary &s)
{
    return qstrdup(QStringLiteral("%1 rows, sum %2, checksum %3")
                       .arg(s.count)
                       .arg(s.sum)
                       .arg(QString::fromLatin1(s.checksum.toHex()))
                       .toUtf8()
                       .constData());
}
Summary summarize(const QStringList &rows)
{
    Summary s;
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const QString &r : rows) {
        ++s.count;
        s.sum += r.section(kCell, 0, 0).toLongLong();
        hash.addData(r.toUtf8());
        hash.addData(QByteArrayView("\x1e", 1));
    }
    s.checksum = hash.result();
    return s;
}

using Damage = std::function<void(QByteArray &, const std::vector<int> &pages)>;

} // namespace

Q_DECLARE_METATYPE(jet::WriterOptions)
Q_DECLARE_METATYPE(Damage)

class TestLargeTables : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_expected; // the rows of "Big" as written

    QString writeBig(const QString &name, const jet::WriterOptions &options)
    {
        const QString path = m_dir.filePath(name);
        jet::Writer w(path, QString());
        w.setOptions(options);
        w.beginTable(bigTable());
        for (int i = 0; i < kBigRows; ++i)
            w.addRow(bigRow(i));
        w.endTable();
        w.finish();
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (int i = 0; i < kBigRows; ++i)
            m_expected << rowText(bigRow(i));
    }

    void largeTableReadsWhole_data()
    {
        QTest::addColumn<jet::WriterOptions>("options");
        QTest::newRow("plain") << jet::WriterOptions{};
        QTest::newRow("moved and deleted rows") << jet::WriterOptions{false, 9, 11, false};
    }

    // The engine reads the table in two parts on two threads; a single cursor reads it in one.
    // Both, and mdb-export, give every row as written.
    void largeTableReadsWhole()
    {
        QFETCH(jet::WriterOptions, options);
        const QString path = writeBig(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".mdb"), options);
        const Summary written = summarize(m_expected);

        JetFile file(path, QString());
        QVERIFY2(file.openTable(QStringLiteral("Big"), {0})->pageCount() >= 1024,
                 "too few pages to be read in two parts");
        RowTexts single;
        file.readTable(QStringLiteral("Big"), single);
        QCOMPARE(summarize(single.rows), written);

        {
            // Every column at once, then a fresh engine whose first statement decodes one column.
            SqlEngine engine(path, QString());
            const QStringList rows = engineRows(engine, QStringLiteral("Big"));
            QCOMPARE(summarize(rows), written);
            QCOMPARE(rows, m_expected);
        }
        // Searches, in a fresh engine (the column read alone, in one part) and after every column
        // was read in two parts: the cities and domains kept as each part's distinct values
        // merged, the names turned plain part-way through each part (all distinct).
        const std::vector<std::pair<const char *, RowTest>> searches{
            {"b_city LIKE '%市12%'", [](const auto &r) { return holds(r[2], QStringLiteral("市12")); }},
            {"b_city = '城市500'", [](const auto &r) { return is(r[2], QStringLiteral("城市500")); }},
            {"b_city = ''", [](const auto &r) { return is(r[2], QString()); }},
            {"b_city IS NULL", [](const auto &r) { return r[2].isNull(); }},
            {"b_name LIKE '%字3012%'", [](const auto &r) { return holds(r[1], QStringLiteral("字3012")); }},
            {"b_domain = '民事、刑事、商事、行政、知识产权 7' AND b_city LIKE '%市7%'",
             [](const auto &r) {
                 return is(r[4], QStringLiteral("民事、刑事、商事、行政、知识产权 7"))
                        && holds(r[2], QStringLiteral("市7"));
             }},
        };
        for (bool wholeFirst : {false, true}) {
            SqlEngine engine(path, QString());
            if (wholeFirst)
                engineRows(engine, QStringLiteral("Big"));
            for (const auto &[where, test] : searches) {
                const std::unique_ptr<ResultSet> r =
                    engine.execute(QStringLiteral("SELECT b_id FROM Big WHERE %1").arg(QString::fromUtf8(where)), {});
                QStringList found, expected;
                for (int i = 0; i < r->rowCount(); ++i)
                    found << r->value(i, 0);
                for (int i = 0; i < kBigRows; ++i)
                    if (test(bigRow(i)))
                        expected << QString::number(i * 7 - 100000);
                QVERIFY2(!expected.isEmpty(), where);
                QVERIFY2(found == expected, qPrintable(QStringLiteral("%1: %2 rows, %3 expected")
                                                           .arg(QString::fromUtf8(where))
                                                           .arg(found.size())
                                                           .arg(expected.size())));
            }
        }
        {
            SqlEngine engine(path, QString());
            const std::unique_ptr<ResultSet> r =
                engine.execute(QStringLiteral("SELECT count(*), sum(b_id), count(b_note) FROM Big"), {});
            QCOMPARE(r->value(0, 0), QString::number(written.count));
            QCOMPARE(r->value(0, 1), QString::number(written.sum));
            QCOMPARE(r->value(0, 2), QString::number(kBigRows - (kBigRows + 12) / 13));
        }

        // mdb-export lists deleted rows and reads moved ones at their new place: with either in
        // the file only the distinct rows compare.
        QStringList exported = exportedRows(path, QStringLiteral("Big"));
        QStringList expected = m_expected;
        if (options.moveEvery || options.deleteEvery) {
            exported.sort();
            exported.removeDuplicates();
            expected.sort();
        }
        QCOMPARE(summarize(exported), summarize(expected));
    }

    void damageInEitherPartFailsTheStatement_data()
    {
        QTest::addColumn<Damage>("damage");
        // The second part starts at the middle page.
        QTest::newRow("second part: page of another table")
            << Damage([](QByteArray &f, const std::vector<int> &p) { f[p[p.size() * 3 / 4] * 4096 + 4] = char(0x7f); });
        QTest::newRow("second part: last page, more rows than it holds")
            << Damage([](QByteArray &f, const std::vector<int> &p) {
                   f[p.back() * 4096 + 12] = char(0xff);
                   f[p.back() * 4096 + 13] = char(0x0f);
               });
        QTest::newRow("second part: its first page zeroed") << Damage([](QByteArray &f, const std::vector<int> &p) {
            f.replace(p[p.size() / 2] * 4096, 4096, QByteArray(4096, '\0'));
        });
        QTest::newRow("first part: page of another table")
            << Damage([](QByteArray &f, const std::vector<int> &p) { f[p[p.size() / 4] * 4096 + 4] = char(0x7f); });
    }

    // A damaged page in either part fails every statement that reads the table, never giving the
    // rows of the other part alone; the next statement fails the same way.
    void damageInEitherPartFailsTheStatement()
    {
        QFETCH(Damage, damage);
        const QString path = writeBig(QStringLiteral("damaged.mdb"), jet::WriterOptions{});
        QByteArray bytes = readAll(path);
        const std::vector<int> pages = dataPages(bytes, tablePage(path, QStringLiteral("Big")));
        QVERIFY(pages.size() >= 1024);
        damage(bytes, pages);
        QVERIFY(writeAll(path, bytes));

        const QString damaged = QStringLiteral("数据库文件 '%1' 已损坏或不完整，无法读取。").arg(path);
        SqlEngine engine(path, QString());
        for (const char *sql : {"SELECT count(*) FROM Big", "SELECT b_name FROM Big", "SELECT count(*) FROM Big"}) {
            try {
                const std::unique_ptr<ResultSet> r = engine.execute(QString::fromLatin1(sql), {});
                QFAIL(qPrintable(QStringLiteral("%1: %2 rows, no error").arg(QLatin1String(sql)).arg(r->rowCount())));
            } catch (const EDatabaseError &e) {
                QCOMPARE(e.message(), damaged);
            }
        }
        QVERIFY(!engine.isLoaded(QStringLiteral("Big")));
    }

    // More distinct texts than 16-bit codes reach, about two rows each: the codes widen part-way
    // through a pass read in one part, and when the two parts' texts are merged (each part's
    // fit). Every row and a search read the same either way.
    void manyDistinctTexts()
    {
        constexpr int kRows = 140000;
        const QString pad = QStringLiteral("填").repeated(24); // enough pages for two parts
        auto code = [](int i) { return QStringLiteral("值%1").arg(i / 2); };
        const QString path = m_dir.filePath(QStringLiteral("distinct.mdb"));
        {
            jet::Writer w(path, QString());
            w.beginTable({QStringLiteral("Wide"),
                          {{QStringLiteral("w_id"), jet::kLong, 0},
                           {QStringLiteral("w_code"), jet::kText, 20},
                           {QStringLiteral("w_pad"), jet::kText, 30}}});
            for (int i = 0; i < kRows; ++i)
                w.addRow({i, code(i), pad});
            w.endTable();
            w.finish();
        }
        QVERIFY(JetFile(path, QString()).openTable(QStringLiteral("Wide"), {0})->pageCount() >= 1024);
        QStringList expected;
        for (int i = 0; i < kRows; ++i)
            if (code(i).contains(QStringLiteral("值6999")))
                expected << QString::number(i);
        for (bool wholeFirst : {false, true}) {
            SqlEngine engine(path, QString());
            if (wholeFirst) {
                const QStringList rows = engineRows(engine, QStringLiteral("Wide"));
                QCOMPARE(rows.size(), kRows);
                for (int i = 0; i < kRows; ++i)
                    if (rows[i].section(kCell, 1, 1) != code(i))
                        QFAIL(qPrintable(QStringLiteral("row %1: %2").arg(i).arg(rows[i].section(kCell, 1, 1))));
            }
            const std::unique_ptr<ResultSet> r =
                engine.execute(QStringLiteral("SELECT w_id FROM Wide WHERE w_code LIKE '%值6999%'"), {});
            QStringList found;
            for (int i = 0; i < r->rowCount(); ++i)
                found << r->value(i, 0);
            QCOMPARE(found, expected);
        }
    }

    // A pass cancelled at any moment keeps nothing: no column, no row count. The next pass reads
    // the table whole. A paused pass goes on when the pause is lifted, keeps nothing when told
    // to give way meanwhile, and, paused with nobody deciding, waits once rather than at each of
    // its checks.
    void cancelledReadKeepsNothing()
    {
        const QString path = writeBig(QStringLiteral("cancel.mdb"), jet::WriterOptions{});
        const auto file = std::make_shared<JetFile>(path, QString());
        const auto lock = std::make_shared<std::mutex>();
        const std::vector<int> all{0, 1, 2, 3, 4};
        for (int delayUs : {0, 300, 2000, 8000, 30000}) {
            ColumnStore store(file, QStringLiteral("Big"), lock);
            std::atomic<bool> cancel{delayUs == 0};
            std::thread canceller([&] {
                std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
                cancel.store(true);
            });
            bool cancelled = false;
            try {
                store.ensure(all, &cancel);
            } catch (const ColumnStore::Cancelled &) {
                cancelled = true;
            }
            canceller.join();
            if (delayUs == 0)
                QVERIFY(cancelled);
            for (int c : all)
                QCOMPARE(store.isDecoded(c), !cancelled);
            QCOMPARE(store.rowCount(), cancelled ? -1 : kBigRows);

            store.ensure(all);
            QCOMPARE(store.rowCount(), kBigRows);
            const DecodedColumn &ids = store.column(0);
            const DecodedColumn &names = store.column(1);
            for (int row : {0, kBigRows / 2 - 1, kBigRows / 2, kBigRows / 2 + 1, kBigRows - 1}) {
                QCOMPARE(ids.integers[size_t(row)], qint64(bigRow(row)[0].toInt()));
                size_t size = 0;
                const char *text = names.textAt(size_t(row), size);
                QCOMPARE(QString::fromUtf8(text, qsizetype(size)), bigRow(row)[1].toString());
            }
        }

        // One column: one cursor, a check every 4,096 of its rows.
        const std::vector<int> names{1};
        auto pausedRead = [&](std::atomic<bool> *pause, std::atomic<bool> *cancel, int decideAfterMs, bool lift) {
            ColumnStore store(file, QStringLiteral("Big"), lock);
            std::thread decider([&] {
                if (decideAfterMs < 0)
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(decideAfterMs));
                (lift ? pause : cancel)->store(!lift);
            });
            QElapsedTimer t;
            t.start();
            bool cancelled = false;
            try {
                store.ensure(names, cancel, pause);
            } catch (const ColumnStore::Cancelled &) {
                cancelled = true;
            }
            const qint64 ms = t.elapsed();
            decider.join();
            if (!cancelled && store.rowCount() != kBigRows)
                return qint64(-1);
            return cancelled ? qint64(-2) : ms;
        };
        std::atomic<bool> pause{true}, cancel{false};
        QVERIFY(pausedRead(&pause, &cancel, 10, true) >= 0);
        pause = true;
        QCOMPARE(pausedRead(&pause, &cancel, 10, false), qint64(-2));
        cancel = false;
        std::atomic<bool> none{false};
        const qint64 plain = pausedRead(&none, &cancel, -1, true);
        pause = true;
        const qint64 undecided = pausedRead(&pause, &cancel, -1, true);
        QVERIFY(plain >= 0 && undecided >= 0);
        // Waiting at every check would add 50 ms ten times over.
        QVERIFY2(undecided - plain < 300, qPrintable(QStringLiteral("%1 ms against %2").arg(undecided).arg(plain)));
    }
};

QTEST_GUILESS_MAIN(TestLargeTables)
#include "test_largetables.moc"
