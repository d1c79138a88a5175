// The directory file replaced, rewritten, cut short, removed or swapped for something else while
// a connection has it open: every statement answers from the file on disk now, or says in
// Chinese why it cannot, and never mixes two files.
#include "QueryRows.h"
#include "TestDb.h"
#include "TestMain.h"
#include "query/QueryTestSupport.h"

#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/DatabaseError.h"
#include "data/Query.h"
#include "data/SqlEngine.h"
#include "query/Dl_lawyer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

enum Change { RenameOver, CopyInPlace, CopyInPlaceTimeKept, TruncateInPlace, Delete, Directory, Fifo };

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile f(path);
    return f.open(mode) && f.write(bytes) == bytes.size();
}

// Whatever is at `path` (a file, a directory, a FIFO) goes; `bytes` are put there as a new file
// (another inode, as a deployer's copy makes).
bool putFile(const QString &path, const QByteArray &bytes)
{
    if (QFileInfo(path).isDir())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
    const QString temporary = path + QStringLiteral(".new");
    return writeBytes(temporary, bytes) && QFile::rename(temporary, path);
}

// Makes the change; `other` is a valid directory file of different contents.
bool change(int kind, const QString &path, const QByteArray &other)
{
    switch (kind) {
    case RenameOver: {
        const QString temporary = path + QStringLiteral(".other");
        return writeBytes(temporary, other) && ::rename(QFile::encodeName(temporary), QFile::encodeName(path)) == 0;
    }
    case CopyInPlace: // the same inode, rewritten
        return writeBytes(path, other, QIODevice::WriteOnly | QIODevice::Truncate);
    case CopyInPlaceTimeKept: { // as a copy that keeps times does: only the contents tell
        struct stat before;
        if (::stat(QFile::encodeName(path).constData(), &before) != 0 || QFileInfo(path).size() != other.size()
            || !writeBytes(path, other, QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
    }
    case TruncateInPlace: {
        QFile f(path);
        return f.open(QIODevice::ReadWrite) && f.resize(100000);
    }
    case Delete: return QFile::remove(path);
    case Directory: return QFile::remove(path) && QDir().mkdir(path);
    case Fifo: return QFile::remove(path) && ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    }
    return false;
}

void changeRows()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("readable");   // the changed file reads (as the other directory)
    QTest::addColumn<QString>("message"); // otherwise the error, %1 the path
    QTest::newRow("rename over") << int(RenameOver) << true << QString();
    QTest::newRow("copy over in place") << int(CopyInPlace) << true << QString();
    QTest::newRow("copy over in place, same size and time") << int(CopyInPlaceTimeKept) << true << QString();
    QTest::newRow("truncate in place") << int(TruncateInPlace) << false
                                       << QStringLiteral("数据库文件 '%1' 已损坏或不完整，无法读取。");
    QTest::newRow("delete") << int(Delete) << false << QStringLiteral("找不到文件 '%1'。");
    QTest::newRow("directory") << int(Directory) << false << QStringLiteral("'%1' 是一个目录，不是数据库文件。");
    QTest::newRow("fifo") << int(Fifo) << false << QStringLiteral("'%1' 不是普通文件，不能作为数据库打开。");
}

} // namespace

