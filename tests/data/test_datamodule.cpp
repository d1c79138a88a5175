// The data module: its components and settings, and connecting from the executable's directory.
#include "TestDb.h"

#include "app/Datemodule.h"
#include "data/Connection.h"
#include "data/DataSource.h"
#include "data/Query.h"
#include "platform/Exception.h"

#include <QCoreApplication>
#include <QFile>
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
        for (Query *q : {dm.AQ_lawyer, dm.AQ_lawRoom, dm.AQ_HKlawyer, dm.AQ_HKlawRoom, dm.AQ_MClawyer, dm.AQ_TWlawyer}) {
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
