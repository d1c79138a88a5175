// Damaged files: each damage ends in one of the data layer's messages, through the reader and
// through `lssdb query`, and never reads as a smaller or different table.
#include "FileDamage.h"
#include "ReaderFiles.h"
#include "jet/MdbRead.h"

#include "data/SqlErrors.h"
#include "data/jet/JetError.h"
#include "data/jet/JetFile.h"
#include "data/jet/JetRows.h"

#include <functional>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace readertest;

namespace {

const QString kLssdb = QStringLiteral(LSSDB_PATH);

using Damage = std::function<void(QByteArray &)>;

} // namespace

Q_DECLARE_METATYPE(jet::WriterOptions)
Q_DECLARE_METATYPE(Damage)
Q_DECLARE_METATYPE(filedamage::Fault)

class TestDamage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // Opens the file and reads table T: the first error met, "" when none, and whether table U
    // still reads afterwards on the same file.
    QString openAndRead(const QString &path, bool &otherTableReads)
    {
        otherTableReads = false;
        try {
            JetFile file(path, QString());
            QString error;
            try {
                Collect c;
                file.readTable(QStringLiteral("T"), c);
            } catch (const jet::Error &e) {
                error = sqlerrors::message(e);
            }
            Collect u;
            file.readTable(QStringLiteral("U"), u);
            otherTableReads = u.rows.size() == 3;
            return error;
        } catch (const jet::Error &e) {
            return sqlerrors::message(e);
        }
    }

    // The sample, written with these options, then damaged in its bytes.
    static void writeDamaged(const QString &path, const jet::WriterOptions &options, const Damage &damage)
    {
        writeSample(path, QString(), options);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        damage(bytes);
        QVERIFY(f.resize(0) && f.seek(0));
        QCOMPARE(f.write(bytes), qint64(bytes.size()));
    }

