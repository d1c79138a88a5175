// The reader on files with every structure Access leaves behind and every column type: read
// back through the reader itself, through `lssdb query`, and compared with mdb-export.
#include "SampleTables.h"
#include "jet/MdbRead.h"

#include "data/DatabaseError.h"
#include "data/jet/JetFile.h"
#include "data/jet/JetHeader.h"
#include "data/jet/JetPages.h"
#include "data/jet/JetRows.h"

#include <cstring>
#include <functional>

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kLssdb = QStringLiteral(LSSDB_PATH);
constexpr int kRows = 300;

QString cellText(const JetCell &c)
{
    switch (c.storage) {
    case JetCell::Null: return QString();
    case JetCell::Integer: return QString::number(c.integer);
    case JetCell::Real: return QString::fromLatin1(QByteArray::number(c.real, 'f', QLocale::FloatingPointShortest));
    case JetCell::Text: return QString::fromUtf8(c.text.data(), int(c.text.size()));
    }
    return QString();
}

struct Collect : JetRowSink
{
    QStringList columns;
    std::vector<QStringList> rows;
    std::vector<QVector<bool>> nulls;
    void begin(const QVector<JetColumn> &cols) override
    {
        for (const JetColumn &c : cols)
            columns << c.name;
    }
    void row(const std::vector<JetCell> &cells) override
    {
        QStringList r;
        QVector<bool> n;
        for (const JetCell &c : cells) {
            r << cellText(c);
            n << c.isNull();
        }
        rows.push_back(r);
        nulls.push_back(n);
    }
};

void writeSample(const QString &path, const QString &password, const jet::WriterOptions &options)
{
    jet::Writer w(path, password);
    w.setOptions(options);
    w.beginTable({QStringLiteral("T"), sample::columns()});
    for (int i = 0; i < kRows; ++i)
        w.addRow(sample::row(i).values);
    w.endTable();
    w.beginTable({QStringLiteral("U"), {{QStringLiteral("u_name"), jet::ColumnType::Text, 20}}});
    for (int i = 0; i < 3; ++i)
        w.addRow({QStringLiteral("u%1").arg(i)});
    w.endTable();
    w.finish();
}

// What mdb-export prints for a cell whose text through our layer is `ours`. Where the two differ
// mdb-export is the one that is wrong or only formats differently.
QString asMdbExportPrints(const QString &column, const QString &ours, bool null)
{
    if (null)
        return QString();
    if (column == QLatin1String("c_single") || column == QLatin1String("c_double"))
        return QString::number(ours.toDouble(), 'g', 7); // mdb-export prints in its own manner
    if (column == QLatin1String("c_guid"))
        // -b hex hexes the text of a GUID too, and mdb-export leaves out its fourth dash.
        return sample::hex(QString(ours).remove(24, 1).toLatin1());
    if (column == QLatin1String("c_bin")) {
        // mdb-export ends a Binary value at its first zero byte.
        for (int at = 0; at + 1 < ours.size(); at += 2)
            if (ours.mid(at, 2) == QLatin1String("00"))
                return ours.left(at);
        return ours;
    }
    if (column == QLatin1String("c_date") && ours.size() == 10)
        return ours + QStringLiteral(" 00:00:00");
    if (column == QLatin1String("c_bool"))
        return ours == QLatin1String("True") ? QStringLiteral("1") : QStringLiteral("0");
    if (column == QLatin1String("c_text") || column == QLatin1String("c_memo")) {
        // mdb-export prints a character beyond the BMP as "??" (one per UTF-16 unit).
        QString s = ours;
        s.replace(QStringLiteral("\U0001F600"), QStringLiteral("??"));
        return s;
    }
    if (column == QLatin1String("c_money") || column == QLatin1String("c_dec")) {
        // Always with all the scale's decimals.
        const int scale = column == QLatin1String("c_money") ? 4 : 6;
        QString s = ours;
        int point = int(s.indexOf(QLatin1Char('.')));
        if (point < 0) {
            s += QLatin1Char('.');
            point = int(s.size()) - 1;
        }
        return s + QString(scale - (int(s.size()) - point - 1), QLatin1Char('0'));
    }
    return ours;
}

quint32 u32(const QByteArray &b, int at)
{
    return jet::get32(reinterpret_cast<const uchar *>(b.constData()) + at);
}
void put32(QByteArray &b, int at, quint32 v)
{
    for (int k = 0; k < 4; ++k)
        b[at + k] = char(v >> (8 * k));
}

