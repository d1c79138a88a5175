// Running out of memory while a statement reads its rows. This program's own operator new fails
// from the Nth allocation on, from the moment a statement is prepared until it returns: inside
// the tables' calls from SQLite (xFilter decoding, its failure path, xNext, xColumn) and around
// them. Every N must give the engine's out-of-memory message or the right rows, never another
// failure or a crash, and the engine must answer the next statement as if nothing happened.
#include "TestDb.h"

#include "data/DatabaseError.h"
#include "data/ResultSet.h"
#include "data/SqlEngine.h"
#include "data/SqlErrors.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <memory>
#include <new>
#include <string>

namespace {

thread_local long t_allowed = -1; // allocations still allowed on this thread; -1: any
thread_local bool t_failed = false;

void failAfter(long n)
{
    t_allowed = n;
    t_failed = false;
}

} // namespace

void *operator new(std::size_t size)
{
    if (t_allowed == 0) {
        t_failed = true;
        throw std::bad_alloc();
    }
    if (t_allowed > 0)
        --t_allowed;
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t size)
{
    return operator new(size);
}
// The nothrow forms too (the library's temporary buffers use them), so that every block this
// program's delete frees came from its own new.
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept
{
    return operator new(size, std::nothrow);
}
void operator delete(void *p, const std::nothrow_t &) noexcept
{
    std::free(p);
}
void operator delete[](void *p, const std::nothrow_t &) noexcept
{
    std::free(p);
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete[](void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void *p, std::size_t) noexcept
{
    std::free(p);
}

class TestOutOfMemory : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;
    const QString m_password = QStringLiteral("41729063");

    static QStringList rows(const ResultSet &r)
    {
        QStringList out;
        for (int i = 0; i < r.rowCount(); ++i) {
            QStringList cells;
            for (int f = 0; f < r.fieldCount(); ++f)
                cells << r.value(i, f);
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    }

    // Rows handed over by stream(), as the same lines.
    static QStringList streamed(SqlEngine &engine, const QString &sql)
    {
        QStringList out;
        int fields = 0;
        engine.stream(
            sql, {}, [&](const QStringList &names, const SqlEngine::ValueTypes &) { fields = int(names.size()); },
            [&](const std::string_view *cells, const unsigned char *) {
                QStringList line;
                for (int f = 0; f < fields; ++f)
                    line << QString::fromUtf8(cells[f].data(), qsizetype(cells[f].size()));
                out << line.join(QLatin1Char('|'));
            });
        return out;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_db = m_dir.filePath(QStringLiteral("people.mdb"));
        testdb::writePeople(m_db, m_password, 3000);
    }

    void statementFailsWholeAndTheEngineGoesOn_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("stream");
        // A prefilter, its columns decoded first and the others for a few rows only.
        QTest::newRow("criterion, few rows") << "select p_Name, p_Age from People where p_City like '%京%'" << false;
        // Every column used decoded whole, then scanned by SQLite.
        QTest::newRow("full decode") << "select p_Name, p_Note from People where p_Age > 2990" << false;
        QTest::newRow("count") << "select count(*) from People" << false;
        // Rows read from the file one at a time, through SQLite and straight to the reader.
        QTest::newRow("streamed scan") << "select p_Name from People where p_Age > 2990" << true;
        QTest::newRow("straight from the file") << "select p_Name, p_City from People" << true;
    }
    void statementFailsWholeAndTheEngineGoesOn()
    {
        QFETCH(QString, sql);
        QFETCH(bool, stream);
        SqlEngine reference(m_db, m_password);
        const QStringList expected = stream ? streamed(reference, sql) : rows(*reference.execute(sql, {}));
        QVERIFY(!expected.isEmpty());
        int failures = 0;
        for (long n = 0;; n = n < 200 ? n + 1 : n * 5 / 4) {
            SqlEngine engine(m_db, m_password);
            engine.setStatementPrepared([n] { failAfter(n); });
            QStringList got;
            QString error;
            try {
                if (stream) {
                    got = streamed(engine, sql);
                } else {
                    const std::unique_ptr<ResultSet> result = engine.execute(sql, {});
                    t_allowed = -1;
                    got = rows(*result);
                }
            } catch (const EDatabaseError &e) {
                error = e.message();
            } catch (const std::exception &e) {
                t_allowed = -1;
                error = QStringLiteral("%1 after %2 allocations").arg(QString::fromUtf8(e.what())).arg(n);
            }
            const bool failed = t_failed;
            failAfter(-1);
            engine.setStatementPrepared({});
            if (!error.isEmpty()) {
                QVERIFY2(failed, qPrintable(QStringLiteral("%1 after %2 allocations").arg(error).arg(n)));
                QCOMPARE(error, sqlerrors::outOfMemory());
                ++failures;
            } else {
                // A failure the engine made up for (or none): the whole result, never part of it.
                QCOMPARE(got, expected);
            }
            // Rows streamed before a failure stay handed over; the next statement is whole.
            QCOMPARE(stream ? streamed(engine, sql) : rows(*engine.execute(sql, {})), expected);
            if (!failed)
                break;
        }
        QVERIFY(failures > 0);
    }
};

QTEST_GUILESS_MAIN(TestOutOfMemory)
#include "test_outofmemory.moc"
