#pragma once

#include <QObject>

class Connection;
class Query;
class DataSource;

// The data module: the one database connection and the six query/data-source pairs of the
// query windows. Opens the connection when it is created.
class TDM : public QObject
{
    Q_OBJECT
public:
    explicit TDM(QObject *parent = nullptr);
    ~TDM() override;

    Connection *ADOConnection1;
    Query *AQ_lawyer;
    DataSource *DS_lawyer;
    Query *AQ_lawRoom;
    DataSource *DS_lawRoom;
    Query *AQ_HKlawyer;
    DataSource *DS_HKlawyer;
    Query *AQ_HKlawRoom;
    DataSource *DS_HKlawRoom;
    Query *AQ_MClawyer;
    DataSource *DS_MClawyer;
    Query *AQ_TWlawyer;
    DataSource *DS_TWlawyer;

    // The create handler: builds the connection string from the executable's directory and
    // connects. Runs from the constructor; an exception from it goes to the application's handler.
    void DataModuleCreate();

    // "Provider=...;Data Source=" + directory + "\\/lss.dll" for the given directory
    // (which ends in a separator).
    static QString connectionStringFor(const QString &exeDirWithSeparator);
};

extern TDM *DM;
