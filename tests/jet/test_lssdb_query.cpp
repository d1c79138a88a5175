// lssdb query, tables, schema and the Chinese messages of every command, run as a program.
#include "jet/LssdbSupport.h"

#include <QProcess>

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <limits>

using namespace lssdbtest;

class TestLssdbQuery : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;      // the good CSV files, built
    QString m_types;   // every column type, no password
    QString m_numbers; // table n: numbers without a JSON or plain form, texts of digits, a lone CR

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        writeGoodCsv(m_dir.path());
        m_db = m_dir.filePath(QStringLiteral("dir.mdb"));
        QCOMPARE(runTool(kLssdb, {QStringLiteral("build"), m_db, m_dir.path()}).exitCode, 0);
        m_types = m_dir.filePath(QStringLiteral("types.mdb"));
        writeSampleFile(m_types, 4);
        m_numbers = m_dir.filePath(QStringLiteral("numbers.mdb"));
        jet::Writer w(m_numbers, QString());
        w.beginTable({QStringLiteral("n"),
                      {{QStringLiteral("d"), jet::kDouble, 0},
                       {QStringLiteral("i"), jet::kLong, 0},
                       {QStringLiteral("s"), jet::kText, 20}}});
        const double inf = std::numeric_limits<double>::infinity();
        const QVariant values[][3] = {{std::numeric_limits<double>::quiet_NaN(), 42, QStringLiteral("0123")},
                                      {-0.0, -7, QStringLiteral("42")},
                                      {inf, 0, QStringLiteral("a\rb")},
                                      {-inf, QVariant(), QStringLiteral("-1.5e3")},
                                      {1e308, 1, QVariant()},
                                      {1e-8, 2, QStringLiteral("x")}};
        for (const auto &row : values)
            w.addRow({row[0], row[1], row[2]});
        w.endTable();
        w.finish();
    }

    // The statement as given, names escaped as values are, and the three formats.
    void formats_data()
    {
        QTest::addColumn<QString>("file");   // dir, types or numbers
        QTest::addColumn<QString>("format"); // empty: the default
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QByteArray>("out");
        auto row = [](const char *name, const char *file, const char *format, const char *sql, const QByteArray &out) {
            QTest::newRow(name) << QString::fromUtf8(file) << QString::fromUtf8(format) << QString::fromUtf8(sql)
                                << out;
        };

        row("line break inside a literal", "dir", "", "SELECT length('a\nb') AS n, 'a\r\nb' AS t",
            QByteArray("n\tt\n3\ta\\r\\nb\n1 records\n"));
        row("names escaped", "dir", "tsv", "SELECT 1 AS [a\tb], 2 AS [c\\d], 3 AS [e\nf]",
            QByteArray("a\\tb\tc\\\\d\te\\nf\n1\t2\t3\n1 records\n"));
        row("csv", "dir", "csv",
            "SELECT l_id, l_realName, l_city, l_address AS [a,b], 1.5 AS r FROM lawyer ORDER BY l_id",
            QByteArray("l_id,l_realName,l_city,\"a,b\",r\r\n"
                       "1,张三,北京,北京市朝阳区建国路88号,1.5\r\n"
                       "2,\"O'Brien \"\"Bob\"\"\",\"\",,1.5\r\n"
                       "3,\"李四\n第二行\",广州,\"地址, 带逗号\",1.5\r\n"));
        row("csv, no rows", "dir", "csv", "SELECT l_id FROM lawyer WHERE l_id > 9", QByteArray("l_id\r\n"));
        row("json", "dir", "json",
            "SELECT l_id AS id, l_city AS [c\"ity], l_address, -2.5 AS r, x'41' AS b "
            "FROM lawyer WHERE l_id < 3 ORDER BY l_id",
            QByteArray("[\n{\"id\": 1, \"c\\\"ity\": \"北京\", \"l_address\": \"北京市朝阳区建国路88号\", "
                       "\"r\": -2.5, \"b\": \"A\"},\n"
                       "{\"id\": 2, \"c\\\"ity\": \"\", \"l_address\": null, \"r\": -2.5, \"b\": \"A\"}\n]\n"));
        row("json, no rows", "dir", "json", "SELECT l_id FROM lawyer WHERE l_id > 9", QByteArray("[\n]\n"));
        row("json, control characters", "dir", "json", "SELECT char(1, 10, 92) AS t",
            QByteArray("[\n{\"t\": \"\\u0001\\n\\\\\"}\n]\n"));
        // Yes/No as true and false, exact numbers as numbers; a Yes/No value made text is text.
        row("json, every type", "types", "json",
            "SELECT c_bool, c_byte, c_money, c_double, c_date, c_bool || '' AS s "
            "FROM t WHERE c_byte < 2 ORDER BY c_byte",
            QByteArray("[\n{\"c_bool\": true, \"c_byte\": 0, \"c_money\": 0, \"c_double\": 0.1, "
                       "\"c_date\": \"1990-01-01\", \"s\": \"True\"},\n"
                       "{\"c_bool\": false, \"c_byte\": 1, \"c_money\": 1.5, \"c_double\": -12345.678, "
                       "\"c_date\": \"1990-01-14 01:01:00\", \"s\": \"False\"}\n]\n"));
        row("csv, every type", "types", "csv", "SELECT c_bool, c_text, c_bin FROM t WHERE c_byte = 2",
            QByteArray("c_bool,c_text,c_bin\r\nFalse,Zürich café2,0E1B\r\n"));
        // Straight from the file (a plain column list) and through the engine (a criterion)
        // alike: NaN a value, integers numbers, texts of digits strings, one notation of numbers.
        const QByteArray numbersJson("[\n{\"d\": \"NaN\", \"i\": 42, \"s\": \"0123\"},\n"
                                     "{\"d\": -0, \"i\": -7, \"s\": \"42\"},\n"
                                     "{\"d\": \"Infinity\", \"i\": 0, \"s\": \"a\\rb\"},\n"
                                     "{\"d\": \"-Infinity\", \"i\": null, \"s\": \"-1.5e3\"},\n"
                                     "{\"d\": 1e308, \"i\": 1, \"s\": null},\n"
                                     "{\"d\": 1e-8, \"i\": 2, \"s\": \"x\"}\n]\n");
        row("json, streamed from the file", "numbers", "json", "SELECT d, i, s FROM n", numbersJson);
        row("json, through the engine", "numbers", "json", "SELECT d, i, s FROM n WHERE i IS NOT 99", numbersJson);
        const QByteArray numbersCsv("d,i,s\r\nNaN,42,0123\r\n-0,-7,42\r\nInfinity,0,\"a\rb\"\r\n"
                                    "-Infinity,,-1.5e3\r\n1e308,1,\r\n1e-8,2,x\r\n");
        row("csv, streamed from the file", "numbers", "csv", "SELECT * FROM n", numbersCsv);
        row("csv, through the engine", "numbers", "=csv", "SELECT * FROM n WHERE i IS NOT 99", numbersCsv);
        row("tsv, streamed from the file", "numbers", "", "SELECT d FROM n",
            QByteArray("d\nNaN\n-0\nInfinity\n-Infinity\n1e308\n1e-8\n6 records\n"));
        // A count and a column list that SQLite knows to skip every row of: no row counted or read.
        row("count, no row passes", "numbers", "", "SELECT count(*) FROM n WHERE 0",
            QByteArray("count(*)\n0\n1 records\n"));
        row("columns, no row passes", "numbers", "", "SELECT d FROM (SELECT d FROM n) WHERE 0",
            QByteArray("d\n0 records\n"));
        // Every value of a row stays in its object under a key of its own.
        row("json, one name twice", "dir", "=json",
            "SELECT l_id AS a, l_city AS a, 3 AS a_2, 4 AS A FROM lawyer WHERE l_id = 1",
            QByteArray("[\n{\"a\": 1, \"a_3\": \"北京\", \"a_2\": 3, \"A\": 4}\n]\n"));
        row("stdin, a statement of lines", "dir", "", "SELECT l_id\nFROM lawyer -- 律师\nWHERE l_city = '广州'\n",
            QByteArray("l_id\n3\n1 records\n"));
    }
    void formats()
    {
        QFETCH(QString, file);
        QFETCH(QString, format);
        QFETCH(QString, sql);
        QFETCH(QByteArray, out);
        const QString db = file == QLatin1String("types")     ? m_types
                           : file == QLatin1String("numbers") ? m_numbers
                                                              : m_db;
        // A statement from standard input where the row's name says so; "=csv" is --format=csv.
        const bool fromStdin = QByteArray(QTest::currentDataTag()).startsWith("stdin");
        QStringList args = {QStringLiteral("query"), db, fromStdin ? QStringLiteral("-") : sql};
        if (format.startsWith(u'='))
            args << QStringLiteral("--format") + format;
        else if (!format.isEmpty())
            args << QStringLiteral("--format") << format;
        QProcess p;
        p.start(kLssdb, args);
        p.write(fromStdin ? sql.toUtf8() : QByteArray());
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished(-1));
        const ToolResult r{p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(r.out, out);
    }

    // export writes each table as query --format csv gives it: one notation of numbers (-0, NaN,
    // Infinity, 1e308), a lone CR quoted, every type in its text form.
    void exportAgreesWithQuery()
    {
        for (const auto &[db, table] :
             {std::pair{m_numbers, QStringLiteral("n")}, std::pair{m_types, QStringLiteral("t")}}) {
            const QString out = m_dir.filePath(QStringLiteral("export-") + table);
            QCOMPARE(lssdbOk({
                         QStringLiteral("export"),
                         db,
                         out,
                         QStringLiteral("--password="),
                     }),
                     QByteArray());
            QCOMPARE(readFile(QDir(out).filePath(table + QStringLiteral(".csv"))),
                     lssdbOk({
                         QStringLiteral("query"),
                         db,
                         QStringLiteral("SELECT * FROM ") + table,
                         QStringLiteral("--format=csv"),
                         QStringLiteral("--password="),
                     }));
        }
    }

    // File names and passwords of any characters reach the file as they are: names relative to
    // the working directory, so a leading blank is the name's own.
    void namesAndPasswords()
    {
        auto run = [this](const QStringList &args) {
            QProcess p;
            p.setWorkingDirectory(m_dir.path());
            p.start(kLssdb, args);
            p.waitForFinished(-1);
            return ToolResult{p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
        };
        const QString password = QStringLiteral("a'b\"c;d ");
        for (const QString &name : {QStringLiteral("x;y.mdb"), QStringLiteral(" lead.mdb"),
                                    QStringLiteral("f.mdb;Jet OLEDB:Database Password=")}) {
            QCOMPARE(run({QStringLiteral("build"), name, QStringLiteral("."), QStringLiteral("--password"), password})
                         .exitCode,
                     0);
            QVERIFY(QFileInfo(m_dir.filePath(name)).isFile());
            const ToolResult r = run({QStringLiteral("query"), name, QStringLiteral("SELECT count(*) AS n FROM lawyer"),
                                      QStringLiteral("--password"), password});
            QVERIFY2(r.exitCode == 0, r.err.constData());
            QCOMPARE(r.out, QByteArray("n\n3\n1 records\n"));
            const ToolResult wrong = run({QStringLiteral("query"), name, QStringLiteral("SELECT 1 FROM lawyer"),
                                          QStringLiteral("--password"), password.trimmed()});
            QCOMPARE(wrong.exitCode, 1);
            QCOMPARE(QString::fromUtf8(wrong.err), QStringLiteral("密码无效。\n"));
        }
        // Without the blank it is another file.
        QCOMPARE(QString::fromUtf8(
                     run({QStringLiteral("query"), QStringLiteral("lead.mdb"), QStringLiteral("SELECT 1")}).err),
                 QStringLiteral("找不到文件 'lead.mdb'。\n"));
    }

    void tablesAndSchema()
    {
        QCOMPARE(lssdbOk({QStringLiteral("tables"), m_db}),
                 QByteArray("lawyer\nlawRoom\nHongkong\nHongkongLawyerInfo\nMacao\nTaiwan\n"));
        QCOMPARE(
            lssdbOk({QStringLiteral("schema"), m_db, QStringLiteral("macao"), QStringLiteral("lawyer")}),
            QByteArray("Macao\n  mc_name\tText (255)\n  mc_date\tDate/Time\n  mc_reg_date\tDate/Time\n"
                       "  mc_class\tText (255)\n  mc_domain\tText (255)\n"
                       "lawyer\n  l_id\tLong Integer\n  l_realName\tText (255)\n  l_sex\tText (255)\n"
                       "  l_province\tText (255)\n  l_city\tText (255)\n  l_address\tMemo\n  l_domain\tText (255)\n"));
        QCOMPARE(lssdbOk({QStringLiteral("schema"), m_types}),
                 QByteArray("t\n  c_bool\tYes/No\n  c_byte\tByte\n  c_int\tInteger\n  c_long\tLong Integer\n"
                            "  c_money\tCurrency\n  c_single\tSingle\n  c_double\tDouble\n  c_date\tDate/Time\n"
                            "  c_text\tText (100)\n  c_memo\tMemo\n  c_bin\tBinary (255)\n  c_ole\tOLE Object\n"
                            "  c_guid\tReplication ID\n  c_dec\tDecimal (28, 6)\n  c_frac\tDecimal (4, 4)\n"));
    }

    // Every failure of every command: one line of Chinese on stderr, exit code 1, nothing on stdout.
    void errorsInChinese_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("mention");
        const QString db = QStringLiteral("@db");
        const QString missing = QStringLiteral("@dir/none.mdb");
        QTest::newRow("no command") << QStringList() << "缺少命令";
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << "未知命令";
        QTest::newRow("build, no arguments") << QStringList{"build"} << "用法";
        QTest::newRow("build, unknown option")
            << QStringList{"build", "@dir/o.mdb", "@dir", "--fast"} << "未知选项 --fast";
        QTest::newRow("build, password without value")
            << QStringList{"build", "@dir/o.mdb", "@dir", "--password"} << "--password";
        QTest::newRow("build, password too long")
            << QStringList{"build", "@dir/o.mdb", "@dir", "--password", QString(21, u'p')} << "密码过长";
        QTest::newRow("build, missing CSV") << QStringList{"build", "@dir/o.mdb", "@dir/nothing"} << "缺少表 lawyer";
        QTest::newRow("build, unwritable place")
            << QStringList{"build", "@dir/no/such/dir/o.mdb", "@dir"} << "没有那个文件或目录";
        QTest::newRow("generate, bad number")
            << QStringList{"generate", "@dir/g.mdb", "--lawyers", "many"} << "需要一个数";
        QTest::newRow("generate, extra argument") << QStringList{"generate", "@dir/g.mdb", "more"} << "多余的参数";
        QTest::newRow("query, one argument") << QStringList{"query", db} << "需要数据库文件和一条语句";
        QTest::newRow("query, bad format") << QStringList{"query", db, "SELECT 1", "--format", "xml"} << "xml";
        QTest::newRow("query, bad format after =") << QStringList{"query", db, "SELECT 1", "--format=xml"} << "xml";
        QTest::newRow("query, flag with a value") << QStringList{"query", db, "SELECT 1", "--timing=yes"} << "不带值";
        QTest::newRow("generate, bad number after =")
            << QStringList{"generate", "@dir/g.mdb", "--lawyers=many"} << "需要一个数";
        QTest::newRow("query, bad param") << QStringList{"query", db, "SELECT :a", "--param", "a"} << "NAME=VALUE";
        QTest::newRow("query, missing file") << QStringList{"query", missing, "SELECT 1"} << "找不到文件";
        QTest::newRow("export, missing file") << QStringList{"export", missing, "@dir/e"} << "找不到文件";
        QTest::newRow("export, one argument") << QStringList{"export", db} << "用法";
        QTest::newRow("export, wrong password") << QStringList{"export", db, "@dir/e", "--password", "x"} << "密码无效";
        QTest::newRow("export into a file") << QStringList{"export", db, "@db"} << "无法创建目录";
        QTest::newRow("tables, no file") << QStringList{"tables"} << "用法";
        QTest::newRow("schema, unknown table") << QStringList{"schema", db, "nobody"} << "找不到表 'nobody'";
    }
    void errorsInChinese()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, mention);
        for (QString &a : args) {
            a.replace(QStringLiteral("@db"), m_db);
            a.replace(QStringLiteral("@dir"), m_dir.path());
        }
        const ToolResult r = runTool(kLssdb, args);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QByteArray());
        const QString err = QString::fromUtf8(r.err);
        QVERIFY2(err.contains(mention), qPrintable(err));
        QVERIFY2(err.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]"))), qPrintable(err));
        QCOMPARE(err.count(u'\n'), 1);
    }

    // Output that cannot all be written (a full disk) is a failure, not a result.
    void outputThatCannotBeWritten()
    {
        for (const QString &sql :
             {QStringLiteral("select * from lawyer"), QStringLiteral("select count(*) from lawyer")}) {
            QProcess p;
            p.setStandardOutputFile(QStringLiteral("/dev/full"));
            p.start(kLssdb, {QStringLiteral("query"), m_db, sql});
            QVERIFY(p.waitForFinished(-1));
            QCOMPARE(p.exitCode(), 1);
            const QString err = QString::fromUtf8(p.readAllStandardError());
            QVERIFY2(err.contains(QStringLiteral("无法写出查询结果")), qPrintable(err));
        }
    }
};

QTEST_GUILESS_MAIN(TestLssdbQuery)
#include "test_lssdb_query.moc"
