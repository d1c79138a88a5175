// The reader on files with every structure Access leaves behind and every column type: read
// back through the reader itself, through `lssdb query`, and compared with mdb-export.
#include "ReaderFiles.h"
#include "SampleTables.h"
#include "jet/MdbRead.h"

#include "data/SqlErrors.h"
#include "data/jet/JetError.h"
#include "data/jet/JetFile.h"
#include "data/jet/JetHeader.h"
#include "data/jet/JetPages.h"
#include "data/jet/JetRows.h"

#include <cstring>
#include <functional>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

using namespace readertest;

namespace {

const QString kLssdb = QStringLiteral(LSSDB_PATH);

// Both sides of a cell in one canonical form: what mdb-export prints for a cell of Jet type
// `type` whose text through our layer is `ours`, and mdb-export's own text made comparable. Where
// the two differ mdb-export is the one that is wrong or only formats differently.
QString asMdbExportPrints(quint8 type, const QString &ours, bool null)
{
    if (null)
        return QString();
    switch (type) {
    case jet::kGuid:
        // -b hex hexes the text of a GUID too, and mdb-export leaves out its fourth dash.
        return sample::hex(QString(ours).remove(24, 1).toLatin1());
    case jet::kBinary:
        // mdb-export ends a Binary value at its first zero byte.
        for (int at = 0; at + 1 < ours.size(); at += 2)
            if (ours.mid(at, 2) == QLatin1String("00"))
                return ours.left(at);
        return ours;
    case jet::kDateTime: return ours.size() == 10 ? ours + QStringLiteral(" 00:00:00") : ours;
    case jet::kBoolean: return ours == QLatin1String("True") ? QStringLiteral("1") : QStringLiteral("0");
    case jet::kText:
    case jet::kMemo: {
        // mdb-export prints a character beyond the BMP as "??" (one per UTF-16 unit).
        QString s = ours;
        for (int i = 0; i + 1 < s.size(); ++i)
            if (s.at(i).isHighSurrogate() && s.at(i + 1).isLowSurrogate())
                s.replace(i, 2, QStringLiteral("??"));
        return s;
    }
    default: return ours;
    }
}

// mdb-export prints reals its own way and exact numbers with every decimal of their scale.
QString comparable(quint8 type, QString text)
{
    if (text.isEmpty())
        return text;
    if (type == jet::kSingle || type == jet::kDouble)
        return QString::number(text.toDouble(), 'g', 7);
    if ((type == jet::kCurrency || type == jet::kDecimal) && text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    return text;
}

// A table as mdb-export prints it, a line a row, in canonical form.
QStringList exportedByMdbTools(const QString &path, const QString &table, const QVector<JetColumn> &columns)
{
    const ToolResult m = runTool(
        QStringLiteral("mdb-export"),
        {QStringLiteral("-H"), QStringLiteral("-Q"), QStringLiteral("-d"), QStringLiteral("\x1f"), QStringLiteral("-R"),
         QStringLiteral("\x1e"), QStringLiteral("-b"), QStringLiteral("hex"), QStringLiteral("-D"),
         QStringLiteral("%Y-%m-%d"), QStringLiteral("-T"), QStringLiteral("%Y-%m-%d %H:%M:%S"), path, table});
    if (m.exitCode != 0)
        return {QStringLiteral("mdb-export failed: ") + QString::fromUtf8(m.err)};
    QStringList lines = QString::fromUtf8(m.out).split(QChar(0x1e));
    if (lines.last().isEmpty())
        lines.removeLast();
    for (QString &line : lines) {
        QStringList cells = line.split(QChar(0x1f));
        for (int c = 0; c < cells.size() && c < columns.size(); ++c)
            cells[c] = comparable(columns[c].type, cells[c]);
        line = cells.join(QChar(0x1f));
    }
    return lines;
}

// Our rows of a table in the same canonical form.
QStringList readByUs(const Collect &all, const QVector<JetColumn> &columns)
{
    QStringList ours;
    for (size_t i = 0; i < all.rows.size(); ++i) {
        QStringList cells;
        for (int c = 0; c < columns.size(); ++c)
            cells << comparable(columns[c].type, asMdbExportPrints(columns[c].type, all.rows[i][c], all.nulls[i][c]));
        ours << cells.join(QChar(0x1f));
    }
    return ours;
}

void compareLines(const QStringList &exported, const QStringList &ours)
{
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
        // As other Jet writers lay a table out, and as a file with many tables keeps its usage maps.
        jet::WriterOptions others{false, 3, 0, false};
        others.fixedText = true;
        others.variableDecimal = true;
        others.mapSlotsFrom = 130;
        QTest::newRow("fixed text, variable decimal, maps at high slots") << others << QStringLiteral("41729063");
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
        std::vector<sample::Row> rows;
        for (int i = 0; i < kRows; ++i) {
            rows.push_back(sample::row(i));
            if (options.fixedText && !rows.back().nulls[8]) // a fixed Text value is all its 100 characters
                rows.back().texts[8] = rows.back().texts[8].leftJustified(100, QLatin1Char(' '));
        }
        for (int i = 0; i < kRows; ++i) {
            const sample::Row &expected = rows[size_t(i)];
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
            QCOMPARE(cellText(cursor->cells()[0]), rows[size_t(i)].texts[9]);
            QCOMPARE(cellText(cursor->cells()[1]), rows[size_t(i)].texts[3]);
        }
        QVERIFY(!cursor->next());

        // The tool, which opens the file through the connection string.
        const ToolResult q = runTool(kLssdb, {QStringLiteral("query"), path, QStringLiteral("select * from T"),
                                              QStringLiteral("--password"), password});
        QVERIFY2(q.exitCode == 0, q.err.constData());
        const QStringList lines = QString::fromUtf8(q.out).split(QLatin1Char('\n'));
        QCOMPARE(lines.value(0), all.columns.join(QLatin1Char('\t')));
        for (int i = 0; i < kRows; ++i)
            QCOMPARE(lines.value(i + 1), rows[size_t(i)].texts.join(QLatin1Char('\t')));
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
        const QVector<JetColumn> columns = file.columns(QStringLiteral("T"));
        QStringList exported = exportedByMdbTools(path, QStringLiteral("T"), columns);
        QStringList ours = readByUs(all, columns);
        if (options.moveEvery || options.deleteEvery) {
            exported.sort();
            exported.removeDuplicates();
            ours.sort();
        }
        compareLines(exported, ours);
    }

    // Files Access wrote, as a real directory file is made: every table of every one opens and
    // reads cell for cell as mdb-export reads it, and its stored row count, COUNT(*) and a whole
    // pass agree. The tables are listed by mdb-tables, not by us.
    void filesOthersWrote_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("table"); // empty: the catalog, MSysObjects
        const QDir samples(QStringLiteral(LSS_SOURCE_DIR "/tests/jet/samples"));
        const QStringList files = samples.entryList({QStringLiteral("*.mdb")}, QDir::Files, QDir::Name);
        QVERIFY(files.size() >= 11);
        for (const QString &name : files) {
            const QString path = samples.filePath(name);
            const ToolResult listed = runTool(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), path});
            const QStringList tables = QString::fromUtf8(listed.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            QTest::newRow(qPrintable(name + QStringLiteral(" MSysObjects"))) << path << QString();
            for (const QString &t : tables)
                QTest::newRow(qPrintable(name + QLatin1Char(' ') + t)) << path << t;
        }
    }

    void filesOthersWrote()
    {
        QFETCH(QString, path);
        QFETCH(QString, table);
        const bool locked = path.contains(QLatin1String("_with-password"));
        const QString password = locked ? QStringLiteral("password") : QStringLiteral("any");
        if (locked) {
            try {
                JetFile wrong(path, QStringLiteral("41729063"));
                QFAIL("a wrong password opened the file");
            } catch (const jet::Error &e) {
                QCOMPARE(sqlerrors::message(e), QStringLiteral("密码无效。"));
            }
        }
        JetFile file(path, password);
        if (table.isEmpty()) {
            if (path.contains(QLatin1String("empty")))
                QVERIFY(file.tableNames().isEmpty());
            // The catalog itself, every column: Access keeps its properties as long values.
            jet::PageFile pages(path);
            const jet::StoredTable catalog = jet::readTableDef(pages, jet::kCatalogPage, QStringLiteral("MSysObjects"));
            std::vector<int> every(catalog.columns.size());
            QVector<JetColumn> columns;
            for (size_t c = 0; c < every.size(); ++c) {
                every[c] = int(c);
                columns.push_back({catalog.columns[c].name, StorageClass::Text, true, catalog.columns[c].type, 0});
            }
            jet::TableCursor rows(pages, catalog, every);
            Collect all;
            while (rows.next())
                all.row(rows.cells());
            QCOMPARE(quint32(all.rows.size()), catalog.rowCount);
            compareLines(exportedByMdbTools(path, QStringLiteral("MSysObjects"), columns), readByUs(all, columns));
            return;
        }
        QVERIFY(file.tableNames().contains(table));
        Collect all;
        file.readTable(table, all);
        const QVector<JetColumn> columns = file.columns(table);
        compareLines(exportedByMdbTools(path, table, columns), readByUs(all, columns));

        const quint32 rows = quint32(all.rows.size());
        QCOMPARE(file.storedRowCount(table), rows);
        QCOMPARE(file.openTable(table, {})->countRows(), rows);
        const ToolResult count =
            runTool(kLssdb, {QStringLiteral("query"), path, QStringLiteral("SELECT COUNT(*) FROM [%1]").arg(table),
                             QStringLiteral("--password"), password});
        QCOMPARE(QString::fromUtf8(count.out), QStringLiteral("COUNT(*)\n%1\n1 records\n").arg(rows));
        const ToolResult whole =
            runTool(kLssdb, {QStringLiteral("query"), path, QStringLiteral("SELECT * FROM [%1]").arg(table),
                             QStringLiteral("--password"), password});
        QVERIFY2(whole.exitCode == 0, whole.err.constData());
        QVERIFY(whole.out.endsWith(QStringLiteral("\n%1 records\n").arg(rows).toUtf8()));
    }
};

QTEST_GUILESS_MAIN(TestReader)
#include "test_reader.moc"
