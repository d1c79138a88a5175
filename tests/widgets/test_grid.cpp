// The grid over a data source: rows read on demand, following the current record both ways; and
// a search that meets the decoding ahead, with a window's busy wait and without one.
#include "data/QueryRows.h"
#include "data/TestDb.h"
#include "data/jet/Writer.h"

#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/DataSource.h"
#include "data/DatabaseError.h"
#include "data/Query.h"
#include "data/SqlEngine.h"
#include "widgets/BusyWait.h"
#include "widgets/DBGrid.h"
#include "widgets/GridDelegate.h"
#include "widgets/GridExport.h"
#include "widgets/GridModel.h"
#include "widgets/GridSort.h"

#include <QBuffer>
#include <QClipboard>
#include <QFileInfo>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <numeric>

namespace {

// A grid on a query of its own over `conn`, showing `fields` (untitled).
struct GridOnQuery
{
    Query q;
    DataSource ds;
    DBGrid grid;
    GridOnQuery(Connection *conn, const QStringList &fields)
    {
        q.setConnection(conn);
        ds.setDataSet(&q);
        grid.setDataSource(&ds);
        QVector<GridColumn> columns;
        for (const QString &f : fields) {
            GridColumn c;
            c.field = f;
            columns << c;
        }
        grid.setColumns(columns);
    }
};

} // namespace

