#pragma once

#include "data/JetVirtualTable.h"
#include "data/jet/JetFile.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class ColumnStore;
class ResultSet;
struct sqlite3_stmt;

// How a statement's rows become a result.
namespace statementrows {

// The shortest text that reads back as the same double: plain decimals from 1e-7 up to below
// 1e21 (1.1, 123.5, 0.0000001, 1000000), an exponent beyond (1e-8, 5e-324,
// 1.7976931348623157e308); "-0" keeps its sign; "Infinity", "-Infinity", "NaN".
// `lssdb export` and every format of `lssdb query` write numbers this way, so the two agree.
std::string formatReal(double v);

// A cell of a table's row as a statement gives it: its text (`buf` keeps a number's) and
// SQLite's type code (a NaN is the text "NaN", as the tables hand it to SQLite).
std::string_view jetCellText(const JetCell &cell, StorageClass kind, std::string &buf, unsigned char &type);

// Where a field of a statement's result comes from: a column of one of the module's tables
// (`store` and the column's index in it), or nothing (a computed value) with `store` null.
struct FieldOrigin
{
    ColumnStore *store = nullptr;
    int column = -1;
};
std::vector<FieldOrigin> fieldOrigins(sqlite3_stmt *stmt, const jetvtab::Catalog &catalog);
// The one table every field is a column of, or null.
ColumnStore *singleTable(const std::vector<FieldOrigin> &fields);

// Steps the statement to its end, every row into `result`. When every field is a text column
// of one table as it stands, the result keeps row numbers instead of copies. Throws
// EDatabaseError (SQLite's failure in Chinese) or std::bad_alloc. `cellTypes`, when given,
// receives SQLite's type code of every cell, row by row (for writers of typed formats).
// `scanRows`: the statement's program hands out plain columns of every row its one scan gives
// (SQLite tests nothing row by row): once the first row is the scan's first, the rest are the
// scan's rows and SQLite is not stepped through them.
// Thrown by read() when the scan left values unread (jetvtab::Catalog::deferColumns) and its
// rows could not be taken as they are: the statement must run again without deferring.
struct Unread
{};
void read(sqlite3_stmt *stmt, ResultSet &result, const std::vector<std::shared_ptr<ColumnStore>> &stores,
          const jetvtab::Catalog &catalog, std::vector<unsigned char> *cellTypes = nullptr, bool scanRows = false);

// Steps the statement to its end, each row handed to `row` as it is made and nothing kept:
// its cells in the text form read() gives them, and SQLite's type code of each. Throws as
// read(); the rows handed over before a failure stay handed over.
using RowSink = std::function<void(const std::string_view *cells, const unsigned char *types)>;
// `scanRows` as for read(): the rows after the first come from the streamed scan itself.
void stream(sqlite3_stmt *stmt, const jetvtab::Catalog &catalog, const RowSink &row, bool scanRows = false);

} // namespace statementrows
