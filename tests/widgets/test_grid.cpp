// The grid over a data source: rows read on demand, following the current record both ways; and
// a search that meets the decoding ahead, with a window's busy wait and without one.
#include "data/TestDb.h"

#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/DataSource.h"
#include "data/Query.h"
#include "data/SqlEngine.h"
#include "widgets/BusyWait.h"
#include "widgets/DBGrid.h"
#include "widgets/GridModel.h"

#include <QHeaderView>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

class TestGrid : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    Connection m_conn;

private Q_SLOTS:
    void initTestCase()
    {
        const QString db = m_dir.filePath(QStringLiteral("people.mdb"));
        testdb::writePeople(db);
        m_conn.setConnectionString(directoryConnectionString(db));
        m_conn.setConnected(true);
    }

    void followsQueryAndClicks()
    {
        Query q;
        q.setConnection(&m_conn);
        DataSource ds;
        ds.setDataSet(&q);
        DBGrid grid;
        grid.setDataSource(&ds);
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

    // A search issued while the columns are still being decoded ahead waits for them with the
    // busy cursor and the event loop running, windows refusing to close; a search opened from
    // that loop (a timer) runs once, and the waiting one then finds the query open and runs
    // nothing. The grid shows the rows of the one statement that ran.
    void searchBeforeWarmUpEnds()
    {
        Connection c;
        c.setConnectionString(m_conn.connectionString());
        c.setConnected(true);
        useBusyWait(&c);
        Query q;
        q.setConnection(&c);
        DataSource ds;
        ds.setDataSet(&q);
        DBGrid grid;
        grid.setDataSource(&ds);
        GridColumn name;
        name.field = QStringLiteral("p_Name");
        grid.setColumns({name});
        grid.show();
        QSignalSpy opened(&q, &Query::activeChanged);

        c.engine()->holdWarmUp(true);
        q.warmUp({QStringLiteral("select p_Name, p_City from People"), QStringLiteral("where p_City like '%")});
        QVERIFY(c.engine()->warmUpRunning());
        q.SQL().Add(QStringLiteral("select p_Name from People where p_City like '%北京%'"));

        int cursorShape = -1;
        bool stayedOpen = false;
        QTimer::singleShot(0, &grid, [&] {
            cursorShape = QGuiApplication::overrideCursor() ? int(QGuiApplication::overrideCursor()->shape()) : -1;
            grid.close();
            stayedOpen = grid.isVisible();
            QTimer::singleShot(20, &grid, [&] { c.engine()->holdWarmUp(false); });
            q.Open(); // waits inside the first wait, then runs
        });
        q.Open();
        QCOMPARE(cursorShape, int(Qt::BusyCursor));
        QVERIFY(stayedOpen);
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(!c.engine()->warmUpRunning());
        QCOMPARE(opened.count(), 1);
        QCOMPARE(q.RecordCount(), 2);
        QCOMPARE(grid.model()->rowCount(), 2);
        QCOMPARE(grid.model()->index(1, 0).data().toString(), QStringLiteral("bob"));

        // Closing the connection ends a held warm-up; a new one then decodes as asked.
        c.engine()->holdWarmUp(true);
        q.warmUp({QStringLiteral("select p_Note from People")});
        c.setConnected(false);
        q.Close();
        q.Open();
        QCOMPARE(q.RecordCount(), 2);
    }

    // Without a window's wait the data layer blocks the calling thread until the decoding ahead
    // ends: no event runs meanwhile, and the search then runs once.
    void searchWithoutWindowWaits()
    {
        Connection c;
        c.setConnectionString(m_conn.connectionString());
        c.setConnected(true);
        Query q;
        q.setConnection(&c);
        QSignalSpy opened(&q, &Query::activeChanged);
        c.engine()->holdWarmUp(true);
        q.warmUp({QStringLiteral("select p_Name, p_City from People")});
        QVERIFY(c.warmUpRunning());
        bool eventRan = false;
        QTimer::singleShot(0, &q, [&] { eventRan = true; });
        std::thread release([&] {
            QThread::msleep(20);
            c.engine()->holdWarmUp(false);
        });
        q.SQL().Add(QStringLiteral("select p_Name from People where p_City like '%北京%'"));
        q.Open();
        release.join();
        QVERIFY(!eventRan);
        QVERIFY(!c.warmUpRunning());
        QCOMPARE(opened.count(), 1);
        QCOMPARE(q.RecordCount(), 2);
    }
};

QTEST_MAIN(TestGrid)
#include "test_grid.moc"
