// The rewrite of statements over exact decimal columns: whatever the statement, it never breaks
// one SQLite accepts. The rewritten statement prepares wherever the original does, with as many
// result fields, and a statement that names no exact column and no long number stays as it was.
//
// Input: a statement over the table t(cu, de, r), where cu and de are exact columns.
#include "fuzz/FuzzSupport.h"

#include "data/NumberCompare.h"
#include "data/NumberStatements.h"

#include <sqlite3.h>

#include <string>

namespace {

sqlite3 *database()
{
    static sqlite3 *db = [] {
        sqlite3 *d = nullptr;
        sqlite3_open(":memory:", &d);
        jetnumber::registerCollation(d);
        sqlite3_exec(d, "CREATE TABLE t(cu TEXT COLLATE JETNUMBER, de TEXT COLLATE JETNUMBER, r REAL)", nullptr,
                     nullptr, nullptr);
        return d;
    }();
    return db;
}

// Fields of the prepared statement, or -1 when SQLite refuses it.
int fieldsOf(const std::string &sql)
{
    sqlite3_stmt *stmt = nullptr;
    const char *tail = nullptr;
    if (sqlite3_prepare_v2(database(), sql.c_str(), int(sql.size()), &stmt, &tail) != SQLITE_OK || !stmt) {
        sqlite3_finalize(stmt);
        return -1;
    }
    const int fields = sqlite3_column_count(stmt);
    sqlite3_finalize(stmt);
    return fields;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    const std::string sql(reinterpret_cast<const char *>(data), size);
    if (sql.find('\0') != std::string::npos)
        return 0;
    const std::string rewritten = jetnumber::rewriteStatement(
        sql, [](std::string_view name) { return name == "cu" || name == "de" || name == "CU"; });
    const int before = fieldsOf(sql);
    if (before >= 0)
        fuzz::check(fieldsOf(rewritten) == before, "the rewrite broke a statement SQLite accepts",
                    QString::fromStdString(sql + "\n=> " + rewritten));
    bool digits = false;
    int run = 0;
    for (char c : sql) {
        run = c >= '0' && c <= '9' ? run + 1 : 0;
        digits = digits || run > 15;
    }
    if (!digits && sql.find("cu") == std::string::npos && sql.find("de") == std::string::npos
        && sql.find("CU") == std::string::npos)
        fuzz::check(rewritten == sql, "a statement without exact columns was rewritten",
                    QString::fromStdString(sql + "\n=> " + rewritten));
    return 0;
}