// The row slots of the data pages a table owns: byte offset of the slot entry and of the row.
struct Slot
{
    int entryAt;
    int rowAt;
    quint16 flags;
};
std::vector<Slot> slotsOf(const QByteArray &file, quint32 owner)
{
    std::vector<Slot> out;
    for (int p = 3; p < file.size() / 4096; ++p) {
        const int base = p * 4096;
        if (file.at(base) != 1 || u32(file, base + 4) != owner)
            continue;
        const int rows = int(jet::get16(reinterpret_cast<const uchar *>(file.constData()) + base + 12));
        for (int r = 0; r < rows; ++r) {
            const quint16 e = jet::get16(reinterpret_cast<const uchar *>(file.constData()) + base + 14 + 2 * r);
            out.push_back({base + 14 + 2 * r, base + (e & 0x1FFF), quint16(e & 0xC000)});
        }
    }
    return out;
}

// The first data page a table owns.
int firstDataPage(const QByteArray &file, quint32 owner)
{
    for (int p = 3; p < file.size() / 4096; ++p)
        if (file.at(p * 4096) == 1 && u32(file, p * 4096 + 4) == owner)
            return p;
    return -1;
}

// Rewrites the creation date inside the scrambled part of the header.
void setCreationDate(QByteArray &file, double date)
{
    auto *p = reinterpret_cast<unsigned char *>(file.data());
    const unsigned char key[4] = {0xc7, 0xda, 0x39, 0x6b};
    jet::rc4(key, 4, p + jet::kHeaderMaskStart, jet::kHeaderMaskLength);
    std::memcpy(p + jet::kCreationDateOffset, &date, 8);
    jet::rc4(key, 4, p + jet::kHeaderMaskStart, jet::kHeaderMaskLength);
}

// Table T of the sample files starts on the first page after the system tables, U after it.
constexpr quint32 kTablePage = 6;

using Damage = std::function<void(QByteArray &)>;

} // namespace

Q_DECLARE_METATYPE(jet::WriterOptions)
Q_DECLARE_METATYPE(Damage)

class TestReader : public QObject
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
            } catch (const EDatabaseError &e) {
                error = e.message();
            }
            Collect u;
            file.readTable(QStringLiteral("U"), u);
            otherTableReads = u.rows.size() == 3;
            return error;
        } catch (const EDatabaseError &e) {
            return e.message();
        }
    }

