#pragma once

#include <QString>

struct sqlite3;

namespace jet {
class Error;
}

// The Chinese messages of the data layer, each worded here once. For what SQLite refuses the
// message is chosen by result code first; for an error in the statement itself (SQLITE_ERROR)
// the kind of mistake is worded in Chinese, and SQLite's own text follows only as a detail
// where no wording fits. The file-format layer's failures are worded from their kind.
namespace sqlerrors {

QString readOnly();
QString changedWhileRead();
QString fileNotFound(const QString &path);
QString damaged(const QString &path);
QString noSuchTable(const QString &table);
// Out of memory: in a statement, reading the file, opening it, reading one table's columns.
QString outOfMemory();
QString outOfMemoryReading();
QString outOfMemoryOpening();
QString outOfMemoryReadingTable(const QString &table);

// The message of a failure of the file-format layer.
QString message(const jet::Error &e);

// The message for a call on `db` that returned `rc`.
QString message(sqlite3 *db, int rc);
// Throws EDatabaseError with message(db, rc).
[[noreturn]] void fail(sqlite3 *db, int rc);

} // namespace sqlerrors
