#pragma once

#include "data/Query.h"

#include <QStringList>

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
