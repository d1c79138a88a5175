#include "app/Datemodule.h"

#include "app/Application.h"
#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/DataSource.h"
#include "data/Query.h"

#include <QCoreApplication>
#include <QDir>

TDM *DM = nullptr;

namespace {

Query *makeQuery(TDM *owner, const char *name, Connection *connection)
{
    auto *q = new Query(owner);
    q->setObjectName(QString::fromLatin1(name));
    q->setConnection(connection);
    return q;
}

DataSource *makeSource(TDM *owner, const char *name, Query *query)
{
    auto *ds = new DataSource(owner);
    ds->setObjectName(QString::fromLatin1(name));
    ds->setDataSet(query);
    return ds;
}

} // namespace

TDM::TDM(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("DM"));
    // The components in declaration order, with their designer settings.
    ADOConnection1 = new Connection(this);
    ADOConnection1->setObjectName(QStringLiteral("ADOConnection1"));
    ADOConnection1->LoginPrompt = false;
    ADOConnection1->Mode = QStringLiteral("cmRead");
    ADOConnection1->Provider = QStringLiteral("Microsoft.Jet.OLEDB.4.0");
    AQ_lawyer = makeQuery(this, "AQ_lawyer", ADOConnection1);
    DS_lawyer = makeSource(this, "DS_lawyer", AQ_lawyer);
    AQ_lawRoom = makeQuery(this, "AQ_lawRoom", ADOConnection1);
    DS_lawRoom = makeSource(this, "DS_lawRoom", AQ_lawRoom);
    AQ_HKlawyer = makeQuery(this, "AQ_HKlawyer", ADOConnection1);
    DS_HKlawyer = makeSource(this, "DS_HKlawyer", AQ_HKlawyer);
    AQ_HKlawRoom = makeQuery(this, "AQ_HKlawRoom", ADOConnection1);
    DS_HKlawRoom = makeSource(this, "DS_HKlawRoom", AQ_HKlawRoom);
    AQ_MClawyer = makeQuery(this, "AQ_MClawyer", ADOConnection1);
    AQ_MClawyer->SQL().Add(QStringLiteral("select * from Macao"));
    DS_MClawyer = makeSource(this, "DS_MClawyer", AQ_MClawyer);
    AQ_TWlawyer = makeQuery(this, "AQ_TWlawyer", ADOConnection1);
    DS_TWlawyer = makeSource(this, "DS_TWlawyer", AQ_TWlawyer);

    // The module is complete before its create handler runs; a failure there is shown and
    // creation goes on with the connection closed.
    try {
        DataModuleCreate();
    } catch (...) {
        Application::HandleException();
    }
}

TDM::~TDM()
{
    if (DM == this)
        DM = nullptr;
}

QString TDM::connectionStringFor(const QString &exeDirWithSeparator)
{
    return directoryConnectionString(exeDirWithSeparator + QStringLiteral("\\/lss.dll"));
}

void TDM::DataModuleCreate()
{
    const QString dir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + QDir::separator();
    ADOConnection1->setConnectionString(connectionStringFor(dir));
    ADOConnection1->setConnected(true);
}
