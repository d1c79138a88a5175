// Narrow tables whose pages hold as many rows as a row pointer can name (255), so that moved
// rows and long values are found through pointers to the high row slots; and the database
// password, whose case counts.
#include "jet/ReadBack.h"

#include "data/DatabaseError.h"
#include "data/jet/Writer.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

using namespace readback;

constexpr int kRows = 600;

// Row i of the narrow tables: a number and a short note, both different in every row.
QString number(int i)
{
    return QString::number(i * 3 + 1);
}
QString note(int i)
{
    return QStringLiteral("v%1").arg(i);
}

// The most rows on any one page of the file: data pages and long-value pages alike.
int mostRowsOnAPage(const QByteArray &file)
{
    int most = 0;
    for (int p = 3; p < file.size() / 4096; ++p)
        if (file.at(p * 4096) == 1)
            most = std::max(most, int(jet::get16(reinterpret_cast<const uchar *>(file.constData()) + p * 4096 + 12)));
    return most;
}

} // namespace

Q_DECLARE_METATYPE(jet::WriterOptions)

class TestFullPages : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void fullPagesReadBack_data()
    {
        QTest::addColumn<bool>("withNumber");
        QTest::addColumn<bool>("withNote");
        QTest::addColumn<jet::WriterOptions>("options");
        QTest::addColumn<int>("mostRows");
        jet::WriterOptions moved;
        moved.moveEvery = 1;
        jet::WriterOptions offRow;
        offRow.longValuesOffRow = true;
        jet::WriterOptions both = moved;
        both.longValuesOffRow = true;
        jet::WriterOptions deleted;
        deleted.deleteEvery = 1;
        // Every row moved: the pointers and the moved rows each fill pages of 255.
        QTest::newRow("every row moved") << true << false << moved << 255;
        // Every other row moved: pages that mix live rows with pointers all the way up, and the
        // moved rows' page, full, found through pointers past slot 127.
        jet::WriterOptions someMoved;
        someMoved.moveEvery = 2;
        QTest::newRow("live rows among moved ones") << true << false << someMoved << 255;
        // The usage maps past slot 127 of their page.
        jet::WriterOptions mapsHigh;
        mapsHigh.mapSlotsFrom = 200;
        QTest::newRow("usage maps at high slots") << true << false << mapsHigh << 255;
        // Every note a long value: 255 to a long-value page.
        QTest::newRow("long values") << false << true << offRow << 255;
        QTest::newRow("moved rows with long values") << true << true << both << 255;
        // A deleted copy after each row: live rows in the odd slots up to 253.
        QTest::newRow("deleted rows between") << true << false << deleted << 255;
    }

    // Every row as written, through a single cursor, the engine and mdb-export.
    void fullPagesReadBack()
    {
        QFETCH(bool, withNumber);
        QFETCH(bool, withNote);
        QFETCH(jet::WriterOptions, options);
        QFETCH(int, mostRows);
        const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".mdb"));
        QStringList expected;
        {
            jet::TableDef def{QStringLiteral("Narrow"), {}};
            if (withNumber)
                def.columns.push_back({QStringLiteral("n"), jet::kLong, 0});
            if (withNote)
                def.columns.push_back({QStringLiteral("m"), jet::kMemo, 0});
            jet::Writer w(path, QString());
            w.setOptions(options);
            w.beginTable(def);
            for (int i = 0; i < kRows; ++i) {
                QVector<QVariant> row;
                QStringList text;
                if (withNumber) {
                    row << i * 3 + 1;
                    text << number(i);
                }
                if (withNote) {
                    row << note(i);
                    text << note(i);
                }
                w.addRow(row);
                expected << text.join(kCell);
            }
            w.endTable();
            w.finish();
        }
        QCOMPARE(mostRowsOnAPage(readAll(path)), mostRows);

        RowTexts single;
        QStringList fromEngine;
        try {
            JetFile file(path, QString());
            file.readTable(QStringLiteral("Narrow"), single);
            SqlEngine engine(path, QString());
            fromEngine = engineRows(engine, QStringLiteral("Narrow"));
            // Counted from the row slots: each moved row once, at its pointer.
            QCOMPARE(file.openTable(QStringLiteral("Narrow"), {})->countRows(), quint32(kRows));
            QCOMPARE(engine.execute(QStringLiteral("SELECT COUNT(*) FROM Narrow"), {})->value(0, 0),
                     QString::number(kRows));
        } catch (const EDatabaseError &e) {
            QFAIL(qPrintable(e.message()));
        } catch (const jet::Error &e) {
            QFAIL(qPrintable(sqlerrors::message(e)));
        }
        QCOMPARE(single.rows, expected);
        QCOMPARE(fromEngine, expected);
        // mdb-export lists deleted rows and finds moved ones its own way: the distinct rows.
        QStringList exported = exportedRows(path, QStringLiteral("Narrow"));
        exported.sort();
        exported.removeDuplicates();
        expected.sort();
        QCOMPARE(exported, expected);
    }

    // A password of mixed case opens the file only as written, through the reader and through
    // lssdb query's connection string.
    void passwordCaseCounts()
    {
        const QString password = QStringLiteral("QingQiong律Ge7");
        const QString path = m_dir.filePath(QStringLiteral("password.mdb"));
        {
            jet::Writer w(path, password);
            w.beginTable({QStringLiteral("P"), {{QStringLiteral("p"), jet::kText, 10}}});
            w.addRow({QStringLiteral("x")});
            w.endTable();
            w.finish();
        }
        QString swapped;
        for (QChar c : password)
            swapped += c.isUpper() ? c.toLower() : c.toUpper();
        const QString invalid = QStringLiteral("密码无效。");
        for (const QString &given : {password, password.toLower(), password.toUpper(), swapped}) {
            QString error;
            try {
                JetFile f(path, given);
            } catch (const jet::Error &e) {
                error = sqlerrors::message(e);
            }
            QCOMPARE(error, given == password ? QString() : invalid);

            const ToolResult q =
                runTool(QStringLiteral(LSSDB_PATH), {QStringLiteral("query"), path, QStringLiteral("SELECT p FROM P"),
                                                     QStringLiteral("--password"), given});
            QCOMPARE(q.exitCode == 0, given == password);
            if (given != password)
                QVERIFY2(QString::fromUtf8(q.err).contains(invalid), q.err.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestFullPages)
#include "test_fullpages.moc"
