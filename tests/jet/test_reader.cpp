// The reader on files with every structure Access leaves behind and every column type: read
// back through the reader itself, through `lssdb query`, and compared with mdb-export.
#include "ReaderFiles.h"
#include "SampleTables.h"
#include "jet/MdbRead.h"

#include "data/jet/JetError.h"
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

using namespace readertest;

namespace {

const QString kLssdb = QStringLiteral(LSSDB_PATH);

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

} // namespace

Q_DECLARE_METATYPE(jet::WriterOptions)

class TestReader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

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
                    QFAIL(qPrintable(
                        QStringLiteral("row %1, %2: \"%3\" instead of \"%4\"")
                            .arg(i)
                            .arg(all.columns[c], all.rows[size_t(i)][c].left(40), expected.texts[c].left(40))));
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
        // Counted from the pages' row slots: deleted rows and the old places of moved ones left
        // out, a moved row once.
        QCOMPARE(file.openTable(QStringLiteral("T"), {})->countRows(), quint32(kRows));
        const ToolResult count =
            runTool(kLssdb, {QStringLiteral("query"), path, QStringLiteral("SELECT Count(*) FROM t;"),
                             QStringLiteral("--password"), password});
        QCOMPARE(QString::fromUtf8(count.out), QStringLiteral("Count(*)\n%1\n1 records\n").arg(kRows));

        // mdb-export (which knows no password: the pages are not encrypted). It reads the row
        // flags the other way round (0x4000 as deleted, 0x8000 not at all): it lists deleted
        // rows, and a moved row at its new place instead of its pointer's. Where the file has
        // either, only the distinct rows can be compared.
        const ToolResult m =
            runTool(QStringLiteral("mdb-export"),
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
                                     .arg(i)
                                     .arg(exported[i].mid(at - 20, 200), ours[i].mid(at - 20, 200))));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestReader)
#include "test_reader.moc"
