#pragma once

#include "data/GrowArray.h"
#include "data/jet/JetFile.h"

#include <QString>
#include <QVector>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A decoded column's arrays are blocks mapped of their own: one let go (half of a pass read on
// two threads, once joined to the other) goes back to the system at once. From the heap, a
// freed block of tens of megabytes made the allocator serve the next ones from the heap too and
// keep them when freed: 30 MB more resident after reading five million lawyers ahead.
template <class T>
using ColumnArray = GrowArray<T, MappedBlock>;

// One decoded column of a table, every row in file order: numbers in an array of their own,
// text back to back in one buffer with 32-bit end offsets, nulls in a bit set. An exact
// number (StorageClass::Number) is kept as its decimal text.
//
// A text column of few distinct values (a province, a city) keeps each of them once, back to
// back in `text` and `ends`, and one code per row into them (`dictionary`): 16 bits a row while
// there are at most 65,535 texts, 32 (`wideCodes`) beyond. A fraction of the memory, and a
// search tests each text once. A null row's code is that of the empty text. Every reader goes
// through textAt(), which reads every form alike.
struct DecodedColumn
{
    StorageClass kind = StorageClass::Text;
    ColumnArray<uint64_t> nulls;     // bit r set: row r is null
    ColumnArray<int64_t> integers;   // StorageClass::Integer
    ColumnArray<double> reals;       // StorageClass::Real
    ColumnArray<char> text;          // StorageClass::Number and every other kind, as text
    ColumnArray<uint32_t> ends;      // ends[0] = 0, ends[v + 1] = end of text v (row v's when plain)
    ColumnArray<uint16_t> codes;     // dictionary, not wide: codes[r] = row r's text
    ColumnArray<uint32_t> wideCodes; // dictionary, wide: the same
    bool dictionary = false;
    bool wide = false;

    bool isNull(size_t row) const { return (nulls[row >> 6] >> (row & 63)) & 1; }
    // The texts kept: one a row when plain, the distinct ones in dictionary form.
    size_t texts() const { return ends.size() - 1; }
    const char *valueAt(size_t v, size_t &size) const
    {
        size = ends[v + 1] - ends[v];
        return text.data() ? text.data() + ends[v] : ""; // empty texts only: no block at all
    }
    size_t codeAt(size_t row) const { return wide ? wideCodes[row] : codes[row]; }
    const char *textAt(size_t row, size_t &size) const { return valueAt(dictionary ? codeAt(row) : row, size); }
    size_t memoryUsed() const
    {
        return nulls.capacity() * 8 + integers.capacity() * 8 + reals.capacity() * 8 + text.capacity()
               + ends.capacity() * 4 + codes.capacity() * 2 + wideCodes.capacity() * 4;
    }
};

namespace jet {
class TableCursor;
}
class StoredVerdicts;

// The rows of a table one at a time (ColumnStore::openRows). Each row is read under the decode
// lock, as every other use of the file is, and the cursor keeps the file open while it lives.
class TableRows
{
public:
    TableRows(std::shared_ptr<std::mutex> decodeLock, std::shared_ptr<JetFile> file,
              std::unique_ptr<jet::TableCursor> rows);
    ~TableRows();
    TableRows(const TableRows &) = delete;
    TableRows &operator=(const TableRows &) = delete;

    // Moves to the next row and decodes it; false after the last. Throws jet::Error.
    bool next();
    // Moves to the next row that `keep` accepts, looking at its first `tested` cells only, then
    // decodes the rest of it; false after the last. Throws jet::Error.
    bool nextWhere(size_t tested, const std::function<bool(const std::vector<JetCell> &)> &keep);
    // Rows of the table passed so far, the one standing included.
    size_t passed() const { return m_passed; }
    const std::vector<JetCell> &cells() const;

private:
    std::shared_ptr<std::mutex> m_decodeLock;
    std::shared_ptr<JetFile> m_file;
    std::unique_ptr<jet::TableCursor> m_rows;
    std::unique_ptr<StoredVerdicts> m_verdicts;
    size_t m_passed = 0;
};

// An exact decimal's text as the columns keep it; the reader gives it with every value, and it
// is made here for one that comes as a number only (valid until the next call on the thread).
std::string_view decimalCellText(const JetCell &cell);