private Q_SLOTS:
    void damagedFiles_data()
    {
        QTest::addColumn<jet::WriterOptions>("options");
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<QString>("error"); // "damaged": the damaged-file message
        QTest::addColumn<bool>("otherTableReads");
        QTest::addColumn<QString>("stillWorks"); // a statement on T that works all the same
        const jet::WriterOptions plain;
        const jet::WriterOptions moved{false, 3, 0, false};
        using filedamage::Fault;
        auto faulty = [](Fault fault) {
            return Damage([fault](QByteArray &f) { QVERIFY(filedamage::damage(f, fault)); });
        };
        // The outcome of most: the damaged-file message, table U still read.
        auto damaged = [&](const char *name, const jet::WriterOptions &options, const Damage &damage,
                           bool others = true, const QString &works = QString()) {
            QTest::newRow(name) << options << damage << QStringLiteral("damaged") << others << works;
        };
        // A byte of T's definition set to a value the format rules out.
        auto definitionByte = [](int offset, int value) {
            return Damage([=](QByteArray &f) { f[int(kTablePage) * 4096 + offset] = char(value); });
        };
        damaged("map names a zeroed page", plain,
                [](QByteArray &f) { f.replace(firstDataPage(f, kTablePage) * 4096, 4096, QByteArray(4096, '\0')); });
        damaged("map names another table's page", plain,
                [](QByteArray &f) { put32(f, firstDataPage(f, kTablePage) * 4096 + 4, 4); });
        damaged("moved row beyond the file", moved, [](QByteArray &f) {
            for (const Slot &s : slotsOf(f, kTablePage))
                if (s.flags == 0x4000) {
                    put32(f, s.rowAt, 0xFFFFFF00);
                    break;
                }
        });
        damaged("two pointers to one row", moved, [](QByteArray &f) {
            std::vector<int> pointers;
            for (const Slot &s : slotsOf(f, kTablePage))
                if (s.flags == 0x4000)
                    pointers.push_back(s.rowAt);
            put32(f, pointers[1], u32(f, pointers[0]));
        });
        damaged("moved row is a pointer again", moved, [](QByteArray &f) {
            for (const Slot &s : slotsOf(f, kTablePage))
                if (s.flags == 0x8000) {
                    f[s.entryAt + 1] = char(f.at(s.entryAt + 1) | 0x40);
                    break;
                }
        });
        damaged("long value with two owners", plain, [](QByteArray &f) {
            // Row 2 and row 7 both keep "长" x 1000 + 2 digits on a long-value page.
            const QByteArray head("\xD4\x07\x00\x40", 4);
            const int first = int(f.indexOf(head));
            const int second = int(f.indexOf(head, first + 1));
            put32(f, second + 4, u32(f, first + 4));
        });
        // The stored row count against the rows found: each of these would read as fewer rows.
        const QString survives = QStringLiteral("select count(*), max(c_long) from T");
        damaged("row count disagrees", plain, [](QByteArray &f) { put32(f, int(kTablePage) * 4096 + 16, 5); });
        damaged("usage map bit cleared", plain, faulty(Fault::MapBitCleared));
        damaged("page row count lowered", plain, faulty(Fault::RowCountLowered));
        damaged("row flagged deleted, count kept", plain, faulty(Fault::SlotDeleted));
        damaged("chains share a tail", plain, faulty(Fault::SharedChainTail), true, survives);
        damaged("moved row points at a live row", moved, faulty(Fault::MovedToLiveRow));
        // Column definitions that contradict the format: the table fails, the file still opens.
        damaged("text column typed long", plain, definitionByte(63 + 8 * 25, jet::kLong));
        damaged("long column made variable", plain, definitionByte(63 + 3 * 25 + 15, 0x02));
        damaged("long column four bytes wide no more", plain, definitionByte(63 + 3 * 25 + 23, 8));
        damaged("two columns share a null bit", plain, definitionByte(63 + 4 * 25 + 5, 3));
        damaged("column name holds U+0000", plain, [](QByteArray &f) {
            const int at = int(f.indexOf(QByteArray("c\0_\0t\0e\0x\0t\0", 12), int(kTablePage) * 4096));
            f[at + 6] = 0;
        });
        damaged("name length runs past its name", plain, [](QByteArray &f) {
            const int at = int(f.indexOf(QByteArray("c\0_\0t\0e\0x\0t\0", 12), int(kTablePage) * 4096));
            f[at - 2] = char(200);
        });
        QTest::newRow("column of an unknown type")
            << plain << definitionByte(63 + 8 * 25, 0x12)
            << "无法读取表 'T' 的列 'c_text'：不支持的数据类型（未知类型 0x12）。" << true << survives;
        // Jet's rules that our writer's files never break but a damaged file may.
        damaged(
            "two catalog rows name one definition", plain,
            [](QByteArray &f) {
                int u = int(kTablePage) + 1;
                while (!(f.at(u * 4096) == 2 && f.at(u * 4096 + 1) == 1))
                    ++u;
                QByteArray row(8, '\0');
                put32(row, 0, quint32(u));
                put32(row, 4, 0x0f000001); // its parent: the Tables container
                const int at = int(f.indexOf(row, firstDataPage(f, 2) * 4096));
                put32(f, at, kTablePage);
            },
            false);
        damaged("usage map of an unknown kind", plain, [](QByteArray &f) {
            const quint32 map = u32(f, int(kTablePage) * 4096 + 55);
            const int page = int(map >> 8) * 4096;
            f[page
              + (jet::get16(reinterpret_cast<const uchar *>(f.constData()) + page + 14 + 2 * int(map & 0xFF))
                 & 0x1FFF)] = 2;
        });
        damaged(
            "definition continues on itself", plain,
            [](QByteArray &f) { put32(f, int(kTablePage) * 4096 + 4, kTablePage); }, false);
        damaged("definition of no columns", plain, definitionByte(45, 0));
        damaged("fixed columns overlap", plain, [](QByteArray &f) {
            const int entries = int(kTablePage) * 4096 + 63;
            f[entries + 4 * 25 + 21] = f.at(entries + 3 * 25 + 21); // c_money onto c_long
        });
        damaged("decimal scale above its precision", plain,
                definitionByte(63 + 15 * 25 + 12, 5)); // c_frac, Decimal(4,4)
        // A long value's stored length against its bytes: each would read as a shorter value.
        auto lengthOf = [](const QByteArray &text, bool inlineValue, quint32 flags, quint32 (*wrong)(quint32)) {
            return Damage([=](QByteArray &f) {
                QByteArray utf16;
                for (QChar ch : QString::fromUtf8(text))
                    utf16.append(char(ch.unicode() & 0xFF)).append(char(ch.unicode() >> 8));
                int at = int(f.indexOf(utf16, int(kTablePage) * 4096));
                if (!inlineValue) // the reference to it: its length and flags, first in its row
                    for (at = int(kTablePage) * 4096;
                         (u32(f, at) & 0xC0000000u) != flags || (u32(f, at) & 0x3FFFFFFF) != quint32(utf16.size());
                         ++at) {}
                else
                    at -= 12;
                put32(f, at, flags | wrong(quint32(utf16.size())));
            });
        };
        auto half = [](quint32 n) { return n / 2; };
        auto none = [](quint32) { return quint32(0); };
        damaged("inline long value, length halved", plain, lengthOf("short memo1", true, 0x80000000u, half), true,
                survives);
        damaged("long value in a row, length halved", plain,
                lengthOf(QByteArray("长").repeated(1000) + "2", false, 0x40000000u, half), true, survives);
        damaged("long value in a row, length 0", plain,
                lengthOf(QByteArray("长").repeated(1000) + "2", false, 0x40000000u, none), true, survives);
        damaged("chained long value, length halved", plain,
                lengthOf(QByteArray("x").repeated(9000) + "3", false, 0, half), true, survives);
        damaged(
            "catalog rows zeroed", plain,
            [](QByteArray &f) { f.replace(firstDataPage(f, 2) * 4096, 4096, QByteArray(4096, '\0')); }, false);
        damaged(
            "catalog cut off", plain, [](QByteArray &f) { f.truncate((firstDataPage(f, 2)) * 4096); }, false);
        damaged(
            "table definition gone", plain,
            [](QByteArray &f) { f.replace(int(kTablePage) * 4096, 4096, QByteArray(4096, '\0')); }, false);
        QTest::newRow("jet 3") << plain << Damage([](QByteArray &f) { f[0x14] = 0; }) << "无法识别的数据库格式 '%1'。"
                               << false << QString();
        QTest::newRow("creation date out of range")
            << plain << Damage([](QByteArray &f) { setCreationDate(f, -8.6e139); }) << "密码无效。" << false
            << QString();
    }

    // Each damage ends in one of the data layer's messages, for the statement that meets it;
    // what it does not touch still reads.
    void damagedFiles()
    {
        QFETCH(jet::WriterOptions, options);
        QFETCH(Damage, damage);
        QFETCH(QString, error);
        QFETCH(bool, otherTableReads);
        QFETCH(QString, stillWorks);
        const QString path = m_dir.filePath(QStringLiteral("damaged.mdb"));
        writeDamaged(path, options, damage);
        if (error == QLatin1String("damaged"))
            error = sqlerrors::damaged(path);
        else if (error.contains(QLatin1String("%1")))
            error = error.arg(path);
        bool others = false;
        QCOMPARE(openAndRead(path, others), error);
        QCOMPARE(others, otherTableReads);

        // The same through the engine: the message alone on stderr, nothing on stdout.
        auto query = [&](const QString &sql) {
            return runTool(kLssdb, {QStringLiteral("query"), path, sql, QStringLiteral("--password"), QString()});
        };
        const ToolResult all = query(QStringLiteral("select * from T"));
        QCOMPARE(QString::fromUtf8(all.err).trimmed(), error);
        QCOMPARE(all.exitCode, error.isEmpty() ? 0 : 1);
        if (!error.isEmpty())
            QVERIFY(all.out.isEmpty());
        if (!stillWorks.isEmpty()) {
            const ToolResult some = query(stillWorks);
            QVERIFY2(some.exitCode == 0, some.err.constData());
        }
    }

    // Where no row of a page is flagged, the count checks the page's slot table whole: it refuses
    // what a read, row by row, refuses.
    void countRefusesBadSlots_data()
    {
        QTest::addColumn<Damage>("damage");
        auto entry = [](QByteArray &f, int row) { return firstDataPage(f, kTablePage) * 4096 + 14 + 2 * row; };
        auto rowsOf = [](QByteArray &f) { return int(u32(f, firstDataPage(f, kTablePage) * 4096 + 12) & 0xFFFF); };
        QTest::newRow("rows out of order") << Damage([=](QByteArray &f) {
            const quint32 first = u32(f, entry(f, 0)) & 0xFFFF, second = u32(f, entry(f, 1)) & 0xFFFF;
            filedamage::detail::put16(f, entry(f, 0), second);
            filedamage::detail::put16(f, entry(f, 1), first);
        });
        QTest::newRow("first row past the page's end")
            << Damage([=](QByteArray &f) { filedamage::detail::put16(f, entry(f, 0), 4097); });
        QTest::newRow("last row over the slot table") << Damage([=](QByteArray &f) {
            const int rows = rowsOf(f);
            filedamage::detail::put16(f, entry(f, rows - 1), quint32(14 + 2 * rows - 2));
        });
    }
    void countRefusesBadSlots()
    {
        QFETCH(Damage, damage);
        const QString path = m_dir.filePath(QStringLiteral("slots.mdb"));
        writeDamaged(path, {}, [&](QByteArray &bytes) {
            QVERIFY(u32(bytes, firstDataPage(bytes, kTablePage) * 4096 + 12) % 0x10000 >= 2);
            damage(bytes);
        });
        QVERIFY(!QTest::currentTestFailed());
        JetFile file(path, QString());
        QVERIFY_THROWS_EXCEPTION(jet::Error, file.openTable(QStringLiteral("T"), {})->countRows());
        Collect rows;
        QVERIFY_THROWS_EXCEPTION(jet::Error, file.readTable(QStringLiteral("T"), rows));
    }

    void partsAreCountedTogether_data()
    {
        QTest::addColumn<filedamage::Fault>("fault");
        QTest::newRow("whole") << filedamage::Fault::None;
        QTest::newRow("page row count lowered") << filedamage::Fault::RowCountLowered;
        QTest::newRow("row flagged deleted, count kept") << filedamage::Fault::SlotDeleted;
    }

    // A table read in two parts at once (as the engine reads a large one) is held to its stored
    // row count when the parts are put together, not part by part; so is the engine's own
    // two-part pass over a table of more than a thousand pages.
    void partsAreCountedTogether()
    {
        QFETCH(filedamage::Fault, fault);
        const bool damaged = fault != filedamage::Fault::None;
        const QString path = m_dir.filePath(QStringLiteral("parts.mdb"));
        writeSample(path, QString(), {});
        QVERIFY(filedamage::damage(path, fault));
        JetFile file(path, QString());
        const auto first = file.openTable(QStringLiteral("T"), {3});
        const auto second = file.openTable(QStringLiteral("T"), {3});
        const size_t pages = first->pageCount();
        QVERIFY(pages >= 2);
        first->keepPages(0, pages / 2);
        second->keepPages(pages / 2, pages);
        int rows = 0;
        while (first->next())
            ++rows;
        while (second->next())
            ++rows;
        QCOMPARE(rows, damaged ? kRows - 1 : kRows);
        if (damaged)
            QVERIFY_THROWS_EXCEPTION(jet::Error, first->checkApart(*second));
        else
            first->checkApart(*second);

        const QString large = m_dir.filePath(QStringLiteral("large.mdb"));
        constexpr int kLargeRows = 36000; // some 5,000 pages of rows
        {
            jet::Writer w(large, QString());
            w.beginTable({QStringLiteral("T"), {{QStringLiteral("t"), jet::kText, 255}}});
            for (int i = 0; i < kLargeRows; ++i)
                w.addRow({QStringLiteral("%1").arg(i).leftJustified(250, QLatin1Char('.'))});
            w.endTable();
            w.finish();
        }
        QVERIFY(filedamage::damage(large, fault));
        JetFile check(large, QString());
        QVERIFY(check.openTable(QStringLiteral("T"), {})->pageCount() >= 1024);
        const ToolResult q = runTool(kLssdb, {QStringLiteral("query"), large, QStringLiteral("select count(*) from T"),
                                              QStringLiteral("--password"), QString()});
        // Every row streamed out, nine megabytes, more than the tool holds back: the damage shows
        // when the pass ends, after the records already written; the output then lacks its last
        // line and the tool fails.
        const ToolResult all = runTool(kLssdb, {QStringLiteral("query"), large, QStringLiteral("select * from T"),
                                                QStringLiteral("--password"), QString()});
        if (damaged) {
            QCOMPARE(QString::fromUtf8(q.err).trimmed(), sqlerrors::damaged(large));
            QCOMPARE(q.exitCode, 1);
            QCOMPARE(QString::fromUtf8(all.err).trimmed(), sqlerrors::damaged(large));
            QCOMPARE(all.exitCode, 1);
            QVERIFY(all.out.startsWith("t\n"));
            QVERIFY(all.out.count('\n') > kLargeRows / 2);
            QVERIFY(!all.out.contains(" records\n"));
        } else {
            QVERIFY2(q.exitCode == 0, q.err.constData());
            QVERIFY(QString::fromUtf8(q.out).contains(QStringLiteral("\n%1\n").arg(kLargeRows)));
            QVERIFY2(all.exitCode == 0, all.err.constData());
            QVERIFY(all.out.endsWith(QStringLiteral("\n%1 records\n").arg(kLargeRows).toUtf8()));
        }
    }

    // The file changes under an open file: the statement that meets it fails, the next one after
    // the file is whole again works.
    // Jet 4 files reach 2 GB, 2^31 bytes: the last page of a file that large is read, a page
    // beyond is not, and a longer file is read only as far as that.
    void largestFileIsReadToItsLastPage()
    {
        const QString path = m_dir.filePath(QStringLiteral("largest.mdb"));
        writeSample(path, QString(), {});
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.resize(qint64(1) << 31)); // sparse: no room needed
        f.close();
        jet::PageFile file(path);
        QCOMPARE(file.pageCount(), quint32(524288));
        jet::Page page;
        file.read(file.pageCount() - 1, page);
        QVERIFY_THROWS_EXCEPTION(jet::Error, file.read(file.pageCount(), page));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.resize((qint64(1) << 31) + 4 * jet::kPageSize));
        f.close();
        file.remeasure();
        QCOMPARE(file.pageCount(), quint32(524288));
        QVERIFY(f.remove());
    }

    void fileChangedWhileOpen()
    {
        const QString path = m_dir.filePath(QStringLiteral("changing.mdb"));
        writeSample(path, QString(), {});
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const QByteArray good = f.readAll();
        JetFile file(path, QString());
        Collect before;
        file.readTable(QStringLiteral("T"), before);
        for (qint64 size : {qint64(0), qint64(4096 * 5), qint64(good.size() / 2)}) {
            QVERIFY(f.resize(size));
            Collect during;
            QVERIFY_THROWS_EXCEPTION(jet::Error, file.readTable(QStringLiteral("T"), during));
            f.seek(0);
            f.write(good);
            f.flush();
            Collect after;
            file.readTable(QStringLiteral("T"), after);
            QCOMPARE(after.rows, before.rows);
        }
        // Cut short between a pass's start (the file measured, its pages listed) and its reads,
        // a count's walk over the mapped pages or rows copied out of the mapping: a page gone is
        // the damaged-file error, not a fault.
        const auto readAll = [](jet::TableCursor &cursor) {
            while (cursor.next()) {}
        };
        for (const bool count : {true, false}) {
            for (qint64 size : {qint64(4096 * 5), qint64(good.size() / 2)}) {
                const auto cursor = file.openTable(QStringLiteral("T"), {});
                QVERIFY(f.resize(size));
                if (count)
                    QVERIFY_THROWS_EXCEPTION(jet::Error, cursor->countRows());
                else
                    QVERIFY_THROWS_EXCEPTION(jet::Error, readAll(*cursor));
                f.seek(0);
                f.write(good);
                f.flush();
                QCOMPARE(file.openTable(QStringLiteral("T"), {})->countRows(), quint32(kRows));
            }
        }
        // Grown in place: a page past those there when the file was opened is read as well.
        {
            jet::PageFile pages(path);
            QByteArray extra(jet::kPageSize, '\x5a');
            QVERIFY(f.seek(good.size()));
            QCOMPARE(f.write(extra), qint64(extra.size()));
            f.flush();
            pages.remeasure();
            QCOMPARE(pages.pageCount(), quint32(good.size() / jet::kPageSize + 1));
            jet::Page page;
            pages.read(pages.pageCount() - 1, page);
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(page.data()), jet::kPageSize), extra);
            pages.read(0, page);
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(page.data()), jet::kPageSize),
                     good.left(jet::kPageSize));
            // A count on a file grown past its mapping counts row by row.
            QCOMPARE(file.openTable(QStringLiteral("T"), {})->countRows(), quint32(kRows));
            QVERIFY(f.resize(good.size()));
        }
        f.close();
        // Removed, then put back as a new file (as a deployer's copy does).
        QVERIFY(QFile::rename(path, path + QStringLiteral(".away")));
        Collect gone;
        QVERIFY_THROWS_EXCEPTION(jet::Error, file.readTable(QStringLiteral("T"), gone));
        QVERIFY(QFile::copy(path + QStringLiteral(".away"), path));
        Collect back;
        file.readTable(QStringLiteral("T"), back);
        QCOMPARE(back.rows, before.rows);
    }
};

QTEST_GUILESS_MAIN(TestDamage)
#include "test_damage.moc"
