#include "data/ColumnStore.h"

#include "data/DatabaseError.h"
#include "data/jet/JetRows.h"

#include <QByteArray>
#include <QLocale>

#include <algorithm>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

namespace {

// Packs the rows of a cursor into fresh columns: cell k of a row is column wanted[k].
class ColumnFiller
{
public:
    // `select` (ascending row numbers, may be null for all) picks the rows that are kept.
    ColumnFiller(const QVector<JetColumn> &columns, const std::vector<int> &wanted, const std::atomic<bool> *cancel,
                 const std::atomic<bool> *abandon, const std::vector<uint32_t> *select = nullptr)
        : m_cancel(cancel), m_abandon(abandon), m_select(select)
    {
        for (int c : wanted) {
            auto column = std::make_unique<DecodedColumn>();
            column->kind = columns[c].kind;
            if (column->kind != StorageClass::Integer && column->kind != StorageClass::Real)
                column->ends.push_back(0);
            m_out.push_back(std::move(column));
        }
    }

    // Every row of the cursor, each decoded only when it is kept.
    void fill(jet::TableCursor &rows)
    {
        while (rows.advance()) {
            checkCancel();
            if (!selected(m_seen++))
                continue;
            rows.decode();
            add(rows.cells());
        }
    }

    int rows() const { return m_rows; }    // rows kept
    size_t seen() const { return m_seen; } // rows of the table met
    void addRows(int rows) { m_rows += rows; }
    std::vector<std::unique_ptr<DecodedColumn>> &columns() { return m_out; }

private:
    const std::atomic<bool> *m_cancel;
    const std::atomic<bool> *m_abandon; // the other part of a split pass failed
    const std::vector<uint32_t> *m_select;
    size_t m_next = 0; // first entry of m_select not passed yet
    size_t m_seen = 0;
    std::vector<std::unique_ptr<DecodedColumn>> m_out;
    int m_rows = 0;

    void add(const std::vector<JetCell> &cells)
    {
        if (m_rows == 0x7FFFFFFF)
            throw std::bad_alloc();
        const size_t word = size_t(m_rows) >> 6;
        const uint64_t bit = uint64_t(1) << (m_rows & 63);
        for (size_t k = 0; k < m_out.size(); ++k) {
            const JetCell &cell = cells[k];
            DecodedColumn &out = *m_out[k];
            if (out.nulls.size() <= word)
                out.nulls.push_back(0);
            if (cell.isNull())
                out.nulls[word] |= bit;
            switch (out.kind) {
            case StorageClass::Integer: out.integers.push_back(cell.integer); break;
            case StorageClass::Real: out.reals.push_back(cell.real); break;
            case StorageClass::Number:
                appendText(out, cell.isNull() ? std::string_view() : decimalCellText(cell));
                break;
            default: appendText(out, cell.isNull() ? std::string_view() : std::string_view(cell.text)); break;
            }
        }
        ++m_rows;
    }
    static void appendText(DecodedColumn &out, std::string_view text)
    {
        if (text.size() > 0xFFFFFFFFu - out.text.size())
            throw std::bad_alloc();
        out.text.append(text.data(), text.size());
        out.ends.push_back(uint32_t(out.text.size()));
    }

    void checkCancel() const
    {
        if ((m_seen & 4095) == 0
            && ((m_cancel && m_cancel->load(std::memory_order_relaxed)) || m_abandon->load(std::memory_order_relaxed)))
            throw ColumnStore::Cancelled();
    }
    bool selected(size_t row)
    {
        if (!m_select)
            return true;
        while (m_next < m_select->size() && (*m_select)[m_next] < row)
            ++m_next;
        return m_next < m_select->size() && (*m_select)[m_next] == row;
    }
};

// Nulls for every row, no room left over.
void finish(DecodedColumn &col, size_t rows)
{
    col.nulls.resize((rows + 63) / 64, 0);
    col.nulls.fit();
    col.integers.fit();
    col.reals.fit();
    col.text.fit();
    col.ends.fit();
}

QString changedFile(const QString &table)
{
    return QStringLiteral("数据库文件已被更改，表 '%1' 无法读取。").arg(table);
}

// Appends the rows of a column read from a later part of the table.
void appendColumn(DecodedColumn &into, size_t intoRows, const DecodedColumn &from, size_t fromRows)
{
    into.nulls.resize((intoRows + fromRows + 63) / 64, 0);
    for (size_t r = 0; r < fromRows; ++r)
        if (from.isNull(r))
            into.nulls[(intoRows + r) >> 6] |= uint64_t(1) << ((intoRows + r) & 63);
    switch (into.kind) {
    case StorageClass::Integer: into.integers.append(from.integers.data(), fromRows); break;
    case StorageClass::Real: into.reals.append(from.reals.data(), fromRows); break;
    default: {
        const size_t base = into.text.size();
        if (from.text.size() > 0xFFFFFFFFu - base)
            throw std::bad_alloc();
        into.text.append(from.text.data(), from.text.size());
        into.ends.reserve(into.ends.size() + fromRows);
        for (size_t r = 1; r <= fromRows; ++r)
            into.ends.push_back(uint32_t(base + from.ends[r]));
        break;
    }
    }
}

// Tables of more pages than this are read in two parts at once where two processors are.
constexpr size_t kSplitPages = 1024;

} // namespace

