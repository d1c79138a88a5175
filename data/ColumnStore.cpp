#include "data/ColumnStore.h"

#include "data/DatabaseError.h"
#include "data/jet/JetRows.h"

#include <QByteArray>
#include <QLocale>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

namespace {

// Codes are 16 bits up to this many texts, 32 beyond.
constexpr size_t kNarrowTexts = 65535;
// A column whose part read so far holds more distinct texts than half its rows (names,
// addresses) gains nothing from a dictionary: it is kept plain from then on. Checked when the
// rows reach a power of two from this many, so a few rows do not decide it.
constexpr size_t kDictionaryTrialRows = 16384;

void appendText(DecodedColumn &out, const char *p, size_t size)
{
    if (size > 0xFFFFFFFFu - out.text.size())
        throw std::bad_alloc();
    out.text.append(p, size);
    out.ends.push_back(uint32_t(out.text.size()));
}

uint64_t load64(const char *p)
{
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}
uint32_t load32(const char *p)
{
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

// The two halves of a full product: every bit of either factor reaches both.
uint64_t mix(uint64_t a, uint64_t b)
{
    const unsigned __int128 m = (unsigned __int128)a * b;
    return uint64_t(m) ^ uint64_t(m >> 64);
}

// Texts are short (a city is 9 bytes): they are read in words, the last word overlapping the
// one before, with no call for a few bytes, and one product mixes up to 16 of them.
uint64_t hashText(const char *p, size_t n)
{
    constexpr uint64_t k1 = 0xA0761D6478BD642Full, k2 = 0xE7037ED1A0B428DBull;
    uint64_t seed = k2 ^ n;
    uint64_t a = 0, b = 0;
    if (n > 16) {
        size_t i = 0;
        for (; i + 16 < n; i += 16)
            seed = mix(load64(p + i) ^ k1, load64(p + i + 8) ^ seed);
        a = load64(p + n - 16);
        b = load64(p + n - 8);
    } else if (n >= 8) {
        a = load64(p);
        b = load64(p + n - 8);
    } else if (n >= 4) {
        a = load32(p);
        b = load32(p + n - 4);
    } else if (n > 0) {
        a = uint64_t(uint8_t(p[0])) << 16 | uint64_t(uint8_t(p[n / 2])) << 8 | uint8_t(p[n - 1]);
    }
    return mix(a ^ k1, b ^ seed);
}

bool sameBytes(const char *a, const char *b, size_t n)
{
    if (n >= 8) {
        for (size_t i = 0; i + 8 < n; i += 8)
            if (load64(a + i) != load64(b + i))
                return false;
        return load64(a + n - 8) == load64(b + n - 8);
    }
    if (n >= 4)
        return load32(a) == load32(b) && load32(a + n - 4) == load32(b + n - 4);
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

// The distinct texts of a column in dictionary form, found by open addressing: a slot holds
// the top half of the text's hash (a cheap first comparison) and its code + 1; 0 is free.
class TextIndex
{
public:
    // The code of the text, appended to the column's texts when new.
    size_t codeOf(DecodedColumn &col, const char *p, size_t n)
    {
        if (n == 0 && m_empty >= 0)
            return size_t(m_empty); // every null row asks for it
        if (m_slots.empty())
            m_slots.assign(1024, 0);
        const uint64_t h = hashText(p, n);
        const uint64_t tag = h & 0xFFFFFFFF00000000ull;
        const size_t mask = m_slots.size() - 1;
        size_t i = size_t(h) & mask;
        for (; m_slots[i] != 0; i = (i + 1) & mask) {
            if ((m_slots[i] & 0xFFFFFFFF00000000ull) != tag)
                continue;
            const size_t v = size_t(uint32_t(m_slots[i])) - 1;
            size_t size;
            const char *q = col.valueAt(v, size);
            if (size == n && sameBytes(q, p, n))
                return remember(n, v);
        }
        const size_t v = col.texts();
        appendText(col, p, n);
        m_slots[i] = tag | (v + 1);
        if ((v + 1) * 2 > m_slots.size())
            grow(col);
        return remember(n, v);
    }
    // The texts the column holds already, found from now on.
    void adoptAll(const DecodedColumn &col)
    {
        size_t size = 1024;
        while (size < col.texts() * 2 + 2)
            size *= 2;
        m_slots.assign(size, 0);
        rehash(col);
    }
    // Forgets every text, the room given back.
    void clear()
    {
        std::vector<uint64_t>().swap(m_slots);
        m_empty = -1;
    }

private:
    std::vector<uint64_t> m_slots; // a power of two, at most half full
    long m_empty = -1;             // the empty text's code once known

    size_t remember(size_t n, size_t v)
    {
        if (n == 0)
            m_empty = long(v);
        return v;
    }
    void grow(const DecodedColumn &col)
    {
        m_slots.assign(m_slots.size() * 2, 0);
        rehash(col);
    }
    // Places every text of the column in the empty slots.
    void rehash(const DecodedColumn &col)
    {
        const size_t mask = m_slots.size() - 1;
        for (size_t v = 0; v < col.texts(); ++v) {
            size_t n;
            const char *p = col.valueAt(v, n);
            const uint64_t h = hashText(p, n);
            size_t i = size_t(h) & mask;
            while (m_slots[i] != 0)
                i = (i + 1) & mask;
            m_slots[i] = (h & 0xFFFFFFFF00000000ull) | (v + 1);
            remember(n, v);
        }
    }
};

// Stored bytes of a text already met, each with what was made of them (a dictionary code, a
// test's verdict): a column of few distinct values is decoded once a value, not once a row.
// Open addressing as in TextIndex; the bytes are kept here, back to back. Not a TextIndex over
// a column of the bytes: that one inserts as it looks up, and the first search of a city at a
// million rows ran 12 % more instructions through it.
class StoredIndex
{
public:
    // The value remembered for the bytes; -1 when they are new.
    long find(const uchar *p, size_t n) const
    {
        if (m_slots.empty())
            return -1;
        const char *bytes = reinterpret_cast<const char *>(p);
        const uint64_t h = hashText(bytes, n);
        const uint64_t tag = h & 0xFFFFFFFF00000000ull;
        const size_t mask = m_slots.size() - 1;
        for (size_t i = size_t(h) & mask; m_slots[i] != 0; i = (i + 1) & mask) {
            if ((m_slots[i] & 0xFFFFFFFF00000000ull) != tag)
                continue;
            const Entry &e = m_entries[size_t(uint32_t(m_slots[i])) - 1];
            if (e.size == n && sameBytes(m_bytes.data() + e.at, bytes, n))
                return long(e.value);
        }
        return -1;
    }
    // Bytes that find() did not know.
    void add(const uchar *p, size_t n, uint32_t value)
    {
        if (m_slots.empty())
            m_slots.assign(256, 0);
        const char *bytes = reinterpret_cast<const char *>(p);
        m_entries.push_back({m_bytes.size(), n, value});
        m_bytes.append(bytes, n);
        place(hashText(bytes, n), m_entries.size());
        if (m_entries.size() * 2 > m_slots.size()) {
            m_slots.assign(m_slots.size() * 2, 0);
            for (size_t e = 0; e < m_entries.size(); ++e)
                place(hashText(m_bytes.data() + m_entries[e].at, m_entries[e].size), e + 1);
        }
    }
    size_t size() const { return m_entries.size(); }
    // Forgets every entry, the room given back.
    void clear()
    {
        std::vector<uint64_t>().swap(m_slots);
        std::vector<Entry>().swap(m_entries);
        std::string().swap(m_bytes);
    }

private:
    struct Entry
    {
        size_t at;
        size_t size;
        uint32_t value;
    };
    std::vector<uint64_t> m_slots; // a power of two, at most half full: tag | entry + 1
    std::vector<Entry> m_entries;
    std::string m_bytes;

    void place(uint64_t h, size_t entry)
    {
        const size_t mask = m_slots.size() - 1;
        size_t i = size_t(h) & mask;
        while (m_slots[i] != 0)
            i = (i + 1) & mask;
        m_slots[i] = (h & 0xFFFFFFFF00000000ull) | entry;
    }
};

// A code appended, the codes made 32 bits wide once it needs more than 16.
void appendCode(DecodedColumn &col, size_t code)
{
    if (!col.wide && code >= kNarrowTexts) {
        col.wideCodes.reserve(col.codes.size() + col.codes.size() / 2);
        for (size_t r = 0; r < col.codes.size(); ++r)
            col.wideCodes.push_back(col.codes[r]);
        col.codes.clear();
        col.wide = true;
    }
    if (col.wide)
        col.wideCodes.push_back(uint32_t(code));
    else
        col.codes.push_back(uint16_t(code));
}

// A column in dictionary form turned plain: the text of each of its first `rows` rows.
void toPlain(DecodedColumn &col, size_t rows)
{
    size_t total = 0;
    for (size_t r = 0; r < rows; ++r)
        total += col.ends[col.codeAt(r) + 1] - col.ends[col.codeAt(r)];
    if (total > 0xFFFFFFFFu)
        throw std::bad_alloc();
    ColumnArray<char> text;
    ColumnArray<uint32_t> ends;
    text.reserve(total);
    ends.reserve(rows + 1);
    ends.push_back(0);
    for (size_t r = 0; r < rows; ++r) {
        size_t size;
        const char *p = col.textAt(r, size);
        text.append(p, size);
        ends.push_back(uint32_t(text.size()));
    }
    col.text.swap(text);
    col.ends.swap(ends);
    col.codes.clear();
    col.wideCodes.clear();
    col.dictionary = col.wide = false;
}

} // namespace

// A pass's test of one text cell (a search's criterion) remembered by the cell's stored bytes: a
// column of few values (a city) is decoded and tested once a value. Given up where the bytes
// seldom repeat (names), checked as a dictionary is.
class StoredVerdicts
{
public:
    // Whether the row the cursor found passes `keep`, which looks at its first `tested` cells
    // only; those cells are decoded when it does.
    bool admits(jet::TableCursor &rows, size_t tested, const std::function<bool(const std::vector<JetCell> &)> &keep)
    {
        if (tested != 1 || m_off) {
            rows.decode(0, tested);
            return keep(rows.cells());
        }
        return admitsByBytes(rows, keep);
    }

private:
    StoredIndex m_verdicts;
    size_t m_rows = 0; // rows tested by their bytes
    size_t m_trial = kDictionaryTrialRows;
    bool m_off = false;

    [[gnu::noinline]] bool admitsByBytes(jet::TableCursor &rows,
                                         const std::function<bool(const std::vector<JetCell> &)> &keep)
    {
        const uchar *p = nullptr;
        int size = 0;
        if (rows.stored(0, p, size) != jet::TableCursor::Stored::Bytes) {
            rows.decode(0, 1);
            return keep(rows.cells());
        }
        ++m_rows;
        const long known = m_verdicts.find(p, size_t(size));
        if (known == 0)
            return false;
        rows.decode(0, 1);
        if (known == 1)
            return true;
        const bool passes = keep(rows.cells());
        m_verdicts.add(p, size_t(size), passes ? 1 : 0);
        if (m_rows >= m_trial) {
            m_trial *= 2;
            if (m_verdicts.size() * 2 > m_rows) {
                m_off = true;
                m_verdicts.clear();
            }
        }
        return passes;
    }
};

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
            if (column->kind != StorageClass::Integer && column->kind != StorageClass::Real) {
                column->ends.push_back(0);
                // A few rows picked are kept plain: they are read once and let go.
                column->dictionary = !select;
            }
            m_out.push_back(std::move(column));
        }
        m_index.resize(m_out.size());
        m_known.assign(m_out.size(), kDecoded);
        m_bytesAt.resize(m_out.size());
        m_stored.resize(m_out.size());
        for (const auto &column : m_out)
            m_byBytes.push_back(column->dictionary);
        m_storedColumns = size_t(std::count(m_byBytes.begin(), m_byBytes.end(), true));
    }

    // The rows whose first `tested` cells `keep` accepts, each decoded further only then, kept
    // plain; their numbers in the table go to `found`.
    void fillMatching(jet::TableCursor &rows, size_t tested,
                      const std::function<bool(const std::vector<JetCell> &)> &keep, std::vector<uint32_t> &found)
    {
        for (size_t k = 0; k < m_out.size(); ++k) {
            m_out[k]->dictionary = false;
            m_byBytes[k] = false;
        }
        m_storedColumns = 0;
        StoredVerdicts verdicts;
        while (rows.advance()) {
            const size_t row = m_seen++;
            if (!verdicts.admits(rows, tested, keep))
                continue;
            rows.decode(tested, m_out.size());
            add(rows.cells());
            if (row > 0xFFFFFFFFu)
                throw std::bad_alloc();
            found.push_back(uint32_t(row));
        }
    }

    // Every row of the cursor, each decoded only when it is kept.
    void fill(jet::TableCursor &rows)
    {
        while (rows.advance()) {
            checkCancel();
            if (!selected(m_seen++))
                continue;
            if (m_storedColumns == 0)
                rows.decode();
            else
                decodeNew(rows);
            add(rows.cells());
        }
    }

    void setPause(const std::atomic<bool> *pause) { m_pause = pause; }
    int rows() const { return m_rows; }    // rows kept
    size_t seen() const { return m_seen; } // rows of the table met
    void addRows(int rows) { m_rows += rows; }
    std::vector<std::unique_ptr<DecodedColumn>> &columns() { return m_out; }

