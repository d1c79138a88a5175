#pragma once

#include <QList>
#include <QPair>
#include <QString>

// Connection strings as OLE DB writes and reads them: "key=value" items separated by ";". Keys
// are trimmed and compared without regard to case; a value is trimmed unless it is quoted. A value
// holding ";", a quote, or blanks at either end is written in double or single quotes, the quote
// doubled inside, so a path or password of any characters comes back as it was given.

// One value as an item needs it: as it is when nothing in it needs quotes, quoted otherwise.
QString quotedConnectionValue(const QString &value);

// "key=value" with the value quoted as it needs.
QString connectionItemText(const QString &key, const QString &value);

// The items of a connection string in order. False, with `error` saying where, when a quoted value
// is not closed or text other than blanks follows its closing quote.
bool parseConnectionString(const QString &text, QList<QPair<QString, QString>> *items, QString *error = nullptr);

// The value of `key` (without regard to case; the last item of that key wins); empty when absent.
QString connectionValue(const QList<QPair<QString, QString>> &items, const QString &key);

// A connection string for a Jet file with the given password.
QString jetConnectionString(const QString &databasePath, const QString &password);

// The connection string of the directory database: the provider, the fixed database password,
// read sharing, and the file as the last item.
QString directoryConnectionString(const QString &databasePath);