std::string_view decimalCellText(const JetCell &cell)
{
    if (!cell.text.empty() || cell.storage == JetCell::Text)
        return cell.text;
    thread_local std::string made;
    made = cell.storage == JetCell::Integer
               ? std::to_string(cell.integer)
               : QByteArray::number(cell.real, 'f', QLocale::FloatingPointShortest).toStdString();
    return made;
}

TableRows::TableRows(std::shared_ptr<std::mutex> decodeLock, std::shared_ptr<JetFile> file,
                     std::unique_ptr<jet::TableCursor> rows)
    : m_decodeLock(std::move(decodeLock)), m_file(std::move(file)), m_rows(std::move(rows))
{
}

TableRows::~TableRows() = default;

bool TableRows::next()
{
    std::lock_guard<std::mutex> lock(*m_decodeLock);
    if (!m_rows->next())
        return false;
    ++m_passed;
    return true;
}

bool TableRows::nextWhere(size_t tested, const std::function<bool(const std::vector<JetCell> &)> &keep)
{
    std::lock_guard<std::mutex> lock(*m_decodeLock);
    while (m_rows->advance()) {
        ++m_passed;
        m_rows->decode(0, tested);
        if (keep(m_rows->cells())) {
            m_rows->decode(tested, m_rows->cells().size());
            return true;
        }
    }
    return false;
}

const std::vector<JetCell> &TableRows::cells() const
{
    return m_rows->cells();
}

std::unique_ptr<TableRows> ColumnStore::openRows(const std::vector<int> &columns) const
try {
    std::lock_guard<std::mutex> lock(*m_decodeLock);
    auto rows = file().openTable(m_name, columns);
    return std::make_unique<TableRows>(m_decodeLock, m_file, std::move(rows));
} catch (const jet::Error &e) {
    throw EDatabaseError(e);
}

int ColumnStore::countRows()
try {
    if (rowCount() >= 0)
        return rowCount();
    std::lock_guard<std::mutex> lock(*m_decodeLock);
    if (rowCount() >= 0) // counted or decoded while this one waited
        return rowCount();
    const quint32 rows = file().openTable(m_name, {})->countRows();
    if (rows > 0x7FFFFFFF)
        throw std::bad_alloc();
    // The table has been read through (its slots): a later pass must meet as many rows.
    m_rows.store(int(rows), std::memory_order_release);
    return int(rows);
} catch (const jet::Error &e) {
    throw EDatabaseError(e);
}

// A table whose definition is unsound still gets a store, one without columns that says why:
// the other tables of the file stay readable. Every other use of the file below gives the
// file-format layer's failures as the data layer's.
ColumnStore::ColumnStore(std::shared_ptr<JetFile> file, const QString &table, std::shared_ptr<std::mutex> decodeLock)
    : m_decodeLock(std::move(decodeLock)), m_file(std::move(file)), m_path(m_file->path()), m_name(table)
{
    try {
        m_columns = m_file->columns(table);
    } catch (const jet::Error &e) {
        m_refusal = sqlerrors::message(e);
    }
    m_data.resize(size_t(m_columns.size()));
    m_decoded.reset(new std::atomic<bool>[size_t(m_columns.size())]);
    for (int c = 0; c < m_columns.size(); ++c)
        m_decoded[size_t(c)].store(false);
}

void ColumnStore::retire()
{
    std::lock_guard<std::mutex> lock(*m_decodeLock);
    m_file.reset();
}

JetFile &ColumnStore::file() const
{
    if (!m_file)
        throw EDatabaseError(changedFile(m_name));
    return *m_file;
}