private Q_SLOTS:
    void structuresReadBackExactly_data()
    {
        QTest::addColumn<jet::WriterOptions>("options");
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << jet::WriterOptions{} << QStringLiteral("41729063");
        QTest::newRow("compressed text") << jet::WriterOptions{true, 0, 0, false} << QStringLiteral("41729063");
        QTest::newRow("moved rows") << jet::WriterOptions{false, 3, 0, false} << QStringLiteral("41729063");
        QTest::newRow("deleted rows") << jet::WriterOptions{false, 0, 2, false} << QStringLiteral("41729063");
        QTest::newRow("stray pages") << jet::WriterOptions{false, 0, 0, true} << QStringLiteral("41729063");
        QTest::newRow("all, no password") << jet::WriterOptions{true, 4, 3, true} << QString();
        QTest::newRow("other password") << jet::WriterOptions{true, 2, 5, false} << QStringLiteral("p;w\"d");
    }

    // Every row in order, every cell as written: through the reader (all columns, then a few
    // chosen ones), through lssdb query with the file's password, and beside mdb-export.
    void structuresReadBackExactly()
    {
        QFETCH(jet::WriterOptions, options);
        QFETCH(QString, password);
        const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".mdb"));
        writeSample(path, password, options);

        JetFile file(path, password);
        QCOMPARE(file.tableNames(), QStringList({QStringLiteral("T"), QStringLiteral("U")}));
        Collect all;
        file.readTable(QStringLiteral("T"), all);
        QCOMPARE(int(all.rows.size()), kRows);
        for (int i = 0; i < kRows; ++i) {
            const sample::Row expected = sample::row(i);
            for (int c = 0; c < expected.texts.size(); ++c) {
                if (all.rows[size_t(i)][c] != expected.texts[c] || all.nulls[size_t(i)][c] != expected.nulls[c])
                    QFAIL(qPrintable(QStringLiteral("row %1, %2: \"%3\" instead of \"%4\"")
                                         .arg(i).arg(all.columns[c], all.rows[size_t(i)][c].left(40),
                                                     expected.texts[c].left(40))));
            }
        }
        // Only the chosen columns, in the order asked for.
        auto cursor = file.openTable(QStringLiteral("t"), {9, 3});
        for (int i = 0; i < kRows; ++i) {
            QVERIFY(cursor->next());
            QCOMPARE(cellText(cursor->cells()[0]), sample::row(i).texts[9]);
            QCOMPARE(cellText(cursor->cells()[1]), sample::row(i).texts[3]);
        }
        QVERIFY(!cursor->next());

        // The tool, which opens the file through the connection string.
        const ToolResult q = runTool(kLssdb, {QStringLiteral("query"), path, QStringLiteral("select * from T"),
                                             QStringLiteral("--password"), password});
        QVERIFY2(q.exitCode == 0, q.err.constData());
        const QStringList lines = QString::fromUtf8(q.out).split(QLatin1Char('\n'));
        QCOMPARE(lines.value(0), all.columns.join(QLatin1Char('\t')));
        for (int i = 0; i < kRows; ++i)
            QCOMPARE(lines.value(i + 1), sample::row(i).texts.join(QLatin1Char('\t')));
        QCOMPARE(lines.value(kRows + 1), QStringLiteral("%1 records").arg(kRows));

        // mdb-export (which knows no password: the pages are not encrypted). It reads the row
        // flags the other way round (0x4000 as deleted, 0x8000 not at all): it lists deleted
        // rows, and a moved row at its new place instead of its pointer's. Where the file has
        // either, only the distinct rows can be compared.
        const ToolResult m = runTool(QStringLiteral("mdb-export"),
                                     {QStringLiteral("-H"), QStringLiteral("-Q"), QStringLiteral("-d"), QStringLiteral("\x1f"),
                                      QStringLiteral("-R"), QStringLiteral("\x1e"), QStringLiteral("-b"), QStringLiteral("hex"),
                                      QStringLiteral("-D"), QStringLiteral("%Y-%m-%d"), QStringLiteral("-T"),
                                      QStringLiteral("%Y-%m-%d %H:%M:%S"), path, QStringLiteral("T")});
        QCOMPARE(m.exitCode, 0);
        QStringList exported = QString::fromUtf8(m.out).split(QChar(0x1e));
        if (exported.last().isEmpty())
            exported.removeLast();
        QStringList ours;
        for (int i = 0; i < kRows; ++i) {
            QStringList cells;
            for (int c = 0; c < all.columns.size(); ++c)
                cells << asMdbExportPrints(all.columns[c], all.rows[size_t(i)][c], all.nulls[size_t(i)][c]);
            ours << cells.join(QChar(0x1f));
        }
        for (QString &line : exported) {
            QStringList cells = line.split(QChar(0x1f));
            for (int c = 0; c < cells.size() && c < all.columns.size(); ++c)
                if (all.columns[c] == QLatin1String("c_single") || all.columns[c] == QLatin1String("c_double"))
                    cells[c] = cells[c].isEmpty() ? cells[c] : QString::number(cells[c].toDouble(), 'g', 7);
            line = cells.join(QChar(0x1f));
        }
        if (options.moveEvery || options.deleteEvery) {
            exported.sort();
            exported.removeDuplicates();
            ours.sort();
        }
        QCOMPARE(exported.size(), ours.size());
        for (int i = 0; i < ours.size(); ++i) {
            if (exported[i] != ours[i]) {
                int at = 0;
                while (at < ours[i].size() && exported[i].at(at) == ours[i].at(at))
                    ++at;
                QFAIL(qPrintable(QStringLiteral("row %1: mdb-export\n%2\nwe\n%3")
                                     .arg(i).arg(exported[i].mid(at - 20, 200), ours[i].mid(at - 20, 200))));
            }
        }
    }

    void damagedFiles_data()
    {
        QTest::addColumn<jet::WriterOptions>("options");
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<QString>("error"); // "damaged": the damaged-file message
        QTest::addColumn<bool>("otherTableReads");
        QTest::addColumn<QString>("stillWorks"); // a statement on T that works all the same
        const jet::WriterOptions plain;
        const jet::WriterOptions moved{false, 3, 0, false};
        QTest::newRow("map names a zeroed page") << plain << Damage([](QByteArray &f) {
            f.replace(firstDataPage(f, kTablePage) * 4096, 4096, QByteArray(4096, '\0'));
        }) << "damaged" << true << QString();
        QTest::newRow("map names another table's page") << plain << Damage([](QByteArray &f) {
            put32(f, firstDataPage(f, kTablePage) * 4096 + 4, 4);
        }) << "damaged" << true << QString();
        QTest::newRow("moved row beyond the file") << moved << Damage([](QByteArray &f) {
            for (const Slot &s : slotsOf(f, kTablePage))
                if (s.flags == 0x4000) {
                    put32(f, s.rowAt, 0xFFFFFF00);
                    break;
                }
        }) << "damaged" << true << QString();
        QTest::newRow("two pointers to one row") << moved << Damage([](QByteArray &f) {
            std::vector<int> pointers;
            for (const Slot &s : slotsOf(f, kTablePage))
                if (s.flags == 0x4000)
                    pointers.push_back(s.rowAt);
            put32(f, pointers[1], u32(f, pointers[0]));
        }) << "damaged" << true << QString();
        QTest::newRow("moved row is a pointer again") << moved << Damage([](QByteArray &f) {
            for (const Slot &s : slotsOf(f, kTablePage))
                if (s.flags == 0x8000) {
                    f[s.entryAt + 1] = char(f.at(s.entryAt + 1) | 0x40);
                    break;
                }
        }) << "damaged" << true << QString();
        QTest::newRow("long value with two owners") << plain << Damage([](QByteArray &f) {
            // Row 2 and row 7 both keep "长" x 1000 + 2 digits on a long-value page.
            const QByteArray head("\xD4\x07\x00\x40", 4);
            const int first = int(f.indexOf(head));
            const int second = int(f.indexOf(head, first + 1));
            put32(f, second + 4, u32(f, first + 4));
        }) << "damaged" << true << QString();
        QTest::newRow("row count disagrees") << plain << Damage([](QByteArray &f) {
            put32(f, int(kTablePage) * 4096 + 16, 5);
        }) << "" << true << QString();
        QTest::newRow("column of an unknown type") << plain << Damage([](QByteArray &f) {
            f[int(kTablePage) * 4096 + 63 + 8 * 25] = char(0x12);
        }) << "无法读取表 'T' 的列 'c_text'：不支持的数据类型（未知类型 0x12）。" << true
           << "select count(*), max(c_long) from T";
        QTest::newRow("catalog rows zeroed") << plain << Damage([](QByteArray &f) {
            f.replace(firstDataPage(f, 2) * 4096, 4096, QByteArray(4096, '\0'));
        }) << "damaged" << false << QString();
        QTest::newRow("catalog cut off") << plain << Damage([](QByteArray &f) {
            f.truncate((firstDataPage(f, 2)) * 4096);
        }) << "damaged" << false << QString();
        QTest::newRow("table definition gone") << plain << Damage([](QByteArray &f) {
            f.replace(int(kTablePage) * 4096, 4096, QByteArray(4096, '\0'));
        }) << "damaged" << false << QString();
        QTest::newRow("jet 3") << plain << Damage([](QByteArray &f) { f[0x14] = 0; })
                               << "无法识别的数据库格式 '%1'。" << false << QString();
        QTest::newRow("creation date out of range") << plain << Damage([](QByteArray &f) {
            setCreationDate(f, -8.6e139);
        }) << "密码无效。" << false << QString();
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
        writeSample(path, QString(), options);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        damage(bytes);
        f.resize(0);
        f.seek(0);
        f.write(bytes);
        f.close();
        if (error == QLatin1String("damaged"))
            error = jet::damagedMessage(path);
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

    // The file changes under an open file: the statement that meets it fails, the next one after
    // the file is whole again works.
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
            QVERIFY_THROWS_EXCEPTION(EDatabaseError, file.readTable(QStringLiteral("T"), during));
            f.seek(0);
            f.write(good);
            f.flush();
            Collect after;
            file.readTable(QStringLiteral("T"), after);
            QCOMPARE(after.rows, before.rows);
        }
        f.close();
        // Removed, then put back as a new file (as a deployer's copy does).
        QVERIFY(QFile::rename(path, path + QStringLiteral(".away")));
        Collect gone;
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, file.readTable(QStringLiteral("T"), gone));
        QVERIFY(QFile::copy(path + QStringLiteral(".away"), path));
        Collect back;
        file.readTable(QStringLiteral("T"), back);
        QCOMPARE(back.rows, before.rows);
    }
};

QTEST_GUILESS_MAIN(TestReader)
#include "test_reader.moc"