class TestFileChange : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray m_people;        // People of 4 rows
    QByteArray m_morePeople;    // the same 4 and two more
    QByteArray m_shiftedPeople; // one other row, its definition elsewhere
    QString m_lawyers;          // the window's directory: two lawyers in 郑州
    QByteArray m_lawyersFirst;
    QByteArray m_lawyersOther; // three in 郑州

    static QStringList rows(Query &q) { return queryRows(q); }
    static QStringList run(Query &q, const QString &sql)
    {
        runOn(q, sql);
        return rows(q);
    }
    static QString failure(Query &q, const QString &sql)
    {
        try {
            run(q, sql);
        } catch (const EDatabaseError &e) {
            return q.Active() ? QStringLiteral("active after failure") : e.message();
        }
        return QStringLiteral("no error");
    }
    static QStringList people(int extra)
    {
        QStringList out{QStringLiteral("Anna|北京"), QStringLiteral("bob|北京市"), QStringLiteral("O'Brien|"),
                        QStringLiteral("ÄRGER|Zürich")};
        for (int i = 0; i < extra; ++i)
            out << QStringLiteral("Extra%1|郑州").arg(i);
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        Q_INIT_RESOURCE(lss);
        QVERIFY(m_dir.isValid());
        const QString a = m_dir.filePath(QStringLiteral("a.mdb"));
        const QString b = m_dir.filePath(QStringLiteral("b.mdb"));
        testdb::writePeople(a);
        testdb::writePeople(b, QStringLiteral("41729063"), 2);
        m_people = bytesOf(a);
        m_morePeople = bytesOf(b);
        QVERIFY(!m_people.isEmpty() && !m_morePeople.isEmpty());
        {
            // People defined on another page than in the others: nothing read from one fits the other.
            jet::Writer w(a);
            w.beginTable({QStringLiteral("Nobody"), {{QStringLiteral("n_x"), jet::kText, 10}}});
            w.endTable();
            w.beginTable({QStringLiteral("People"),
                          {{QStringLiteral("p_Name"), jet::kText, 50}, {QStringLiteral("p_City"), jet::kText, 50}}});
            w.addRow({QStringLiteral("Moved"), QStringLiteral("上海")});
            w.endTable();
            w.finish();
            m_shiftedPeople = bytesOf(a);
        }

        const QStringList lawyers{QStringLiteral("1,张三,男,河南,郑州,一号,税务"),
                                  QStringLiteral("2,李四,女,河南,郑州市,二号,证券"),
                                  QStringLiteral("3,王五,男,北京,北京,三号,税务")};
        const QString other = querytest::buildDatabase(
            m_dir.path(),
            {{QStringLiteral("lawyer"), lawyers + QStringList{QStringLiteral("4,赵六,女,河南,新郑,四号,税务")}}},
            QStringLiteral("other.dll"));
        m_lawyers = querytest::buildDatabase(m_dir.path(), {{QStringLiteral("lawyer"), lawyers}});
        QVERIFY(!other.isEmpty() && !m_lawyers.isEmpty());
        m_lawyersFirst = bytesOf(m_lawyers);
        m_lawyersOther = bytesOf(other);
        querytest::startProgram(m_lawyers);
    }

    // One connection open throughout: each statement reads the file on disk now, whole.
    void statementsOnOneConnection_data() { changeRows(); }
    void statementsOnOneConnection()
    {
        QFETCH(int, kind);
        QFETCH(bool, readable);
        QFETCH(QString, message);
        const QString path = m_dir.filePath(QStringLiteral("people.mdb"));
        QVERIFY(putFile(path, m_people));
        Connection c;
        connectTo(c, path);
        Query shown; // a result still on show: it keeps what it showed
        shown.setConnection(&c);
        QCOMPARE(run(shown, QStringLiteral("select p_Name from People")).size(), 4);
        Query q;
        q.setConnection(&c);
        QCOMPARE(run(q, QStringLiteral("select count(*) from People")), QStringList{QStringLiteral("4")});

        QVERIFY(change(kind, path, m_morePeople));
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (readable) {
                // No stale count, and no name decoded from the old file beside a city of the new.
                QCOMPARE(run(q, QStringLiteral("select count(*) from People")), QStringList{QStringLiteral("6")});
                QCOMPARE(run(q, QStringLiteral("select p_Name, p_City from People")), people(2));
            } else {
                QCOMPARE(failure(q, QStringLiteral("select count(*) from People")), message.arg(path));
                QCOMPARE(failure(q, QStringLiteral("select p_Name from People")), message.arg(path));
            }
        }
        QCOMPARE(shown.RecordCount(), 4);
        QCOMPARE(shown.value(3, 0), QStringLiteral("ÄRGER"));

        // Put back: the statements read it again.
        QVERIFY(putFile(path, m_people));
        QCOMPARE(run(q, QStringLiteral("select p_Name, p_City from People")), people(0));
        QCOMPARE(run(q, QStringLiteral("select count(*) from People")), QStringList{QStringLiteral("4")});
        QFile::remove(path);
    }

    // Rewritten in place within the same second, the same size, only a row's bytes changed (its
    // definition and row count as before): the time to the nanosecond tells.
    void rewrittenWithinTheSecond()
    {
        const QString path = m_dir.filePath(QStringLiteral("second.mdb"));
        QVERIFY(putFile(path, m_people));
        QByteArray renamed = m_people;
        const QByteArray anna("A\0n\0n\0a\0", 8);
        const int at = int(renamed.indexOf(anna, 3 * 4096));
        QVERIFY(at > 0);
        renamed[at + 6] = 'e';
        Connection c;
        connectTo(c, path);
        Query q;
        q.setConnection(&c);
        QCOMPARE(run(q, QStringLiteral("select p_Name from People")).value(0), QStringLiteral("Anna"));
        struct stat before;
        QVERIFY(::stat(QFile::encodeName(path).constData(), &before) == 0);
        QVERIFY(writeBytes(path, renamed, QIODevice::WriteOnly | QIODevice::Truncate));
        struct timespec times[2] = {before.st_atim, before.st_mtim};
        times[1].tv_nsec = (times[1].tv_nsec + 1) % 1000000000;
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0);
        QCOMPARE(run(q, QStringLiteral("select p_Name from People")).value(0), QStringLiteral("Anne"));
        QFile::remove(path);
    }

    // The file replaced while a statement reads it: the statement runs again on the new file,
    // and when the file keeps changing it gives up with a message rather than a mixed result.
    void changedDuringAStatement()
    {
        const QString path = m_dir.filePath(QStringLiteral("during.mdb"));
        QVERIFY(putFile(path, m_people));
        Connection c;
        connectTo(c, path);
        Query q;
        q.setConnection(&c);
        QCOMPARE(run(q, QStringLiteral("select p_Name from People")).size(), 4);
        int prepared = 0;
        c.engine()->setStatementPrepared([&] {
            if (prepared++ == 0)
                QVERIFY(change(RenameOver, path, m_morePeople));
        });
        QCOMPARE(run(q, QStringLiteral("select p_Name, p_City from People")), people(2));
        QCOMPARE(prepared, 2);

        c.engine()->setStatementPrepared([&] {
            ++prepared;
            QVERIFY(putFile(path, prepared % 2 ? m_people : m_morePeople));
        });
        const QString keptChanging = QStringLiteral("数据库文件在查询时被反复更改，请稍后重试。");
        c.engine()->setStatementPrepared([&] {
            ++prepared;
            QVERIFY(change(RenameOver, path, prepared % 2 ? m_people : m_shiftedPeople));
        });
        // Each attempt reads a file renamed over the one it began with: never called damaged.
        for (const char *sql : {"select count(*) from People", "select p_Name, p_City from People"})
            QCOMPARE(failure(q, QString::fromLatin1(sql)), keptChanging);
        // Streamed rows cannot be taken back: the file renamed over under them is said once.
        c.engine()->setStatementPrepared(
            [&] { QVERIFY(change(RenameOver, path, ++prepared % 2 ? m_people : m_shiftedPeople)); });
        QString streamed;
        try {
            c.engine()->stream(
                QStringLiteral("select p_Name, p_City from People"), {}, [](auto &, auto &) {},
                [](const std::string_view *, const unsigned char *) {});
        } catch (const EDatabaseError &e) {
            streamed = e.message();
        }
        QCOMPARE(streamed, keptChanging);
        c.engine()->setStatementPrepared({});
        QCOMPARE(run(q, QStringLiteral("select count(*) from People")).size(), 1);
        QFile::remove(path);
    }

    // The same through the lawyer window's fuzzy search and its record counter.
    void throughTheWindow_data() { changeRows(); }
    void throughTheWindow()
    {
        QFETCH(int, kind);
        QFETCH(bool, readable);
        QFETCH(QString, message);
        QVERIFY(putFile(m_lawyers, m_lawyersFirst));
        F_one->Button1->click();
        TF_Lawyer *w = F_Lawyer;
        QVERIFY(w);
        w->RadioButton2->setChecked(true);
        w->Edit1->setText(QStringLiteral("郑"));
        w->BitBtn1->click();
        QCOMPARE(w->Edit2->text(), QStringLiteral("2"));

        QVERIFY(change(kind, m_lawyers, m_lawyersOther));
        const QStringList shown = boxesDuring([&] { w->BitBtn1->click(); });
        if (readable) {
            QCOMPARE(shown, QStringList());
            QCOMPARE(w->Edit2->text(), QStringLiteral("3"));
            QCOMPARE(w->DBGrid1->model()->rowCount(), 3);
            QCOMPARE(DM->AQ_lawyer->value(2, 0), QStringLiteral("赵六"));
        } else {
            QCOMPARE(shown.size(), 1);
            QVERIFY2(shown.first().startsWith(message.arg(m_lawyers)), qPrintable(shown.first()));
            QVERIFY(!DM->AQ_lawyer->Active());
        }

        QVERIFY(putFile(m_lawyers, m_lawyersFirst));
        QCOMPARE(boxesDuring([&] { w->BitBtn1->click(); }), QStringList());
        QCOMPARE(w->Edit2->text(), QStringLiteral("2"));
        w->close();
        flushDeletes();
    }

    // What is not a regular file is refused when a connection opens, and a FIFO never blocks.
    void notRegularFiles()
    {
        const QString fifo = m_dir.filePath(QStringLiteral("fifo.mdb"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const QString notRegular = QStringLiteral("'%1' 不是普通文件，不能作为数据库打开。").arg(fifo);
        const QString directory = QStringLiteral("'%1' 是一个目录，不是数据库文件。").arg(m_dir.path());
        for (const auto &[path, expected] : {std::pair{fifo, notRegular}, std::pair{m_dir.path(), directory}}) {
            Connection c;
            c.setConnectionString(directoryConnectionString(path));
            QString got;
            try {
                c.setConnected(true);
            } catch (const EDatabaseError &e) {
                got = e.message();
            }
            QCOMPARE(got, expected);
            QVERIFY(!c.connected());
        }
        QProcess p;
        p.start(QStringLiteral(LSSDB_PATH), {QStringLiteral("query"), fifo, QStringLiteral("select 1")});
        QVERIFY(p.waitForFinished(-1));
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()).trimmed(), notRegular);
    }
};

LSS_TEST_MAIN(TestFileChange)
#include "test_filechange.moc"
