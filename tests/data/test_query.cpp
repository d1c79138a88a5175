// The query object, the connection and the engine over files made by the Jet writer.
#include "QueryRows.h"
#include "TestDb.h"

#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/DatabaseError.h"
#include "data/Query.h"
#include "data/ResultSet.h"
#include "data/SqlEngine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace {
// The first two cells of a streamed row, joined by "|".
QString twoCells(const std::string_view *cells)
{
    return QString::fromUtf8(cells[0].data(), qsizetype(cells[0].size())) + QLatin1Char('|')
           + QString::fromUtf8(cells[1].data(), qsizetype(cells[1].size()));
}
} // namespace

class TestQuery : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;
    Connection *m_conn = nullptr;
    Query *m_q = nullptr;

    void run(const QStringList &lines)
    {
        m_q->Close();
        m_q->SQL().Clear();
        for (const QString &l : lines)
            m_q->SQL().Add(l);
        try {
            m_q->Open();
        } catch (const EDatabaseError &e) {
            qWarning("%s", qPrintable(e.message()));
            throw;
        }
    }
    QStringList column(const QString &field)
    {
        QStringList values;
        const int f = m_q->fieldIndex(field);
        for (int r = 0; r < m_q->RecordCount(); ++r)
            values << m_q->value(r, f);
        return values;
    }
    QString openError(const QString &connectionString)
    {
        Connection c;
        c.setConnectionString(connectionString);
        try {
            c.setConnected(true);
        } catch (const EDatabaseError &e) {
            if (c.connected())
                return QStringLiteral("connected after failure");
            return e.message();
        }
        return QString();
    }
    QString openFileError(const QString &path) { return openError(directoryConnectionString(path)); }
    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_db = m_dir.filePath(QStringLiteral("people.mdb"));
        testdb::writePeople(m_db);
        m_conn = new Connection(this);
        connectTo(*m_conn, m_db);
        m_q = new Query(this);
        m_q->setConnection(m_conn);
    }

    // Rule of the two flags through every move, on a full, an empty and a closed query.
    void navigationFlags()
    {
        m_q->Close();
        QVERIFY(m_q->Bof() && m_q->Eof());
        QCOMPARE(m_q->RecordCount(), 0);
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, m_q->Next());

        run({QStringLiteral("select p_Name from People")});
        QCOMPARE(m_q->RecordCount(), 4);
        auto state = [this] { return QStringLiteral("%1 %2 %3").arg(m_q->RecNo()).arg(m_q->Bof()).arg(m_q->Eof()); };
        QCOMPARE(state(), QStringLiteral("0 1 0"));
        QCOMPARE(m_q->FieldByName(QStringLiteral("p_Name")), QStringLiteral("Anna"));
        m_q->Prior();
        QCOMPARE(state(), QStringLiteral("0 1 0"));
        m_q->Next();
        QCOMPARE(state(), QStringLiteral("1 0 0"));
        m_q->Next();
        m_q->Next();
        QCOMPARE(state(), QStringLiteral("3 0 0")); // on the last record, not yet past it
        m_q->Next();
        QCOMPARE(state(), QStringLiteral("3 0 1"));
        m_q->Prior();
        QCOMPARE(state(), QStringLiteral("2 0 0"));
        m_q->Last();
        QCOMPARE(state(), QStringLiteral("3 0 1"));
        QCOMPARE(m_q->FieldByName(QStringLiteral("P_NAME")), QStringLiteral("ÄRGER"));
        m_q->First();
        QCOMPARE(state(), QStringLiteral("0 1 0"));
        m_q->Next();
        m_q->First();
        QCOMPARE(state(), QStringLiteral("0 1 0"));
        m_q->MoveTo(2);
        QCOMPARE(state(), QStringLiteral("2 0 0"));
        m_q->Close();
        QCOMPARE(state(), QStringLiteral("-1 1 1"));

        run({QStringLiteral("select * from People where p_Name = 'nobody'")});
        QCOMPARE(m_q->RecordCount(), 0);
        QCOMPARE(state(), QStringLiteral("-1 1 1"));
        m_q->First();
        m_q->Next();
        m_q->Last();
        m_q->Prior();
        QCOMPARE(state(), QStringLiteral("-1 1 1"));
        QCOMPARE(m_q->FieldByName(QStringLiteral("p_Name")), QString());

        run({QStringLiteral("select * from Nobody")});
        QCOMPARE(state(), QStringLiteral("-1 1 1"));
    }

    void sqlLinesAndParameters()
    {
        m_q->Close();
        m_q->SQL().Clear();
        m_q->SQL().Add(QStringLiteral("SELECT p_Name FROM People where 1=1"));
        QCOMPARE(m_q->SQL().text(), QStringLiteral("SELECT p_Name FROM People where 1=1\r\n"));
        QVERIFY(m_q->parameterNames().isEmpty());
        m_q->SQL().Add(QStringLiteral("and p_Name =:name"));
        QCOMPARE(m_q->parameterNames(), QStringList{QStringLiteral("name")});
        m_q->ParamByName(QStringLiteral("NAME"))->setValue(QStringLiteral("anna"));
        m_q->SQL().Add(QStringLiteral("and p_City = :city and p_Note <> ':quoted' and p_City <> \":x\""));
        QCOMPARE(m_q->parameterNames(), (QStringList{QStringLiteral("name"), QStringLiteral("city")}));
        QCOMPARE(m_q->ParamByName(QStringLiteral("name"))->Value, QStringLiteral("anna")); // kept
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, m_q->ParamByName(QStringLiteral("quoted")));
        m_q->ParamByName(QStringLiteral("city"))->setValue(QStringLiteral("北京"));
        QCOMPARE(m_q->SQL().Count(), 3);
        m_q->Open();
        QCOMPARE(m_q->RecordCount(), 1);
        QCOMPARE(m_q->FieldByName(QStringLiteral("p_name")), QStringLiteral("Anna"));

        // A changed text closes the query; a name that went away loses its value.
        m_q->SQL().Clear();
        QVERIFY(!m_q->Active());
        QVERIFY(m_q->parameterNames().isEmpty());
        m_q->SQL().Add(QStringLiteral("select p_Name from People where p_Name = :name"));
        QVERIFY(!m_q->ParamByName(QStringLiteral("name"))->hasValue);

        // An apostrophe in a value is just text.
        m_q->ParamByName(QStringLiteral("name"))->setValue(QStringLiteral("O'Brien"));
        m_q->Open();
        QCOMPARE(m_q->RecordCount(), 1);
        QCOMPARE(m_q->FieldByName(QStringLiteral("p_Name")), QStringLiteral("O'Brien"));
    }

    void jetTextSemantics()
    {
        run({QStringLiteral("SELECT P_NAME FROM PEOPLE WHERE p_name = 'ANNA'")});
        QCOMPARE(column(QStringLiteral("p_name")), QStringList{QStringLiteral("Anna")});
        QCOMPARE(m_q->fieldNames(), QStringList{QStringLiteral("p_Name")}); // the stored spelling
        run({QStringLiteral("select p_Name from People"), QStringLiteral("WHERE p_Name like '%B%'")});
        QCOMPARE(column(QStringLiteral("p_Name")), (QStringList{QStringLiteral("bob"), QStringLiteral("O'Brien")}));
        run({QStringLiteral("select p_Name from People where p_Name like 'b_b'")});
        QCOMPARE(m_q->RecordCount(), 1);
        // Exact and fuzzy matches of Chinese text.
        m_q->Close();
        m_q->SQL().Clear();
        m_q->SQL().Add(QStringLiteral("select p_City from People where 1=1"));
        m_q->SQL().Add(QStringLiteral("and p_City = :c"));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, m_q->Open()); // :c has no value yet
        QVERIFY(!m_q->Active());
        m_q->ParamByName(QStringLiteral("c"))->setValue(QStringLiteral("北京"));
        m_q->Open();
        QCOMPARE(column(QStringLiteral("p_City")), QStringList{QStringLiteral("北京")});
        run({QStringLiteral("select p_City from People WHERE p_City like '%北京%'")});
        QCOMPARE(m_q->RecordCount(), 2);
        run({QStringLiteral("select p_City from People where 1=1")});
        QCOMPARE(m_q->RecordCount(), 4);
    }

    void values()
    {
        run({QStringLiteral("select p_Age, p_Born, p_Note, p_City, p_Name from People")});
        QCOMPARE(m_q->fieldNames(),
                 (QStringList{QStringLiteral("p_Age"), QStringLiteral("p_Born"), QStringLiteral("p_Note"),
                              QStringLiteral("p_City"), QStringLiteral("p_Name")}));
        QCOMPARE(column(QStringLiteral("p_Age")), (QStringList{"31", "-7", "", "0"}));
        QCOMPARE(column(QStringLiteral("p_Born")), (QStringList{"1990-05-01", "2001-12-31 13:45:10", "", ""}));
        QCOMPARE(m_q->value(1, 2), QStringLiteral("长备注").repeated(200)); // kept on long-value pages
        QCOMPARE(m_q->value(2, 3), QString());
        QCOMPARE(m_q->value(3, 3), QStringLiteral("Zürich"));
        run({QStringLiteral("select p_Age * 1.5 as x, p_Age / 4.0 as y from People where p_Age = 31")});
        QCOMPARE(m_q->value(0, 0), QStringLiteral("46.5"));
        QCOMPARE(m_q->value(0, 1), QStringLiteral("7.75"));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, m_q->FieldByName(QStringLiteral("nothere")));
    }

    void statementErrors_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message");
        auto row = [](const char *name, const char *sql, const char *message) {
            QTest::newRow(name) << QString::fromUtf8(sql) << QString::fromUtf8(message);
        };
        row("table", "select * from Lawyers", "找不到表 'Lawyers'。");
        row("column", "select p_Name, p_Mail from People", "找不到列 'p_Mail'。");
        row("syntax", "select from People", "语法错误: 'from' 附近。");
        row("incomplete", "select p_Name from People where", "语法错误: 语句不完整。");
        row("quote", "select * from People WHERE p_Name like '%O'Brien%'", "语法错误: 'Brien' 附近。");
        row("two statements", "select * from People; select 1", "在 SQL 语句结尾之后找到字符。");
        row("write", "delete from People", "数据库以只读方式打开，只能执行查询语句。");
        row("unclosed list", "select * from People where p_Name like 'a[bc%'", "模式字符串无效：'[' 没有对应的 ']'。");
        row("attach", "attach database '/tmp/x.db' as x", "数据库以只读方式打开，只能执行查询语句。");
        // Mistakes in a statement are told in Chinese; SQLite's words only as a detail.
        row("arguments", "select abs() from People", "函数 'abs' 的参数个数不正确。");
        row("aggregate misused", "select p_Name from People where count(*) > 1",
            "聚合函数 'count' 用在了不允许的位置。");
        row("overflow", "select sum(9223372036854775807) from People", "整数溢出。");
        row("unknown mistake", "select p_Name from People order by 9",
            "SQL 语句错误。详细信息: 1st ORDER BY term out of range - should be "
            "between 1 and 1");
        row("bad escape", "select * from People where p_Name like 'a' escape 'xy'", "ESCAPE 表达式必须是单个字符。");
        row("table, other case", "select P_NAME from PEOPLE where p_name = 'x'", "");
    }
    void statementErrors()
    {
        QFETCH(QString, sql);
        QFETCH(QString, message);
        run({QStringLiteral("select p_Name from People")});
        m_q->Next();
        try {
            runOn(*m_q, sql);
            QCOMPARE(QString(), message);
            m_q->Close();
        } catch (const EDatabaseError &e) {
            QCOMPARE(e.message(), message);
        }
        QVERIFY(!m_q->Active());
        QVERIFY(m_q->Bof() && m_q->Eof());
        run({QStringLiteral("select p_Name from People")}); // the next statement works
        QCOMPARE(m_q->RecordCount(), 4);
        QCOMPARE(m_q->RecNo(), 0);
    }

    void connectionStrings()
    {
        // A directory with blanks, Chinese characters and a backslash in its name: the "\/" the
        // data module puts before the file name and runs of "/" are one separator, a "\" inside a
        // name is part of it.
        QDir(m_dir.path()).mkpath(QStringLiteral("目录 back\\slash"));
        const QString dir = m_dir.filePath(QStringLiteral("目录 back\\slash"));
        QFile::copy(m_db, dir + QStringLiteral("/lss.dll"));
        for (const char *tail : {"/\\/lss.dll", "//lss.dll", "/\\\\//lss.dll"})
            QCOMPARE(openFileError(dir + QLatin1String(tail)), QString());
        // Keys without regard to case, items trimmed, password compared.
        QCOMPARE(openError(QStringLiteral("data source = %1 ;JET OLEDB:DATABASE PASSWORD=41729063").arg(m_db)),
                 QString());
        QCOMPARE(openError(QStringLiteral("Data Source=%1;Jet OLEDB:Database Password=x").arg(m_db)),
                 QStringLiteral("密码无效。"));
        QCOMPARE(openError(QStringLiteral("Data Source=%1").arg(m_db)), QStringLiteral("密码无效。"));
    }

    void openFailures()
    {
        const QString missing = m_dir.filePath(QStringLiteral("none.mdb"));
        QCOMPARE(openFileError(missing), QStringLiteral("找不到文件 '%1'。").arg(missing));
        const QString empty = writeFile(QStringLiteral("empty.mdb"), QByteArray());
        QCOMPARE(openFileError(empty), QStringLiteral("无法识别的数据库格式 '%1'。").arg(empty));
        const QString text = writeFile(QStringLiteral("text.mdb"), QByteArray("just some text\n").repeated(500));
        QCOMPARE(openFileError(text), QStringLiteral("无法识别的数据库格式 '%1'。").arg(text));

        QFile f(m_db);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray good = f.readAll();
        const QString damagedText = QStringLiteral("数据库文件 '%1' 已损坏或不完整，无法读取。");
        for (int cut : {100, 4096, 4096 * 2, 4096 * 3 + 17, int(good.size()) - 4096 - 1}) {
            const QString cutFile = writeFile(QStringLiteral("cut%1.mdb").arg(cut), good.left(cut));
            const QString msg = openFileError(cutFile);
            QVERIFY2(msg == damagedText.arg(cutFile) || msg.startsWith(QStringLiteral("无法识别")), qPrintable(msg));
        }

        // Random bytes, alone or behind a valid header page: an error, never a crash or a hang.
        QRandomGenerator rng(42);
        for (int i = 0; i < 20; ++i) {
            QByteArray bytes(4096 * (3 + i % 5), Qt::Uninitialized);
            for (char &c : bytes)
                c = char(rng.generate());
            if (i % 2)
                bytes.replace(0, 4096, good.left(4096));
            const QString path = writeFile(QStringLiteral("random%1.mdb").arg(i), bytes);
            QVERIFY(!openFileError(path).isEmpty());
        }

        // Damage inside the data pages of a table is found when the table is read (the
        // catalog's own rows, owned by page 2, are read when the file opens).
        QByteArray corrupt = good;
        for (int p = 3; p < corrupt.size() / 4096; ++p) {
            if (corrupt.at(p * 4096) == 1 && corrupt.mid(p * 4096 + 4, 4) != "LVAL"
                && corrupt.mid(p * 4096 + 4, 4) != QByteArray("\x02\0\0\0", 4)) {
                for (int k = 14; k < 4096; k += 7)
                    corrupt[p * 4096 + k] = char(0xFF);
            }
        }
        const QString corruptPath = writeFile(QStringLiteral("corrupt.mdb"), corrupt);
        Connection c;
        connectTo(c, corruptPath);
        Query q;
        q.setConnection(&c);
        q.SQL().Add(QStringLiteral("select * from People"));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, q.Open());
        QVERIFY(!q.Active());
    }

    // A table that cannot be declared as stored (a column name holding U+0000, as only damage
    // makes) or has no columns: a statement naming it gets the file's own message, the other
    // tables read.
    void tablesThatCannotBeRead()
    {
        const QString path = m_dir.filePath(QStringLiteral("nul-name.mdb"));
        {
            jet::Writer w(path, QString());
            w.beginTable({QStringLiteral("Bad"), {{QStringLiteral("aZb"), jet::kText, 10}}});
            w.addRow({QStringLiteral("x")});
            w.endTable();
            w.beginTable({QStringLiteral("Good"), {{QStringLiteral("g"), jet::kText, 10}}});
            w.addRow({QStringLiteral("y")});
            w.endTable();
            w.finish();
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        const QByteArray name("a\0Z\0b\0", 6);
        QCOMPARE(bytes.count(name), 1); // in Bad's definition
        bytes.replace(name, QByteArray("a\0\0\0b\0", 6));
        f.seek(0);
        f.write(bytes);
        f.close();
        Connection c;
        connectTo(c, path);
        Query q;
        q.setConnection(&c);
        for (const char *sql : {"select * from Bad", "select count(*) from bad"}) {
            try {
                runOn(q, QString::fromLatin1(sql));
                QFAIL("no error");
            } catch (const EDatabaseError &e) {
                QCOMPARE(e.message(), QStringLiteral("数据库文件 '%1' 已损坏或不完整，无法读取。").arg(path));
            }
        }
        runOn(q, QStringLiteral("select g from Good"));
        QCOMPARE(q.value(0, 0), QStringLiteral("y"));
    }

    void otherPasswords()
    {
        const QString other = m_dir.filePath(QStringLiteral("other.mdb"));
        testdb::writePeople(other, QStringLiteral("secret"));
        QCOMPARE(openFileError(other), QStringLiteral("密码无效。"));
        QCOMPARE(openError(QStringLiteral("Data Source=%1;Jet OLEDB:Database Password=secret").arg(other)), QString());
        const QString none = m_dir.filePath(QStringLiteral("none-pw.mdb"));
        testdb::writePeople(none, QString());
        QCOMPARE(openError(QStringLiteral("Data Source=%1").arg(none)), QString());
        // A file without a password opens whatever the connection string says.
        QCOMPARE(openFileError(none), QString());

        // lssdb query: --password, '' for none; the file's own rule as above.
        const struct
        {
            QString file;
            QStringList args;
            QString err;
        } runs[] = {{other, {QStringLiteral("--password"), QStringLiteral("secret")}, QString()},
                    {other, {QStringLiteral("--password"), QString()}, QStringLiteral("密码无效。")},
                    {other, {}, QStringLiteral("密码无效。")},
                    {none, {QStringLiteral("--password"), QString()}, QString()},
                    {none, {}, QString()}};
        for (const auto &run : runs) {
            QProcess p;
            p.start(QStringLiteral(LSSDB_PATH),
                    QStringList{QStringLiteral("query"), run.file, QStringLiteral("select count(*) from People")}
                        + run.args);
            QVERIFY(p.waitForFinished(-1));
            QCOMPARE(QString::fromUtf8(p.readAllStandardError()).trimmed(), run.err);
            QCOMPARE(p.readAllStandardOutput(),
                     run.err.isEmpty() ? QByteArray("count(*)\n4\n1 records\n") : QByteArray());
        }
    }

    // A query on a closed connection first tries to open it again.
    void reopensClosedConnection()
    {
        const QString later = m_dir.filePath(QStringLiteral("later.mdb"));
        Connection c;
        c.setConnectionString(directoryConnectionString(later));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, c.setConnected(true));
        QVERIFY(!c.connected());
        Query q;
        q.setConnection(&c);
        q.SQL().Add(QStringLiteral("select * from People"));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, q.Open());
        testdb::writePeople(later);
        q.Open();
        QVERIFY(c.connected());
        QCOMPARE(q.RecordCount(), 4);
    }

    void lssdbQuery()
    {
        QProcess p;
        p.start(QStringLiteral(LSSDB_PATH),
                {QStringLiteral("query"), m_db, QStringLiteral("select p_Name, p_Age from people where p_Name = :n"),
                 QStringLiteral("--param"), QStringLiteral("n=BOB")});
        QVERIFY(p.waitForFinished(-1));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), QStringLiteral("p_Name\tp_Age\nbob\t-7\n1 records\n"));
        // One record per line even when a value holds a tab, a line break or a backslash.
        p.start(QStringLiteral(LSSDB_PATH),
                {QStringLiteral("query"), m_db,
                 QStringLiteral("select p_Name || char(9) || char(10) || char(13) || '\\' as x from People "
                                "where p_Name = 'bob'")});
        QVERIFY(p.waitForFinished(-1));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), QStringLiteral("x\nbob\\t\\n\\r\\\\\n1 records\n"));
        p.start(QStringLiteral(LSSDB_PATH), {QStringLiteral("query"), m_db, QStringLiteral("select x from People")});
        QVERIFY(p.waitForFinished(-1));
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()).trimmed(), QStringLiteral("找不到列 'x'。"));
        QVERIFY(p.readAllStandardOutput().isEmpty());
    }

    // Text units as stored: a pair makes one character, a unit without its partner reads as
    // U+FFFD instead of vanishing, in plain and in memo columns.
    void unpairedSurrogates()
    {
        const QChar high(char16_t(0xD83D));
        const QChar low(char16_t(0xDE00));
        const QChar bad(char16_t(0xFFFD));
        const QStringList stored{QString(high) + low,
                                 QStringLiteral("a") + high + QStringLiteral("b"),
                                 QString(high),
                                 QStringLiteral("x") + low,
                                 QString(high) + high + low,
                                 QString(low) + high};
        const QStringList expected{QString(high) + low,
                                   QStringLiteral("a") + bad + QStringLiteral("b"),
                                   QString(bad),
                                   QStringLiteral("x") + bad,
                                   QString(bad) + high + low,
                                   QString(bad) + bad};
        const QString path = m_dir.filePath(QStringLiteral("surrogates.mdb"));
        {
            jet::Writer w(path);
            w.beginTable({QStringLiteral("S"),
                          {{QStringLiteral("s_text"), jet::kText, 20}, {QStringLiteral("s_memo"), jet::kMemo, 0}}});
            for (const QString &t : stored)
                w.addRow({t, t});
            w.endTable();
            w.finish();
        }
        Connection c;
        connectTo(c, path);
        Query q;
        q.setConnection(&c);
        runOn(q, QStringLiteral("select s_text, s_memo from S"));
        QCOMPARE(q.RecordCount(), int(stored.size()));
        for (int i = 0; i < stored.size(); ++i) {
            QCOMPARE(q.value(i, 0), expected.at(i));
            QCOMPARE(q.value(i, 1), expected.at(i));
        }
    }

    // A table of many pages, read while it is copied: every row in file order across the copy's
    // batches, nulls, long values read back from pages already let go; then damage in its last
    // data page, found after most rows were copied, leaves no table behind and the connection
    // usable.
    void largeTable()
    {
        const int rows = 12001; // full batches and a few rows left over
        // A column of few values, each stored alike many times, null and empty among them.
        auto kindOf = [](int i) {
            return i % 5 == 0 ? QVariant()
                              : QVariant(i % 5 == 1 ? QStringLiteral("") : QStringLiteral("类%1").arg(i % 7));
        };
        const QString memo = QStringLiteral("备注").repeated(600); // on a long-value page
        auto write = [&](const QString &path) {
            jet::Writer w(path);
            w.beginTable({QStringLiteral("Big"),
                          {{QStringLiteral("b_id"), jet::kLong, 0},
                           {QStringLiteral("b_name"), jet::kText, 50},
                           {QStringLiteral("b_note"), jet::kMemo, 0},
                           {QStringLiteral("b_kind"), jet::kText, 10}}});
            for (int i = 0; i < rows; ++i)
                w.addRow({i, i % 97 == 5 ? QVariant() : QVariant(QStringLiteral("名%1").arg(i)),
                          i % 2 == 0 ? QVariant(memo + QString::number(i)) : QVariant(), kindOf(i)});
            w.endTable();
            w.beginTable({QStringLiteral("Small"), {{QStringLiteral("s_x"), jet::kText, 10}}});
            w.addRow({QStringLiteral("x")});
            w.endTable();
            w.finish();
        };
        const QString path = m_dir.filePath(QStringLiteral("big.mdb"));
        write(path);
        QVERIFY(QFileInfo(path).size() > 8 << 20);

        Connection c;
        connectTo(c, path);
        Query q;
        q.setConnection(&c);
        runOn(q, QStringLiteral("select b_id, b_name, b_note from Big"));
        QCOMPARE(q.RecordCount(), rows);
        for (int i = 0; i < rows; ++i) {
            if (q.value(i, 0) != QString::number(i))
                QFAIL(qPrintable(QStringLiteral("row %1 holds id %2").arg(i).arg(q.value(i, 0))));
            QCOMPARE(q.value(i, 1), i % 97 == 5 ? QString() : QStringLiteral("名%1").arg(i));
            QCOMPARE(q.value(i, 2), i % 2 == 0 ? memo + QString::number(i) : QString());
        }
        QCOMPARE(q.value(rows, 0), QString());
        // Text fields only: the result keeps the table's row numbers, whether the rows come in
        // the table's order, leave it after a few, come in another, or are the rows a criterion
        // the table decides alone lets through; the same rows streamed one by one (lssdb).
        auto nameOf = [](int i) { return i % 97 == 5 ? QString() : QStringLiteral("名%1").arg(i); };
        auto idsWhere = [&](const std::function<bool(int)> &keep) {
            std::vector<int> ids;
            for (int i = 0; i < rows; ++i)
                if (keep(i))
                    ids.push_back(i);
            return ids;
        };
        auto named = [&](const std::function<bool(const QString &)> &keep) {
            return idsWhere([&](int i) { return !nameOf(i).isNull() && keep(nameOf(i)); });
        };
        std::vector<int> descending = idsWhere([](int) { return true; });
        std::reverse(descending.begin(), descending.end());
        const std::vector<std::pair<QString, std::vector<int>>> orders{
            {QStringLiteral("select b_name, b_note from Big"), idsWhere([](int) { return true; })},
            {QStringLiteral("select b_name, b_note from Big where 1=1"), idsWhere([](int) { return true; })},
            {QStringLiteral("select b_name, b_note from Big where 1=0"), {}},
            {QStringLiteral("select b_name, b_note from Big where b_id <> 3"), idsWhere([](int i) { return i != 3; })},
            {QStringLiteral("select b_name, b_note from Big order by b_id desc"), descending},
            {QStringLiteral("select b_name, b_note from Big where 1=1 and b_name like '%名12%'"),
             named([](const QString &n) { return n.contains(QStringLiteral("名12")); })},
            {QStringLiteral("select b_name, b_note from Big where b_name = '名120'"), {120}},
            {QStringLiteral("select b_name, b_note from Big where b_kind like '%3%'"),
             idsWhere([](int i) { return i % 5 > 1 && i % 7 == 3; })},
            {QStringLiteral("select b_name, b_note from Big where b_kind = ''"),
             idsWhere([](int i) { return i % 5 == 1; })},
            {QStringLiteral("select b_name, b_note from Big where b_name like '%名1_%'"),
             named([](const QString &n) { return n.startsWith(QStringLiteral("名1")) && n.size() > 2; })},
            {QStringLiteral("select b_name, b_note from Big where b_name like '%2%' and b_note like '%0%'"),
             named([](const QString &n) {
                 const int i = n.mid(1).toInt();
                 return n.contains('2') && i % 2 == 0 && QString::number(i).contains('0');
             })},
        };
        for (const auto &[sql, ids] : orders) {
            runOn(q, sql);
            if (q.RecordCount() != int(ids.size()))
                QFAIL(qPrintable(QStringLiteral("%1: %2 rows, not %3").arg(sql).arg(q.RecordCount()).arg(ids.size())));
            QStringList lines;
            for (int r = 0; r < q.RecordCount(); ++r) {
                const int i = ids[size_t(r)];
                const QString note = i % 2 == 0 ? memo + QString::number(i) : QString();
                if (q.value(r, 0) != nameOf(i) || q.value(r, 1) != note)
                    QFAIL(qPrintable(QStringLiteral("%1: row %2 is not row %3 of the table").arg(sql).arg(r).arg(i)));
                lines << nameOf(i) + QLatin1Char('|') + note;
            }
            // The rows of a scan, one that its criteria narrow too, are kept as numbers; rows
            // SQLite tests itself (<>, a pattern the table's test does not decide) or orders are
            // copies.
            const bool scanned = !sql.contains(QLatin1String("order by")) && !sql.contains(QLatin1String("<>"))
                                 && !sql.contains(QLatin1String("_%"));
            QCOMPARE(c.engine()->execute(sql, {})->hasRowSource(), scanned && !ids.empty());
            QStringList streamed;
            c.engine()->stream(
                sql, {}, [](const QStringList &, const SqlEngine::ValueTypes &) {},
                [&](const std::string_view *cells, const unsigned char *) { streamed << twoCells(cells); });
            if (streamed != lines)
                QFAIL(qPrintable(sql + QStringLiteral(": streamed rows differ")));
            // The same statement first on a connection that has decoded nothing (one pass).
            Connection fresh;
            connectTo(fresh, path);
            const std::unique_ptr<ResultSet> first = fresh.engine()->execute(sql, {});
            QStringList firstLines;
            for (int r = 0; r < first->rowCount(); ++r)
                firstLines << first->value(r, 0) + QLatin1Char('|') + first->value(r, 1);
            if (firstLines != lines)
                QFAIL(qPrintable(sql + QStringLiteral(": rows of a first statement differ")));
        }
        // A window reads b_name ahead: a search naming b_id and b_note too reads them for its
        // rows only when they are asked for, each as the statement would have given it; the
        // result outlives the connection's next statements and the read-ahead. Once the
        // read-ahead is done (its search in memory) and while it is held (one pass over the file);
        // and when an earlier statement has decoded b_id whole (a number a result cannot point
        // at: the statement runs again, every value read).
        for (const int state : {0, 1, 2}) {
            const bool held = state == 1;
            Connection w;
            connectTo(w, path);
            w.engine()->holdWarmUp(held);
            w.warmUp({QStringLiteral("select b_name from Big")});
            if (!held)
                w.waitForWarmUp();
            if (state == 2)
                w.engine()->execute(QStringLiteral("select b_id from Big"), {});
            for (const QString &sql :
                 {QStringLiteral("select b_id, b_name, b_note from Big where b_name like '%名12%'"),
                  QStringLiteral("select b_note, b_id from Big where b_name = '名1200'")}) {
                const std::unique_ptr<ResultSet> found = w.engine()->execute(sql, {});
                QCOMPARE(found->hasRowSource(), state != 2);
                w.engine()->execute(QStringLiteral("select b_name from Big where b_name like '%名3%'"), {});
                const std::vector<int> ids = named([](const QString &n) { return n.contains(QStringLiteral("名12")); });
                const bool first = sql.contains(QLatin1String("like"));
                QCOMPARE(found->rowCount(), first ? int(ids.size()) : 1);
                for (int r = 0; r < found->rowCount(); ++r) {
                    const int i = first ? ids[size_t(r)] : 1200;
                    const QString note = i % 2 == 0 ? memo + QString::number(i) : QString();
                    const int id = found->fieldIndex(QStringLiteral("b_id"));
                    const int noteField = found->fieldIndex(QStringLiteral("b_note"));
                    if (found->value(r, id) != QString::number(i) || found->value(r, noteField) != note
                        || (first && found->value(r, 1) != nameOf(i)))
                        QFAIL(
                            qPrintable(QStringLiteral("%1: row %2 is not row %3 of the table").arg(sql).arg(r).arg(i)));
                }
            }
            w.engine()->holdWarmUp(false);
        }
        // The inner side of a join scans the table once per outer row: on a connection that has
        // decoded nothing, and streamed, each scan after the first keeps what it decodes.
        {
            Connection j;
            connectTo(j, path);
            const QString join =
                QStringLiteral("select count(*), count(b.b_note) from (select 1 as k union select 2 "
                               "union select 3) a join Big b on b.b_name like '%名12%' and b.b_id > a.k");
            const std::vector<int> ids = named([](const QString &n) { return n.contains(QStringLiteral("名12")); });
            int pairs = 0, notes = 0;
            for (int k = 1; k <= 3; ++k)
                for (int i : ids)
                    if (i > k) {
                        ++pairs;
                        notes += i % 2 == 0;
                    }
            const QString expected = QStringLiteral("%1|%2").arg(pairs).arg(notes);
            const std::unique_ptr<ResultSet> counted = j.engine()->execute(join, {});
            QCOMPARE(counted->value(0, 0) + QLatin1Char('|') + counted->value(0, 1), expected);
            QString streamed;
            Connection k;
            connectTo(k, path);
            k.engine()->stream(
                join, {}, [](const QStringList &, const SqlEngine::ValueTypes &) {},
                [&](const std::string_view *cells, const unsigned char *) { streamed = twoCells(cells); });
            QCOMPARE(streamed, expected);
        }
        runOn(q, QStringLiteral("select count(*) from Big where b_name is null"));
        QCOMPARE(q.value(0, 0), QString::number((rows - 5 + 96) / 97));
        // The column of few values decoded whole, each stored value decoded once: every row's
        // value, null apart from empty, and a search of it in memory.
        runOn(q, QStringLiteral("select b_kind, b_kind is null from Big"));
        for (int i = 0; i < rows; ++i) {
            const QVariant kind = kindOf(i);
            if (q.value(i, 0) != kind.toString() || q.value(i, 1) != QString::number(kind.isNull()))
                QFAIL(qPrintable(QStringLiteral("row %1 holds kind \"%2\"").arg(i).arg(q.value(i, 0))));
        }
        runOn(q, QStringLiteral("select b_id from Big where b_kind like '%3%'"));
        QCOMPARE(q.RecordCount(), int(idsWhere([](int i) { return i % 5 > 1 && i % 7 == 3; }).size()));

        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        f.close();
        // Big's data pages name its definition page, the one the first data page names.
        auto isData = [&](int p) { return bytes.at(p * 4096) == 1 && bytes.mid(p * 4096 + 4, 4) != "LVAL"; };
        QByteArray bigDef;
        int bigLast = -1;
        for (int p = 3; p < bytes.size() / 4096; ++p) {
            if (!isData(p))
                continue;
            if (bigDef.isEmpty())
                bigDef = bytes.mid(p * 4096 + 4, 4);
            if (bytes.mid(p * 4096 + 4, 4) == bigDef)
                bigLast = p;
        }
        QVERIFY(bigLast > 0);
        bytes[bigLast * 4096 + 12] = char(0xFF); // more rows than the page can hold
        bytes[bigLast * 4096 + 13] = char(0xFF);
        const QString damaged = writeFile(QStringLiteral("big-damaged.mdb"), bytes);
        Connection d;
        connectTo(d, damaged);
        Query dq;
        dq.setConnection(&d);
        for (int attempt = 0; attempt < 2; ++attempt) {
            QVERIFY_THROWS_EXCEPTION(EDatabaseError, runOn(dq, QStringLiteral("select count(*) from Big")));
            QVERIFY(!dq.Active());
            QVERIFY(!d.engine()->isLoaded(QStringLiteral("Big")));
        }
        runOn(dq, QStringLiteral("select s_x from Small"));
        QCOMPARE(dq.value(0, 0), QStringLiteral("x"));
    }

    // Opening reads no table: a statement loads its table, once.
    void tablesLoadOnFirstUse()
    {
        Connection c;
        connectTo(c, m_db);
        QVERIFY(!c.engine()->isLoaded(QStringLiteral("People")));
        Query q;
        q.setConnection(&c);
        runOn(q, QStringLiteral("select count(*) from people"));
        QCOMPARE(q.value(0, 0), QStringLiteral("4"));
        QVERIFY(c.engine()->isLoaded(QStringLiteral("People")));
        QVERIFY(!c.engine()->isLoaded(QStringLiteral("Nobody")));
        // A result of the table's own rows stays readable after the connection has closed.
        runOn(q, QStringLiteral("select p_City, p_Name from People"));
        c.setConnected(false);
        QCOMPARE(q.value(3, 0), QStringLiteral("Zürich"));
        QCOMPARE(q.value(2, 1), QStringLiteral("O'Brien"));

        // The file cut short under the open connection, its columns already in memory: the next
        // statement on the table meets it all the same; once the file is whole again, it reads.
        const QString changing = m_dir.filePath(QStringLiteral("changing.mdb"));
        QVERIFY(QFile::copy(m_db, changing));
        connectTo(c, changing);
        q.Close();
        q.Open();
        QFile f(changing);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const QByteArray whole = f.readAll();
        QVERIFY(f.resize(3 * 4096));
        q.Close();
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, q.Open());
        f.seek(0);
        f.write(whole);
        f.close();
        q.Open();
        QCOMPARE(q.value(2, 1), QStringLiteral("O'Brien"));
    }

    // Decoding ahead waits while a window's statement runs and until the window's thread next
    // waits for events (the result painted); a deferral that nobody lifts ends by itself.
    void warmUpWaitsForTheWindow()
    {
        const QString people = QStringLiteral("People");
        const QStringList ahead{QStringLiteral("select p_Name from People")};
        {
            Connection c;
            connectTo(c, m_db);
            c.engine()->deferWarmUp(true);
            c.warmUp(ahead);
            QTest::qSleep(100);
            QVERIFY(!c.engine()->isLoaded(people));
            c.waitForWarmUp(); // no window: blocks, until the deferral has lapsed
            QVERIFY(c.engine()->isLoaded(people));
        }
        Connection w;
        connectTo(w, m_db);
        w.setWait([](Connection &, const std::function<bool()> &done) {
            while (!done())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        });
        w.engine()->holdWarmUp(true);
        w.warmUp(ahead);
        Query q;
        q.setConnection(&w);
        runOn(q, QStringLiteral("select n_x from Nobody"));
        w.engine()->holdWarmUp(false);
        QTest::qSleep(100);
        QVERIFY(!w.engine()->isLoaded(people));
        QElapsedTimer idle;
        idle.start();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        w.waitForWarmUp();
        QVERIFY(w.engine()->isLoaded(people));
        QVERIFY2(idle.elapsed() < 500, "the pass waited for the deferral to lapse, not for the idle thread");
    }
};

QTEST_GUILESS_MAIN(TestQuery)
#include "test_query.moc"
