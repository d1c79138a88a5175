#pragma once

#include <QString>

// The connection string of the directory database: the provider, the fixed database password,
// read sharing, and the file as the last item, unquoted.
inline QString directoryConnectionString(const QString &databasePath)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Persist Security Info=False;"
                          "Jet OLEDB:Database Password=41729063; Mode=Share Deny None;Data Source=")
        + databasePath;
}
