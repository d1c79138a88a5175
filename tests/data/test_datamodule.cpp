// The data module: its components and settings, and connecting from the executable's directory.
#include "TestDb.h"

#include "app/Datemodule.h"
#include "base/Exception.h"
#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/DataSource.h"
#include "data/Query.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestDataModule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void componentsAndSettings()
    {
        const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/lss.dll");
        QFile::remove(beside);
        TDM dm; // no database beside the executable: creation goes on, connection closed
        QVERIFY(!dm.ADOConnection1->connected());
        QStringList names;
        for (QObject *o : dm.children())
            names << o->objectName();
        QCOMPARE(names, (QStringList{"ADOConnection1", "AQ_lawyer", "DS_lawyer", "AQ_lawRoom", "DS_lawRoom",
                                     "AQ_HKlawyer", "DS_HKlawyer", "AQ_HKlawRoom", "DS_HKlawRoom", "AQ_MClawyer",
                                     "DS_MClawyer", "AQ_TWlawyer", "DS_TWlawyer"}));
        QVERIFY(!dm.ADOConnection1->LoginPrompt);
        QCOMPARE(dm.ADOConnection1->Provider, QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
        for (Query *q :
             {dm.AQ_lawyer, dm.AQ_lawRoom, dm.AQ_HKlawyer, dm.AQ_HKlawRoom, dm.AQ_MClawyer, dm.AQ_TWlawyer}) {
            QCOMPARE(q->connection(), dm.ADOConnection1);
            QVERIFY(!q->Active());
        }
        QCOMPARE(dm.AQ_MClawyer->SQL().lines(), QStringList{QStringLiteral("select * from Macao")});
        QVERIFY(dm.AQ_lawyer->SQL().lines().isEmpty());
        QCOMPARE(dm.DS_TWlawyer->DataSet(), dm.AQ_TWlawyer);
        QCOMPARE(dm.DS_lawRoom->DataSet(), dm.AQ_lawRoom);
        QVERIFY(dm.DS_lawyer->Enabled());
        QCOMPARE(TDM::connectionStringFor(QStringLiteral("D:\\Dir\\")),
                 QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Persist Security Info=False;"
                                "Jet OLEDB:Database Password=41729063; Mode=Share Deny None;"
                                "Data Source=D:\\Dir\\\\/lss.dll"));
        QVERIFY(dm.ADOConnection1->connectionString().endsWith(QStringLiteral("\\/lss.dll")));

        // A query on the closed connection fails until the file appears, then opens it.
        dm.AQ_lawyer->SQL().Add(QStringLiteral("select * from People"));
        QVERIFY_THROWS_EXCEPTION(Exception, dm.AQ_lawyer->Open());
        testdb::writePeople(beside);
        dm.AQ_lawyer->Open();
        QCOMPARE(dm.AQ_lawyer->RecordCount(), 4);
        QFile::remove(beside);
    }

    // The items a connection string gives, quoted or not; "!" is a string refused as malformed.
    void connectionStringItems_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("password");
        auto row = [](const char *name, const char *text, const char *source, const char *password) {
            QTest::newRow(name) << QString::fromUtf8(text) << QString::fromUtf8(source) << QString::fromUtf8(password);
        };

        row("plain, trimmed", " Data Source = /d/x.mdb ;Jet OLEDB:Database Password= pw ", "/d/x.mdb", "pw");
        row("keys without case", "data source=a;JET OLEDB:DATABASE PASSWORD=b", "a", "b");
        row("last item wins", "Data Source=a;Data Source=b", "b", "");
        row("semicolon in double quotes", "Data Source=\"x;y.mdb\";Jet OLEDB:Database Password=p", "x;y.mdb", "p");
        row("single quotes", "Data Source='x;y.mdb'", "x;y.mdb", "");
        row("blanks kept in quotes", "Data Source=  \" lead.mdb \"  ;", " lead.mdb ", "");
        row("doubled quote", "Jet OLEDB:Database Password=\"a\"\"b'c\"", "", "a\"b'c");
        row("other quote inside", "Jet OLEDB:Database Password='a\"b'", "", "a\"b");
        row("empty quoted", "Jet OLEDB:Database Password=\"\";Data Source=f", "f", "");
        row("quote inside unquoted", "Data Source=a'b\"c", "a'b\"c", "");
        row("file name cannot add items",
            "Data Source=\"f.mdb;Jet OLEDB:Database Password=\";Jet OLEDB:Database Password=x",
            "f.mdb;Jet OLEDB:Database Password=", "x");
        row("unclosed quote", "Data Source=\"abc", "!", "");
        row("text after closing quote", "Data Source=\"a\"b;", "!", "");
    }
    void connectionStringItems()
    {
        QFETCH(QString, text);
        QFETCH(QString, source);
        QFETCH(QString, password);
        QList<QPair<QString, QString>> items;
        QString error;
        const bool ok = parseConnectionString(text, &items, &error);
        QCOMPARE(ok, source != QLatin1String("!"));
        if (!ok) {
            QVERIFY(!error.isEmpty());
            // A connection refuses it with a message of its own, and stays closed.
            Connection c;
            c.setConnectionString(text);
            QVERIFY_THROWS_EXCEPTION(Exception, c.setConnected(true));
            QVERIFY(!c.connected());
            return;
        }
        QCOMPARE(connectionValue(items, QStringLiteral("Data Source")), source);
        QCOMPARE(connectionValue(items, QStringLiteral("Jet OLEDB:Database Password")), password);
    }

    // Whatever the path and password hold, the built string gives them back, and nothing else.
    void builtStringsKeepEveryValue()
    {
        const QStringList values = {QString(),
                                    QStringLiteral("plain"),
                                    QStringLiteral("x;y.mdb"),
                                    QStringLiteral(" lead"),
                                    QStringLiteral("trail\t"),
                                    QStringLiteral("a'b\"c;d"),
                                    QStringLiteral("\"\""),
                                    QStringLiteral("''"),
                                    QStringLiteral("f.mdb;Jet OLEDB:Database Password="),
                                    QStringLiteral("目录 a;b 'c\"\\/lss.dll"),
                                    QStringLiteral("=;=")};
        for (const QString &path : values) {
            for (const QString &pw : values) {
                QList<QPair<QString, QString>> items;
                QVERIFY(parseConnectionString(jetConnectionString(path, pw), &items));
                QCOMPARE(items.size(), 3);
                QCOMPARE(connectionValue(items, QStringLiteral("Data Source")), path);
                QCOMPARE(connectionValue(items, QStringLiteral("Jet OLEDB:Database Password")), pw);
            }
            QList<QPair<QString, QString>> items;
            QVERIFY(parseConnectionString(directoryConnectionString(path), &items));
            QCOMPARE(connectionValue(items, QStringLiteral("Data Source")), path);
            QCOMPARE(connectionValue(items, QStringLiteral("Jet OLEDB:Database Password")), QStringLiteral("41729063"));
        }
    }

    // An installation directory whose name holds ";", blanks and both quotes: the data module's
    // string finds the file there, and statements run on it.
    void connectsFromAnyDirectoryName()
    {
        QTemporaryDir tmp;
        const QString dir = tmp.filePath(QStringLiteral("a;b 'c\""));
        QVERIFY(QDir().mkpath(dir));
        testdb::writePeople(dir + QStringLiteral("/lss.dll"));
        TDM dm;
        dm.ADOConnection1->setConnected(false);
        dm.ADOConnection1->setConnectionString(
            TDM::connectionStringFor(QDir::toNativeSeparators(dir) + QDir::separator()));
        dm.ADOConnection1->setConnected(true);
        dm.AQ_lawyer->SQL().Add(QStringLiteral("select p_Name from People"));
        dm.AQ_lawyer->Open();
        QCOMPARE(dm.AQ_lawyer->RecordCount(), 4);
    }

    void connectsAtCreation()
    {
        const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/lss.dll");
        testdb::writePeople(beside);
        {
            TDM dm;
            QVERIFY(dm.ADOConnection1->connected());
        }
        QFile::remove(beside);
    }
};

QTEST_GUILESS_MAIN(TestDataModule)
#include "test_datamodule.moc"