// The columns of one Jet table, each decoded from the file the first time a statement needs it
// and kept for the connection's life, so a later statement on the same columns only scans
// memory. Columns needed together are decoded in one pass over the table. A column that fails
// half-way is dropped whole; the next statement tries again.
//
// Decoding is safe from any thread; every use of the file by one engine's tables runs under
// `decodeLock`, one at a time (the file is measured again, and may be opened again, between
// statements): a pass, a count, a check, each row of openRows. The store holds the lock and the
// file itself, jointly with the engine, so one that a result keeps never reaches into an engine
// gone. A column once decoded is never changed, so reading it needs no lock.
class ColumnStore
{
public:
    ColumnStore(std::shared_ptr<JetFile> file, const QString &table, std::shared_ptr<std::mutex> decodeLock);
    ColumnStore(const ColumnStore &) = delete;
    ColumnStore &operator=(const ColumnStore &) = delete;

    const QString &name() const { return m_name; }
    const QVector<JetColumn> &columns() const { return m_columns; }

    // Decodes those of `columns` (indexes) not decoded yet; with none missing and the row count
    // known, returns at once. `cancel` (may be null) ends a pass early with Cancelled. While
    // `pause` (may be null) is set, the pass waits where it checks `cancel`, for at most a
    // moment. Throws EDatabaseError or std::bad_alloc; nothing of a failed pass is kept.
    struct Cancelled
    {};
    void ensure(const std::vector<int> &columns, const std::atomic<bool> *cancel = nullptr,
                const std::atomic<bool> *pause = nullptr);

    // Decodes columns for some rows only (ascending row numbers): value i
    // of each column is that of rows[i] (a result's fields read when first asked for). Nothing
    // is kept. Throws as ensure().
    std::vector<std::unique_ptr<DecodedColumn>> decodeRows(const std::vector<int> &columns,
                                                           const std::vector<uint32_t> &rows) const;

    // One pass over the table for a first search: the rows whose first `tested` columns `keep`
    // accepts (their cells in the order of `columns`), the other columns decoded for them only.
    // Value i of each column is that of rows[i]; `rows` gets their numbers. Nothing is kept.
    // Nothing (no value) when the columns `unlessDecoded` were all decoded whole while it waited
    // for the lock: searching them is the faster way then. Throws as ensure().
    std::optional<std::vector<std::unique_ptr<DecodedColumn>>>
    decodeMatching(const std::vector<int> &columns, size_t tested,
                   const std::function<bool(const std::vector<JetCell> &)> &keep, std::vector<uint32_t> &rows,
                   const std::vector<int> &unlessDecoded) const;

    // The rows of the table one at a time, the given columns decoded as each is reached and
    // nothing kept: for a statement streamed to its reader. Throws EDatabaseError. Each row is
    // read under the decode lock, so a pass running meanwhile (a warm-up) holds the cursor up
    // until it ends: the engine stops the warm-up before it streams.
    std::unique_ptr<TableRows> openRows(const std::vector<int> &columns) const;

    // The table's rows: known once a pass has ended, else counted from its pages' row slots
    // without decoding a row, and kept. Throws EDatabaseError.
    int countRows();

    // Damaged-file error unless the file still holds the table as it was; checked once for
    // each `statement` (a number that changes from one statement to the next).
    void verify(quint64 statement);

    // Lets go of the file (it was replaced): what is decoded stays readable, nothing more is
    // read. Waits for a pass that is running.
    void retire();
    const QString &filePath() const { return m_path; }
    // Why no statement can read the table (its definition is unsound); empty when it can.
    const QString &refusal() const { return m_refusal; }

    bool isDecoded(int column) const { return m_decoded[size_t(column)].load(std::memory_order_acquire); }
    // -1 until a pass over the table has ended.
    int rowCount() const { return m_rows.load(std::memory_order_acquire); }
    // A decoded column.
    const DecodedColumn &column(int c) const { return *m_data[size_t(c)]; }

private:
    JetFile &file() const; // the file; the changed-file error once retired

    std::shared_ptr<std::mutex> m_decodeLock; // the engine's, shared with its other stores
    std::shared_ptr<JetFile> m_file;          // null once retired; under m_decodeLock
    QString m_path;
    QString m_name;
    QVector<JetColumn> m_columns;
    QString m_refusal;
    std::vector<std::unique_ptr<DecodedColumn>> m_data;
    std::unique_ptr<std::atomic<bool>[]> m_decoded;
    std::atomic<int> m_rows{-1};
    quint64 m_verified = 0; // under m_decodeLock
};
