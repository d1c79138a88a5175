#pragma once

#include <QString>

struct sqlite3;

// The Chinese messages of the statement engine for what SQLite refuses. Chosen by result code
// first; for an error in the statement itself (SQLITE_ERROR) the kind of mistake is worded in
// Chinese, and SQLite's own text follows only as a detail where no wording fits.
namespace sqlerrors {

QString readOnly();
QString outOfMemory();
QString changedWhileRead();

// The message for a call on `db` that returned `rc`.
QString message(sqlite3 *db, int rc);
// Throws EDatabaseError with message(db, rc).
[[noreturn]] void fail(sqlite3 *db, int rc);

} // namespace sqlerrors
