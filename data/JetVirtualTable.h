#pragma once

#include <QStringList>

#include "data/jet/JetValues.h"
#include <QtGlobal>
#include <cstdint>
#include <exception>
#include <limits>
#include <memory>
#include <vector>

class ColumnStore;
struct DecodedColumn;
struct sqlite3;

// The SQLite module through which statements read Jet tables in place: one virtual table per
// Jet table, its rows and values served from the table's ColumnStore. A scan makes the store
// decode the columns it uses before its first row: those its LIKE and = criteria test first,
// then the others, for the rows found only when they are few. A streamed statement's scan
// without such a criterion reads the rows from the file instead, one at a time, keeping none.
namespace jetvtab {

constexpr const char *kModule = "jet";

// A Double's NaN as statements see it. SQLite has no NaN (it would make one NULL, and the text
// "NaN" is greater than every number and sorts after +Infinity): an integer below every finite
// double a column holds beyond -9.2e18, so NaN is never greater than a number and sorts just
// after -Infinity. A field that is a Real column shows it as "NaN" (statementrows).
constexpr qint64 kNotANumber = std::numeric_limits<qint64>::min();

// A scan streamed from the file (Catalog::streaming), seen from the engine: for a statement
// whose rows are the scan's own, the rows after the first are taken from here, SQLite not
// stepped through them.
class StreamedRows
{
public:
    virtual ~StreamedRows() = default;
    // The scan's next row that passes its tests; false after the last. Throws jet::Error.
    virtual bool nextRow() = 0;
    // A column of the row it stands on; null when the statement does not read the column.
    virtual const JetCell *cell(int column) const = 0;
};

// What the module's tables reach: the stores (a table is created "USING jet(N)" for store N),
// and the failure of the last call into the module, kept whole so that the engine raises it
// as it was (SQLite passes on only its text).
struct Catalog
{
    std::vector<ColumnStore *> stores;
    // Changes with every statement: a table checks the file once for each.
    quint64 statement = 0;
    std::exception_ptr error;
    // What SQLite told the tables while it planned the statement prepared last (cleared before
    // each): for each table asked for a plan, the columns the statement uses (bit c for column
    // c, bit 63 for any beyond) and the columns its WHERE constrains. A statement that only
    // counts a table uses none of its columns and constrains none.
    struct Planned
    {
        const ColumnStore *store = nullptr;
        quint64 columnsUsed = 0;
        std::vector<int> constrained;
    };
    std::vector<Planned> planned;
    // While set, a scan without a prefilter reads the table's rows from the file one at a time,
    // decoding each as it is reached and keeping nothing: a statement streamed to its reader.
    bool streaming = false;
    // The rows the scan filtered last gives, in order: every row of `store` (`rows` null) or
    // those listed, until the statement ends. Each column it hands out is one the table has
    // decoded, one read for those rows alone (`partialColumns`, value i of `partial` that of
    // the i-th row listed: a result may take them), or one left unread (`deferred`: SQLite sees
    // NULL, see deferColumns). Cleared before each statement.
    struct Scan
    {
        const ColumnStore *store = nullptr;
        const std::vector<uint32_t> *rows = nullptr;
        std::vector<int> deferred;
        const std::vector<int> *partialColumns = nullptr;
        std::vector<std::unique_ptr<DecodedColumn>> *partial = nullptr;
        StreamedRows *streamed = nullptr;
    };
    Scan scanned;
    // Set for a statement whose result takes the rows of its one scan (statementrows::read): the
    // columns named here that the table has not decoded are not read for the statement (SQLite
    // sees NULL); the result reads them for its own rows when they are first asked for. Only
    // for a scan that a criterion narrows.
    const ColumnStore *deferStore = nullptr;
    std::vector<int> deferColumns;
};

// Registers the module on a connection; the catalog must outlive it. Returns an SQLite code.
int registerModule(sqlite3 *db, Catalog *catalog);

} // namespace jetvtab