class TestGrid : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db; // the four people, where m_conn is open
    Connection m_conn;

    // People with 30,000 more rows, written once for the suite.
    QString manyPeople()
    {
        const QString db = m_dir.filePath(QStringLiteral("many.mdb"));
        if (!QFileInfo::exists(db))
            testdb::writePeople(db, QStringLiteral("41729063"), 30000);
        return db;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_db = m_dir.filePath(QStringLiteral("people.mdb"));
        testdb::writePeople(m_db);
        connectTo(m_conn, m_db);
    }

    void followsQueryAndClicks()
    {
        GridOnQuery g(&m_conn, {});
        Query &q = g.q;
        DataSource &ds = g.ds;
        DBGrid &grid = g.grid;
        auto column = [](const char *field, const QString &title, int width) {
            GridColumn c;
            c.field = QString::fromLatin1(field);
            c.title = title;
            c.width = width;
            return c;
        };
        grid.setColumns({column("p_Name", QStringLiteral("姓名"), 120), column("p_Mail", QStringLiteral("邮件"), 50),
                         column("p_City", QStringLiteral("城市"), 70)});
        grid.setGridColumnWidth(2, 90);
        QAbstractItemModel *m = grid.model();
        QCOMPARE(m->rowCount(), 0); // closed: no rows
        QCOMPARE(m->columnCount(), 3);
        QCOMPARE(m->headerData(1, Qt::Horizontal).toString(), QStringLiteral("邮件"));
        QCOMPARE(grid.columnWidth(2), 90);
        QCOMPARE(grid.selectedField(), QString());
        QCOMPARE(grid.editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(grid.tabKeyNavigation());

        q.SQL().Add(QStringLiteral("select p_City, p_Age, p_Name from People"));
        q.Open();
        QCOMPARE(m->rowCount(), 4);
        QCOMPARE(m->index(1, 0).data().toString(), QStringLiteral("bob"));
        QCOMPARE(m->index(1, 1).data().toString(), QString()); // the result has no such field
        QCOMPARE(m->index(0, 2).data().toString(), QStringLiteral("北京"));
        QCOMPARE(grid.columnWidth(0), 120);
        QVERIFY(!(m->flags(m->index(0, 0)) & Qt::ItemIsEditable));
        QCOMPARE(grid.currentIndex().row(), 0);
        QCOMPARE(m->headerData(0, Qt::Vertical).toString(), QStringLiteral("▶"));

        q.Next();
        q.Next();
        QCOMPARE(grid.currentIndex().row(), 2);
        QCOMPARE(m->headerData(2, Qt::Vertical).toString(), QStringLiteral("▶"));
        QCOMPARE(m->headerData(0, Qt::Vertical).toString(), QString());

        // A click makes the row current; the flags clear.
        q.First();
        grid.setCurrentIndex(m->index(3, 2));
        QCOMPARE(q.RecNo(), 3);
        QVERIFY(!q.Bof() && !q.Eof());
        QCOMPARE(grid.selectedField(), QStringLiteral("p_City"));
        QCOMPARE(grid.selectedFieldPosition(), 1);
        grid.setCurrentColumn(0);
        QCOMPARE(grid.selectedFieldPosition(), 3);
        grid.setCurrentColumn(1);
        QCOMPARE(grid.selectedFieldPosition(), 0);

        QSignalSpy dbl(&grid, &DBGrid::dblClick);
        grid.show();
        QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(m->index(1, 0)).center());
        QCOMPARE(dbl.count(), 1);
        QCOMPARE(q.RecNo(), 1);

        ds.setEnabled(false);
        QCOMPARE(m->rowCount(), 0);
        ds.setEnabled(true);
        QCOMPARE(m->rowCount(), 4);
        q.Close();
        QCOMPARE(m->rowCount(), 0);
    }

    // The indicator column keeps the marker's width wherever the current record is (QHeaderView
    // alone measures only the first and last hundred rows).
    void indicatorKeepsItsWidth()
    {
        Connection c;
        connectTo(c, manyPeople());
        GridOnQuery g(&c, {QStringLiteral("p_Name")});
        QFont big = g.grid.font();
        big.setPixelSize(40);
        g.grid.setFont(big);
        g.q.SQL().Add(QStringLiteral("select p_Name from People"));
        g.q.Open();
        g.grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g.grid));
        const int width = g.grid.verticalHeader()->width();
        QVERIFY(width > g.grid.verticalHeader()->minimumWidth());
        g.q.MoveTo(15000);
        g.grid.setFont(big); // as any change of layout asks the header again
        g.grid.doItemsLayout();
        QCoreApplication::processEvents();
        QCOMPARE(g.grid.verticalHeader()->width(), width);
    }

    // The grid's cells, painted by its own delegate, have the stock delegate's pixels: texts of
    // either script, empty, too wide (elided), on two lines, aligned right, coloured, in a larger
    // bold font; selected, current with the focus, disabled; after scrolls (past more texts than
    // are kept laid out), a wider column and a change of font, in the program's style and in
    // Qt's own.
    void cellsPaintAsTheStockDelegate_data()
    {
        QTest::addColumn<QString>("style");
        QTest::newRow("windows") << QStringLiteral("Windows");
        QTest::newRow("fusion") << QStringLiteral("Fusion");
    }
    void cellsPaintAsTheStockDelegate()
    {
        QFETCH(QString, style);
        std::unique_ptr<QStyle> look(QStyleFactory::create(style));
        QVERIFY(look);
        const QStringList texts{QStringLiteral("Anna"),
                                QStringLiteral("北京市"),
                                QStringLiteral("ÄRGER Zürich"),
                                QString(),
                                QStringLiteral("郑州 123 ok"),
                                QStringLiteral("北京市某某某某某律师事务所分所"),
                                QStringLiteral("two\nlines"),
                                QStringLiteral("O'Brien"),
                                QStringLiteral("Room 1203, 郑州市金水区花园路")};
        QStandardItemModel model(400, 3);
        for (int r = 0; r < model.rowCount(); ++r)
            for (int c = 0; c < model.columnCount(); ++c)
                model.setData(model.index(r, c), texts.at((r + c) % texts.size()));
        for (int r = 40; r < model.rowCount(); ++r) // more texts than a column keeps laid out
            model.setData(model.index(r, 0), QStringLiteral("律师%1").arg(r));
        model.setData(model.index(1, 0), QBrush(Qt::red), Qt::ForegroundRole);
        model.setData(model.index(2, 1), int(Qt::AlignRight | Qt::AlignVCenter), Qt::TextAlignmentRole);
        QFont big;
        big.setPixelSize(20);
        big.setBold(true);
        model.setData(model.index(3, 2), big, Qt::FontRole);

        QTableView view;
        view.setStyle(look.get());
        view.setModel(&model);
        view.setWordWrap(false);
        view.resize(330, 260);
        auto *ours = new GridDelegate(&view);
        QStyledItemDelegate stock;
        view.show();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        view.setFocus();
        view.setCurrentIndex(model.index(4, 1));
        view.selectionModel()->select(QItemSelection(model.index(0, 0), model.index(2, 2)),
                                      QItemSelectionModel::Select);
        QVERIFY(view.hasFocus());
        auto samePixels = [&] {
            view.setItemDelegate(ours);
            const QImage mine = view.viewport()->grab().toImage();
            view.setItemDelegate(&stock);
            const QImage theirs = view.viewport()->grab().toImage();
            view.setItemDelegate(ours);
            return mine == theirs;
        };
        QVERIFY(samePixels());
        QVERIFY(samePixels()); // painted again from the kept texts
        view.scrollTo(model.index(35, 0));
        QVERIFY(samePixels());
        for (int r = 40; r < model.rowCount(); r += 8) {
            view.scrollTo(model.index(r, 0));
            (void)view.viewport()->grab();
        }
        QVERIFY(samePixels());
        view.scrollToTop();
        QVERIFY(samePixels());
        view.setColumnWidth(0, view.columnWidth(0) + 30);
        QVERIFY(samePixels());
        QFont smaller = view.font();
        smaller.setPixelSize(smaller.pixelSize() > 0 ? smaller.pixelSize() + 3 : 17);
        view.setFont(smaller);
        QVERIFY(samePixels());
        view.setEnabled(false);
        QVERIFY(samePixels());
    }

    // Numbers and dates sort by value, not as text (-7 before 0, a date with a time after the
    // same day), empty cells last either way; equal cells keep the statement's order. A new
    // result comes unsorted.
    void sortsByValue_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QStringList>("ascending");
        QTest::addColumn<QStringList>("descending");
        const QString anna = QStringLiteral("Anna"), bob = QStringLiteral("bob"), obrien = QStringLiteral("O'Brien"),
                      arger = QStringLiteral("ÄRGER");
        QTest::newRow("number") << QStringLiteral("p_Age") << QStringList{bob, arger, anna, obrien}
                                << QStringList{anna, arger, bob, obrien};
        QTest::newRow("date") << QStringLiteral("p_Born") << QStringList{anna, bob, obrien, arger}
                              << QStringList{bob, anna, obrien, arger};
        QTest::newRow("text, equal cells") << QStringLiteral("p_Same") << QStringList{anna, bob, obrien, arger}
                                           << QStringList{anna, bob, obrien, arger};
    }
    void sortsByValue()
    {
        QFETCH(QString, field);
        QFETCH(QStringList, ascending);
        QFETCH(QStringList, descending);
        GridOnQuery g(&m_conn, {QStringLiteral("p_Name"), field});
        Query &q = g.q;
        DBGrid &grid = g.grid;
        q.SQL().Add(QStringLiteral("select p_Name, p_Age, p_Born, 'x' as p_Same from People"));
        q.Open();
        auto names = [&] {
            QStringList cells;
            for (int r = 0; r < grid.model()->rowCount(); ++r)
                cells << grid.model()->index(r, 0).data().toString();
            return cells;
        };
        grid.sortByCaption(1);
        QCOMPARE(names(), ascending);
        grid.sortByCaption(1);
        QCOMPARE(names(), descending);
        q.Close();
        q.Open();
        QVERIFY(!grid.isSorted());
        QCOMPARE(names(), (QStringList{QStringLiteral("Anna"), QStringLiteral("bob"), QStringLiteral("O'Brien"),
                                       QStringLiteral("ÄRGER")}));
    }

    // More distinct texts than the sort's first table holds, each met again after the table has
    // grown, and more than one pass of its final sort places: a text is one value however often
    // it comes, so its rows keep their order among themselves in either direction (digits by
    // value: 律师2 before 律师10), empty cells last.
    void sortsManyDistinctTexts()
    {
        const int rows = 12000, texts = 5000;
        gridsort::Column cells;
        std::vector<int> key(rows);
        for (int r = 0; r < rows; ++r) {
            key[size_t(r)] = r % 11 == 5 ? -1 : r * 7919 % texts;
            // Odd ones long (after every 律师 in pinyin), alike in their first 16 bytes and in
            // their length.
            const QString text = key[size_t(r)] % 2 ? QStringLiteral("某某律师事务所第%1号") : QStringLiteral("律师%1");
            cells.append(key[size_t(r)] < 0 ? std::string() : text.arg(key[size_t(r)]).toStdString());
        }
        auto rank = [&](int k) { return k % 2 * texts + k; };
        for (const bool descending : {false, true}) {
            QVector<int> expected(rows);
            std::iota(expected.begin(), expected.end(), 0);
            std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
                const int ka = key[size_t(a)], kb = key[size_t(b)];
                if ((ka < 0) != (kb < 0))
                    return kb < 0;
                return descending ? rank(ka) > rank(kb) : rank(ka) < rank(kb);
            });
            QCOMPARE(gridsort::order(cells, descending), expected);
        }
    }

    // A column the table keeps once per value sorts from its values and the rows' codes, for
    // every row of the table or for the rows a later search found (their codes looked up by
    // their rows in the table): equal cities keep the statement's order, a NULL city comes
    // last, cities no row of the result has are not shown.
    void sortsKeptValues()
    {
        const QString path = m_dir.filePath(QStringLiteral("cities.mdb"));
        {
            jet::Writer w(path, QStringLiteral("41729063"));
            w.beginTable(jet::TableDef{
                QStringLiteral("Firms"),
                {{QStringLiteral("f_Name"), jet::kText, 20}, {QStringLiteral("f_City"), jet::kText, 20}}});
            const char *const rows[][2] = {{"甲", "郑州"},   {"乙选", "上海"}, {"丙", "北京"},   {"丁选", "北京"},
                                           {"戊选", "上海"}, {"己", nullptr},  {"庚选", "广州"}, {"辛", "天津"},
                                           {"壬选", "北京"}, {"癸选", nullptr}};
            for (const auto &r : rows)
                w.addRow({QString::fromUtf8(r[0]), r[1] ? QVariant(QString::fromUtf8(r[1])) : QVariant()});
            w.endTable();
            w.finish();
        }
        Connection c;
        connectTo(c, path);
        GridOnQuery g(&c, {QStringLiteral("f_Name"), QStringLiteral("f_City")});
        auto sortedNames = [&](const QString &statement) {
            g.q.Close();
            g.q.SQL().Clear();
            g.q.SQL().Add(statement);
            g.q.Open();
            g.grid.sortByCaption(1);
            QStringList names;
            for (int r = 0; r < g.grid.model()->rowCount(); ++r)
                names << g.grid.model()->index(r, 0).data().toString();
            return names.join(QLatin1Char(' '));
        };
        QCOMPARE(sortedNames(QStringLiteral("select f_Name, f_City from Firms")),
                 QStringLiteral("丙 丁选 壬选 庚选 乙选 戊选 辛 甲 己 癸选"));
        QCOMPARE(sortedNames(QStringLiteral("select f_Name, f_City from Firms where f_Name like '%选%'")),
                 QStringLiteral("丁选 壬选 庚选 乙选 戊选 癸选"));

        // A column the table keeps a text a row (names, nearly all distinct) is read where it
        // lies, for the rows a later search found: descending, the names by their numbers. The
        // same search first, in one pass over the file, tests names too many to remember.
        QStringList expected;
        for (int i = 29999; i >= 0; --i)
            if (QString::number(i).contains(QLatin1Char('7')))
                expected << QStringLiteral("Extra%1").arg(i);
        Connection many;
        connectTo(many, manyPeople());
        GridOnQuery people(&many, {QStringLiteral("p_Name"), QStringLiteral("p_City")});
        const QString search = QStringLiteral("select p_Name, p_City from People where p_Name like '%7%'");
        for (const QString &statement : {search, QStringLiteral("select p_Name, p_City from People"), search}) {
            people.q.Close();
            people.q.SQL().Clear();
            people.q.SQL().Add(statement);
            people.q.Open();
            if (statement == search)
                QCOMPARE(people.q.RecordCount(), int(expected.size()));
        }
        people.grid.sortByCaption(0);
        people.grid.sortByCaption(0);
        QStringList shown;
        for (int r = 0; r < people.grid.model()->rowCount(); ++r)
            shown << people.grid.model()->index(r, 0).data().toString();
        QCOMPARE(shown, expected);
    }

    // A line break or tab inside a copied cell becomes a space: the pasted text keeps one line
    // per row and one tab between cells.
    void copiedCellsKeepTheirRows()
    {
        GridOnQuery g(&m_conn, {QStringLiteral("p_Text"), QStringLiteral("p_Name")});
        Query &q = g.q;
        DBGrid &grid = g.grid;
        q.SQL().Add(QStringLiteral("select 'a' || char(13, 10) || 'b' || char(10) || 'c' || char(13) || 'd' || char(9) "
                                   "|| 'e' || char(11, 12, 133, 8232, 8233) || 'f' as p_Text, p_Name from People"));
        q.Open();
        grid.selectAll();
        grid.copySelection();
        const QString line = QStringLiteral("a  b c d e     f\t");
        QCOMPARE(QApplication::clipboard()->text(),
                 QStringList({line + QStringLiteral("Anna"), line + QStringLiteral("bob"),
                              line + QStringLiteral("O'Brien"), line + QStringLiteral("ÄRGER")})
                     .join(QLatin1Char('\n')));
    }

    // The CSV file of a result of several megabytes (written out in pieces) holds each row
    // exactly once, in the order shown.
    void csvOfALargeResultIsExact()
    {
        const QString db = manyPeople();
        Connection c;
        connectTo(c, db);
        GridOnQuery g(&c, {});
        Query &q = g.q;
        DBGrid &grid = g.grid;
        QVector<GridColumn> columns;
        for (int i = 0; i < 12; ++i) {
            GridColumn col;
            col.field = QString::fromLatin1(i % 3 == 0 ? "p_Name" : i % 3 == 1 ? "p_City" : "p_Age");
            col.title = QStringLiteral("列%1").arg(i);
            columns << col;
        }
        grid.setColumns(columns);
        q.SQL().Add(QStringLiteral("select p_Name, p_City, p_Age from People"));
        q.Open();
        grid.sortByCaption(2); // by age, descending next
        grid.sortByCaption(2);
        QByteArray expected("\xEF\xBB\xBF");
        QStringList header;
        for (int i = 0; i < 12; ++i)
            header << QStringLiteral("列%1").arg(i);
        expected += header.join(QLatin1Char(',')).toUtf8() + "\r\n";
        // Equal ages keep the statement's order: the first four rows come before the extra ones.
        auto row = [](const QString &name, const QString &city, const QString &age) {
            const QString cells = name + QLatin1Char(',') + city + QLatin1Char(',') + age;
            return (QStringList{cells, cells, cells, cells}.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
        };
        for (int i = 29999; i >= 0; --i) {
            if (i == 31)
                expected += row(QStringLiteral("Anna"), QStringLiteral("北京"), QStringLiteral("31"));
            if (i == 0)
                expected += row(QStringLiteral("ÄRGER"), QStringLiteral("Zürich"), QStringLiteral("0"));
            expected += row(QStringLiteral("Extra%1").arg(i), QStringLiteral("郑州"), QString::number(i));
        }
        expected += row(QStringLiteral("bob"), QStringLiteral("北京市"), QStringLiteral("-7"));
        expected += row(QStringLiteral("O'Brien"), QString(), QString());
        QVERIFY(expected.size() > 2 * (1 << 20)); // two pieces and a rest
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QVERIFY(gridexport::writeCsv(*static_cast<GridModel *>(grid.model()), out));
        QCOMPARE(out.data().size(), expected.size());
        QVERIFY(out.data() == expected);
    }

    // A search issued while the columns are still being decoded ahead does not wait for them:
    // its statement runs at once, on a thread of its own, while the window shows the busy
    // cursor, keeps the event loop running and refuses to close. An Open of the same query from
    // that loop (a timer) takes the same statement's result: it runs once, and the grid shows its
    // rows. The decoding ahead goes on afterwards.
    void searchDuringWarmUp()
    {
        Connection c;
        connectTo(c, m_db);
        useBusyWait(&c);
        GridOnQuery g(&c, {QStringLiteral("p_Name")});
        Query &q = g.q;
        DBGrid &grid = g.grid;
        grid.show();
        QSignalSpy opened(&q, &Query::activeChanged);

        c.engine()->holdWarmUp(true);
        q.warmUp({QStringLiteral("select p_Name, p_City, p_Note from People"), QStringLiteral("where p_City like '%")});
        QVERIFY(c.engine()->warmUpRunning());
        q.SQL().Add(QStringLiteral("select p_Name from People where p_City like '%北京%'"));

        // The statement stays on its thread until the timer below has looked at the window.
        std::atomic<bool> release{false};
        std::atomic<int> statements{0};
        const Qt::HANDLE gui = QThread::currentThreadId();
        std::atomic<bool> offGui{false};
        c.engine()->setStatementPrepared([&] {
            ++statements;
            offGui = QThread::currentThreadId() != gui;
            while (!release.load())
                QThread::msleep(1);
        });
        int cursorShape = -1;
        bool stayedOpen = false;
        bool runningMeanwhile = false;
        QTimer::singleShot(0, &grid, [&] {
            cursorShape = QGuiApplication::overrideCursor() ? int(QGuiApplication::overrideCursor()->shape()) : -1;
            runningMeanwhile = c.statementRunning();
            grid.close();
            stayedOpen = grid.isVisible();
            release = true;
            q.Open(); // waits for the statement running, then shows its rows
            QCOMPARE(q.RecordCount(), 2);
        });
        q.Open();
        c.engine()->setStatementPrepared(nullptr);
        QCOMPARE(cursorShape, int(Qt::BusyCursor));
        QVERIFY(runningMeanwhile);
        QVERIFY(offGui.load());
        QVERIFY(stayedOpen);
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(statements.load(), 1);
        QCOMPARE(opened.count(), 1);
        QCOMPARE(q.RecordCount(), 2);
        QCOMPARE(grid.model()->rowCount(), 2);
        QCOMPARE(grid.model()->index(1, 0).data().toString(), QStringLiteral("bob"));
        QVERIFY(c.engine()->warmUpRunning()); // still held: the search did not wait for it
        c.engine()->holdWarmUp(false);
        c.waitForWarmUp();
        QVERIFY(c.engine()->isLoaded(QStringLiteral("People")));

        // A failing statement is thrown from Open as it was, the query left closed; a query
        // closed while its statement runs does not open when it ends.
        q.Close();
        q.SQL().Clear();
        q.SQL().Add(QStringLiteral("select p_Nothing from People"));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, q.Open());
        QVERIFY(!q.Active());
        QVERIFY(!c.statementRunning());
        q.SQL().Clear();
        q.SQL().Add(QStringLiteral("select p_Name from People"));
        release = false;
        c.engine()->setStatementPrepared([&] {
            while (!release.load())
                QThread::msleep(1);
        });
        QTimer::singleShot(0, &grid, [&] {
            q.Close();
            release = true;
        });
        q.Open();
        c.engine()->setStatementPrepared(nullptr);
        QVERIFY(!q.Active());
        QCOMPARE(grid.model()->rowCount(), 0);

        // Closing the connection ends a held warm-up; a new one then decodes as asked.
        c.engine()->holdWarmUp(true);
        q.warmUp({QStringLiteral("select p_Note from People")});
        c.setConnected(false);
        q.Open();
        QCOMPARE(q.RecordCount(), 4);
    }

    // A key or a click in a window holds the decoding ahead until the window next waits for
    // events: the handling, and a statement it starts, have the processors first.
    void inputHoldsTheDecodingAhead()
    {
        Connection c;
        connectTo(c, manyPeople());
        useBusyWait(&c);
        GridOnQuery g(&c, {QStringLiteral("p_Name")});
        g.grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g.grid));
        c.engine()->holdWarmUp(true);
        g.q.warmUp({QStringLiteral("select p_Name, p_City, p_Note from People")});
        QTest::keyClick(&g.grid, Qt::Key_Down);
        c.engine()->holdWarmUp(false);
        QThread::msleep(100); // no event runs: decoding 30,000 rows takes a few milliseconds
        QVERIFY(!c.engine()->isLoaded(QStringLiteral("People")));
        QVERIFY(c.warmUpRunning());
        c.waitForWarmUp(); // its wait runs events: the decoding goes on
        QVERIFY(c.engine()->isLoaded(QStringLiteral("People")));
    }

    // A statement that meets a pass of the decoding ahead (given up for it, or let finish when
    // it decodes only the column the statement tests) gets every row, on its own thread and on
    // the calling one; the decoding then ends with the table read.
    void statementMeetsDecodingPass_data()
    {
        QTest::addColumn<bool>("windowWait");
        QTest::addColumn<QString>("ahead");
        QTest::newRow("calling thread, other columns") << false << QStringLiteral("select p_Name, p_Note from People");
        QTest::newRow("calling thread, tested column") << false << QStringLiteral("where p_City like '%");
        QTest::newRow("window, other columns") << true << QStringLiteral("select p_Name, p_Note from People");
        QTest::newRow("window, tested column") << true << QStringLiteral("where p_City like '%");
    }
    void statementMeetsDecodingPass()
    {
        QFETCH(bool, windowWait);
        QFETCH(QString, ahead);
        const QString db = manyPeople();
        Connection c;
        connectTo(c, db);
        if (windowWait)
            useBusyWait(&c);
        Query q;
        q.setConnection(&c);
        q.warmUp({QStringLiteral("select p_Name, p_City, p_Note from People"), ahead});
        q.SQL().Add(QStringLiteral("select p_Name, p_City from People where p_City like '%郑州%'"));
        q.Open();
        QCOMPARE(q.RecordCount(), 30000);
        QCOMPARE(q.value(0, 0), QStringLiteral("Extra0"));
        QCOMPARE(q.value(29999, 0), QStringLiteral("Extra29999"));
        QCOMPARE(q.value(29999, 1), QStringLiteral("郑州"));
        c.waitForWarmUp();
        QVERIFY(!c.warmUpRunning());
        QVERIFY(c.engine()->isLoaded(QStringLiteral("People")));
        q.Close();
        q.SQL().Clear();
        q.SQL().Add(QStringLiteral("select p_Note from People where p_Name = 'bob'"));
        q.Open();
        QCOMPARE(q.value(0, 0), QStringLiteral("长备注").repeated(200));
    }

    // Without a window's wait the statement runs on the calling thread, without waiting for the
    // decoding ahead: no event runs meanwhile, and the decoding goes on afterwards.
    void searchWithoutWindowWaits()
    {
        Connection c;
        connectTo(c, m_db);
        Query q;
        q.setConnection(&c);
        QSignalSpy opened(&q, &Query::activeChanged);
        c.engine()->holdWarmUp(true);
        q.warmUp({QStringLiteral("select p_Name, p_City from People")});
        QVERIFY(c.warmUpRunning());
        bool eventRan = false;
        QTimer::singleShot(0, &q, [&] { eventRan = true; });
        q.SQL().Add(QStringLiteral("select p_Name from People where p_City like '%北京%'"));
        q.Open();
        QVERIFY(!eventRan);
        QVERIFY(c.warmUpRunning());
        QCOMPARE(opened.count(), 1);
        QCOMPARE(q.RecordCount(), 2);
        c.engine()->holdWarmUp(false);
        c.waitForWarmUp();
        QVERIFY(!c.warmUpRunning());
    }
};

QTEST_MAIN(TestGrid)
#include "test_grid.moc"
