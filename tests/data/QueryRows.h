#pragma once

#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/Query.h"

#include <QStringList>

// A connection opened on the database file at path.
inline void connectTo(Connection &c, const QString &path)
{
    c.setConnectionString(directoryConnectionString(path));
    c.setConnected(true);
}

// Replaces the query's statement and runs it.
inline void runOn(Query &q, const QString &sql)
{
    q.Close();
    q.SQL().Clear();
    q.SQL().Add(sql);
    q.Open();
}

// The rows of an open query, each its fields joined by "|": what a test compares a result by.
inline QStringList queryRows(Query &q)
{
    QStringList out;
    for (int r = 0; r < q.RecordCount(); ++r) {
        QStringList fields;
        for (int f = 0; f < q.fieldNames().size(); ++f)
            fields << q.value(r, f);
        out << fields.join(QLatin1Char('|'));
    }
    return out;
}