private:
    const std::atomic<bool> *m_cancel;
    const std::atomic<bool> *m_pause = nullptr;
    const std::atomic<bool> *m_abandon; // the other part of a split pass failed
    const std::vector<uint32_t> *m_select;
    size_t m_next = 0; // first entry of m_select not passed yet
    size_t m_seen = 0;
    std::vector<std::unique_ptr<DecodedColumn>> m_out;
    std::vector<TextIndex> m_index; // for each column in dictionary form
    int m_rows = 0;
    // The columns in dictionary form found by their stored bytes (m_byBytes, m_storedColumns of
    // them): the code each row's bytes had before (m_known), else kDecoded, or kNewBytes when
    // the cell was decoded for bytes first met (m_bytesAt), remembered in m_stored with its code.
    static constexpr long kDecoded = -1;
    static constexpr long kNewBytes = -2;
    std::vector<bool> m_byBytes;
    size_t m_storedColumns = 0;
    std::vector<long> m_known;
    std::vector<std::pair<const uchar *, int>> m_bytesAt;
    std::vector<StoredIndex> m_stored;

    // Decodes the cells of the row the cursor found whose stored bytes are new; those met
    // before keep their code in m_known.
    void decodeNew(jet::TableCursor &rows)
    {
        for (size_t k = 0; k < m_out.size(); ++k) {
            m_known[k] = kDecoded;
            if (m_byBytes[k]) {
                const uchar *p = nullptr;
                int size = 0;
                switch (rows.stored(k, p, size)) {
                case jet::TableCursor::Stored::Bytes: {
                    const long code = m_stored[k].find(p, size_t(size));
                    if (code >= 0) {
                        m_known[k] = code;
                        continue;
                    }
                    m_known[k] = kNewBytes;
                    m_bytesAt[k] = {p, size};
                    break;
                }
                case jet::TableCursor::Stored::Null: break;
                case jet::TableCursor::Stored::Other: stopByBytes(k); break;
                }
            }
            rows.decode(k, k + 1);
        }
    }
    void stopByBytes(size_t k)
    {
        if (m_byBytes[k]) {
            m_byBytes[k] = false;
            --m_storedColumns;
        }
        m_known[k] = kDecoded;
        m_stored[k].clear();
    }

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
            if (m_known[k] >= 0) {
                appendCode(out, size_t(m_known[k])); // bytes met before: a value, not null
                continue;
            }
            if (cell.isNull())
                out.nulls[word] |= bit;
            switch (out.kind) {
            case StorageClass::Integer: out.integers.push_back(cell.integer); break;
            case StorageClass::Real: out.reals.push_back(cell.real); break;
            default: {
                const std::string_view text = cell.isNull()                      ? std::string_view()
                                              : out.kind == StorageClass::Number ? decimalCellText(cell)
                                                                                 : std::string_view(cell.text);
                if (out.dictionary) {
                    const size_t code = addCoded(k, text);
                    if (m_known[k] == kNewBytes)
                        m_stored[k].add(m_bytesAt[k].first, size_t(m_bytesAt[k].second), uint32_t(code));
                } else
                    appendText(out, text.data(), text.size());
                break;
            }
            }
        }
        ++m_rows;
        if (size_t(m_rows) >= kDictionaryTrialRows && (m_rows & (m_rows - 1)) == 0)
            for (size_t k = 0; k < m_out.size(); ++k)
                if (m_out[k]->dictionary && m_out[k]->texts() * 2 > size_t(m_rows))
                    makePlain(k);
    }
    size_t addCoded(size_t k, std::string_view text)
    {
        DecodedColumn &out = *m_out[k];
        const size_t code = m_index[k].codeOf(out, text.data(), text.size());
        appendCode(out, code);
        return code;
    }
    void makePlain(size_t k)
    {
        toPlain(*m_out[k], size_t(m_rows));
        m_index[k].clear();
        stopByBytes(k);
    }

    // Every 64 rows, some tens of microseconds apart: a statement that makes the pass give way
    // waits for it (and for the processor it shares), and what the pass decodes after the
    // question is thrown away; asking costs two loads.
    void checkCancel()
    {
        if ((m_seen & 63) != 0)
            return;
        if (m_pause && m_pause->load(std::memory_order_relaxed))
            waitWhilePaused();
        if (cancelled())
            throw ColumnStore::Cancelled();
    }
    bool cancelled() const
    {
        return (m_cancel && m_cancel->load(std::memory_order_relaxed)) || m_abandon->load(std::memory_order_relaxed);
    }
    // A statement is being prepared: it either wants this very pass, which then goes on, or it
    // does not, and the pass is given up. Meanwhile the pass takes no processor from it. Should
    // nobody decide within 50 ms, the pass stops heeding the pause for good.
    void waitWhilePaused()
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
        while (m_pause->load(std::memory_order_relaxed) && !cancelled()) {
            if (std::chrono::steady_clock::now() >= until) {
                m_pause = nullptr;
                return;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
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
    col.codes.fit();
    col.wideCodes.fit();
}

QString changedFile(const QString &table)
{
    return QStringLiteral("数据库文件已被更改，表 '%1' 无法读取。").arg(table);
}

// The later part's texts added to the earlier part's dictionary, its codes remapped to those
// of the whole.
void mergeDictionaries(DecodedColumn &into, const DecodedColumn &from, size_t fromRows)
{
    TextIndex index;
    index.adoptAll(into);
    std::vector<uint32_t> remap(from.texts());
    for (size_t v = 0; v < from.texts(); ++v) {
        size_t size;
        const char *p = from.valueAt(v, size);
        remap[v] = uint32_t(index.codeOf(into, p, size));
    }
    if (into.wide)
        into.wideCodes.reserve(into.wideCodes.size() + fromRows);
    else
        into.codes.reserve(into.codes.size() + fromRows);
    for (size_t r = 0; r < fromRows; ++r)
        appendCode(into, remap[from.codeAt(r)]);
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
        if (into.dictionary && from.dictionary) {
            mergeDictionaries(into, from, fromRows);
            break;
        }
        // Either part went plain: the whole is plain.
        if (into.dictionary)
            toPlain(into, intoRows);
        if (from.dictionary) {
            into.ends.reserve(into.ends.size() + fromRows);
            for (size_t r = 0; r < fromRows; ++r) {
                size_t size;
                const char *p = from.textAt(r, size);
                appendText(into, p, size);
            }
            break;
        }
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

// The columns a pass read for some rows, finished. A whole pass meets the table's stored row
// count (the cursor checks it); one known from an earlier pass that differs, or rows asked for
// that are not there, mean another file.
std::vector<std::unique_ptr<DecodedColumn>> partOf(ColumnFiller &filler, int tableRows, const QString &table,
                                                   size_t wanted, size_t kept)
{
    if ((tableRows >= 0 && filler.seen() != size_t(tableRows)) || kept != wanted)
        throw EDatabaseError(changedFile(table));
    for (auto &col : filler.columns())
        finish(*col, kept);
    return std::move(filler.columns());
}

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
    : m_decodeLock(std::move(decodeLock)), m_file(std::move(file)), m_rows(std::move(rows)),
      m_verdicts(std::make_unique<StoredVerdicts>())
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
        if (m_verdicts->admits(*m_rows, tested, keep)) {
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

void ColumnStore::ensure(const std::vector<int> &columns, const std::atomic<bool> *cancel,
                         const std::atomic<bool> *pause)
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
    filler.setPause(pause);
    const std::unique_ptr<jet::TableCursor> rows = file().openTable(m_name, wanted);
    const size_t pages = rows->pageCount();
    // A statement's pass over one column (a first search's criterion) is mostly reading pages:
    // a second thread would cost more processor time than it saves. Several columns are split,
    // and so is any pass that reads ahead, so that the columns are there sooner.
    if (pages >= kSplitPages && (wanted.size() > 1 || cancel) && std::thread::hardware_concurrency() > 1) {
        // Pages are independent: the second half is read on a thread of its own, its rows put
        // after the first half's. Both cursors are opened here, before either reads.
        const std::unique_ptr<jet::TableCursor> laterRows = file().openTable(m_name, wanted);
        rows->keepPages(0, pages / 2);
        laterRows->keepPages(pages / 2, pages);
        ColumnFiller later(m_columns, wanted, cancel, &abandon);
        later.setPause(pause);
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

std::optional<std::vector<std::unique_ptr<DecodedColumn>>>
ColumnStore::decodeMatching(const std::vector<int> &columns, size_t tested,
                            const std::function<bool(const std::vector<JetCell> &)> &keep, std::vector<uint32_t> &rows,
                            const std::vector<int> &unlessDecoded) const
try {
    std::lock_guard<std::mutex> lock(*m_decodeLock);
    if (rowCount() >= 0 && std::all_of(unlessDecoded.begin(), unlessDecoded.end(), [&](int c) { return isDecoded(c); }))
        return std::nullopt;
    std::atomic<bool> abandon{false};
    ColumnFiller filler(m_columns, columns, nullptr, &abandon);
    rows.clear();
    filler.fillMatching(*file().openTable(m_name, columns), tested, keep, rows);
    return partOf(filler, rowCount(), m_name, rows.size(), rows.size());
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
    return partOf(filler, rowCount(), m_name, rows.size(), size_t(filler.rows()));
} catch (const jet::Error &e) {
    throw EDatabaseError(e);
}