void ColumnStore::verify(quint64 statement)
{
    std::lock_guard<std::mutex> lock(*m_decodeLock);
    if (m_verified == statement)
        return;
    try {
        file().verifyTable(m_name);
    } catch (const jet::Error &e) {
        throw EDatabaseError(e);
    }
    m_verified = statement;
}

void ColumnStore::ensure(const std::vector<int> &columns, const std::atomic<bool> *cancel)
try {
    auto missing = [&] {
        std::vector<int> out;
        for (int c : columns)
            if (c >= 0 && c < m_columns.size() && !isDecoded(c) && std::find(out.begin(), out.end(), c) == out.end())
                out.push_back(c);
        return out;
    };
    if (missing().empty() && rowCount() >= 0)
        return;
    std::lock_guard<std::mutex> lock(*m_decodeLock);
    // Another pass may have done the work while this one waited.
    const std::vector<int> wanted = missing();
    if (wanted.empty() && rowCount() >= 0)
        return;
    std::atomic<bool> abandon{false};
    ColumnFiller filler(m_columns, wanted, cancel, &abandon);
    const std::unique_ptr<jet::TableCursor> rows = file().openTable(m_name, wanted);
    const size_t pages = rows->pageCount();
    // A pass over one column (a first search's criterion) is mostly reading pages: a second
    // thread would cost more processor time than it saves. Several columns are split.
    if (pages >= kSplitPages && wanted.size() > 1 && std::thread::hardware_concurrency() > 1) {
        // Pages are independent: the second half is read on a thread of its own, its rows put
        // after the first half's. Both cursors are opened here, before either reads.
        const std::unique_ptr<jet::TableCursor> laterRows = file().openTable(m_name, wanted);
        rows->keepPages(0, pages / 2);
        laterRows->keepPages(pages / 2, pages);
        ColumnFiller later(m_columns, wanted, cancel, &abandon);
        std::exception_ptr laterError;
        auto readLater = [&] {
            try {
                later.fill(*laterRows);
            } catch (...) {
                laterError = std::current_exception();
                abandon.store(true);
            }
        };
        std::thread helper;
        try {
            helper = std::thread(readLater);
        } catch (const std::system_error &) {
        }
        auto stopLater = [&] {
            abandon.store(true);
            if (helper.joinable())
                helper.join();
        };
        try {
            filler.fill(*rows);
        } catch (const Cancelled &) {
            stopLater();
            if (laterError) // it gave up for the second part's failure: that one is the news
                std::rethrow_exception(laterError);
            throw;
        } catch (...) {
            stopLater();
            throw;
        }
        if (helper.joinable())
            helper.join();
        else
            readLater();
        if (laterError)
            std::rethrow_exception(laterError);
        rows->checkApart(*laterRows);
        if (size_t(filler.rows()) + size_t(later.rows()) > 0x7FFFFFFF)
            throw std::bad_alloc();
        for (size_t k = 0; k < wanted.size(); ++k)
            appendColumn(*filler.columns()[k], size_t(filler.rows()), *later.columns()[k], size_t(later.rows()));
        filler.addRows(later.rows());
    } else {
        filler.fill(*rows);
    }
    // Every pass reads the same rows of an unchanged file; a count that differs means the file
    // is no longer the one the other columns came from.
    const int known = rowCount();
    if (known >= 0 && known != filler.rows())
        throw EDatabaseError(changedFile(m_name));
    for (size_t k = 0; k < wanted.size(); ++k) {
        finish(*filler.columns()[k], size_t(filler.rows()));
        m_data[size_t(wanted[k])] = std::move(filler.columns()[k]);
        m_decoded[size_t(wanted[k])].store(true, std::memory_order_release);
    }
    m_rows.store(filler.rows(), std::memory_order_release);
} catch (const jet::Error &e) {
    throw EDatabaseError(e);
}

std::vector<std::unique_ptr<DecodedColumn>> ColumnStore::decodeRows(const std::vector<int> &columns,
                                                                    const std::vector<uint32_t> &rows) const
try {
    std::lock_guard<std::mutex> lock(*m_decodeLock);
    std::atomic<bool> abandon{false};
    ColumnFiller filler(m_columns, columns, nullptr, &abandon, &rows);
    filler.fill(*file().openTable(m_name, columns));
    if (rowCount() < 0 || filler.seen() != size_t(rowCount()) || size_t(filler.rows()) != rows.size())
        throw EDatabaseError(changedFile(m_name));
    for (auto &col : filler.columns())
        finish(*col, rows.size());
    return std::move(filler.columns());
} catch (const jet::Error &e) {
    throw EDatabaseError(e);
}
