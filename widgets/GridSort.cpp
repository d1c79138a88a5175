#include "widgets/GridSort.h"

#include "base/Exception.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

namespace gridsort {

void Column::reserve(int rows, size_t bytes)
{
    m_ends.reserve(size_t(qMax(0, rows)));
    m_text.reserve(bytes);
}

void Column::append(std::string_view cell)
{
    m_text.append(cell);
    m_ends.push_back(m_text.size());
}

void Column::setValues(std::vector<std::string_view> values, std::vector<quint32> valueOfRow,
                       std::shared_ptr<const void> keep)
{
    m_text.clear();
    m_ends.clear();
    m_values = std::move(values);
    m_valueOfRow = std::move(valueOfRow);
    m_keep = std::move(keep);
    m_given = true;
}

void Column::setTexts(const char *text, const uint32_t *ends, std::vector<quint32> textOfRow,
                      std::shared_ptr<const void> keep)
{
    m_text.clear();
    m_ends.clear();
    m_texts = text ? text : "";
    m_textEnds = ends;
    m_valueOfRow = std::move(textOfRow);
    m_keep = std::move(keep);
}

namespace {

bool parseNumber(std::string_view s, double &value)
{
    if (s.empty() || s.size() > 64)
        return false;
    // from_chars takes no leading '+'; the engine never writes one, but a text column might.
    const char *begin = s.data();
    const char *end = s.data() + s.size();
    const auto r = std::from_chars(begin, end, value);
    return r.ec == std::errc() && r.ptr == end && std::isfinite(value);
}

int digits(std::string_view s, size_t at, size_t n, bool &ok)
{
    int v = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (i >= s.size() || s[i] < '0' || s[i] > '9') {
            ok = false;
            return 0;
        }
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

// yyyy-MM-dd or yyyy-MM-dd hh:mm:ss, as seconds from year 0 (only the order counts).
bool parseDate(std::string_view s, double &value)
{
    if (s.size() != 10 && s.size() != 19)
        return false;
    bool ok = true;
    const int y = digits(s, 0, 4, ok), mo = digits(s, 5, 2, ok), d = digits(s, 8, 2, ok);
    if (!ok || s[4] != '-' || s[7] != '-')
        return false;
    int h = 0, mi = 0, sec = 0;
    if (s.size() == 19) {
        h = digits(s, 11, 2, ok), mi = digits(s, 14, 2, ok), sec = digits(s, 17, 2, ok);
        if (!ok || s[10] != ' ' || s[13] != ':' || s[16] != ':')
            return false;
    }
    value = ((((double(y) * 13 + mo) * 32 + d) * 24 + h) * 60 + mi) * 60 + sec;
    return true;
}

// Ranks of distinct texts in the Chinese collation (pinyin order for Han characters, digits by
// value). Each text's collation key is made once, into one block; the keys are then sorted by
// their first eight bytes as a number, the rest compared only between keys that share those.
void textRanks(const std::vector<std::string_view> &texts, std::vector<quint32> &rank)
{
    UErrorCode status = U_ZERO_ERROR;
    UCollator *collator = ucol_open("zh", &status);
    if (U_FAILURE(status) || !collator)
        throw Exception(QStringLiteral("无法按中文排序：缺少中文排序规则"));
    ucol_setAttribute(collator, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
    struct Key
    {
        quint64 prefix;
        size_t offset; // of the whole key in `keys`, zero-terminated
        quint32 text;
    };
    std::vector<Key> order(texts.size());
    std::vector<uint8_t> keys;
    keys.reserve(texts.size() * 16);
    std::vector<UChar> utf16;
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::string_view t = texts[i];
        utf16.resize(t.size() + 1);
        int32_t length = 0;
        UErrorCode convert = U_ZERO_ERROR;
        u_strFromUTF8Lenient(utf16.data(), int32_t(utf16.size()), &length, t.data(), int32_t(t.size()), &convert);
        if (U_FAILURE(convert))
            length = 0;
        const size_t offset = keys.size();
        size_t room = std::max<size_t>(32, size_t(length) * 4 + 8);
        for (;;) {
            keys.resize(offset + room);
            const int32_t needed = ucol_getSortKey(collator, utf16.data(), length, keys.data() + offset, int32_t(room));
            if (needed > 0 && size_t(needed) <= room) {
                keys.resize(offset + size_t(needed));
                break;
            }
            room = size_t(std::max(needed, int32_t(room) * 2));
        }
        quint64 prefix = 0;
        for (size_t b = 0; b < 8; ++b)
            prefix = prefix << 8 | (offset + b < keys.size() ? keys[offset + b] : 0);
        order[i] = {prefix, offset, quint32(i)};
    }
    ucol_close(collator);
    const auto *block = reinterpret_cast<const char *>(keys.data());
    std::sort(order.begin(), order.end(), [&](const Key &a, const Key &b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        const int c = std::strcmp(block + a.offset, block + b.offset);
        // Texts the collation finds equal in byte order, so the order never depends on the
        // statement's.
        return c != 0 ? c < 0 : texts[a.text] < texts[b.text];
    });
    for (size_t i = 0; i < order.size(); ++i)
        rank[order[i].text] = quint32(i);
}

// The kind of the filled cells: every one a number, every one a date, or text. Those of the
// distinct values decide it.
Kind kindOf(const std::vector<std::string_view> &values)
{
    bool number = true, date = true, any = false;
    double v;
    for (size_t i = 0; i < values.size() && (number || date); ++i) {
        const std::string_view s = values[i];
        if (s.empty())
            continue;
        any = true;
        number = number && parseNumber(s, v);
        date = date && parseDate(s, v);
    }
    if (!any)
        return Kind::Text;
    return number ? Kind::Number : date ? Kind::Date : Kind::Text;
}

constexpr quint32 kEmpty = Column::kNone;

// The distinct filled values of a column given a text a row, and each row's (kEmpty: an empty
// cell); the values' texts are kept in `packed`.
void findValues(const Column &cells, std::string &packed, std::vector<std::string_view> &distinct,
                std::vector<quint32> &valueOfRow)
{
    const int rows = cells.size();
    valueOfRow.assign(size_t(rows), kEmpty);
    // An open-addressing table of the values found, grown with them, kept at most three quarters
    // full. A slot holds a value's hash, size and first 16 bytes (a name of up to five Han
    // characters whole), so that a row is matched by one wait for memory: five million names
    // with 600,000 distinct spent most of their sort waiting when a row was compared with its
    // value's text where the texts lie, after the slot had given its number.
    struct Slot
    {
        char head[16]; // the text's first bytes, zeros after its end
        quint64 hash;
        quint32 size;
        quint32 value; // + 1; 0: free
    };
    static_assert(sizeof(Slot) == 32, "two slots a cache line");
    std::vector<size_t> ends{0};
    size_t capacity = size_t(1) << 12;
    std::vector<Slot> table(capacity, Slot{});
    auto headOf = [](std::string_view s, char(&head)[16]) {
        std::memset(head, 0, sizeof head);
        std::memcpy(head, s.data(), std::min(s.size(), sizeof head));
    };
    const std::hash<std::string_view> hash;
    // Rows are hashed some ahead and their slots asked of memory before they are looked at, so
    // that the waits of several rows overlap.
    constexpr int kAhead = 8;
    size_t aheadHash[kAhead];
    auto ask = [&](int r) {
        const size_t h = hash(cells.at(r));
        aheadHash[r % kAhead] = h;
        __builtin_prefetch(table.data() + (h & (capacity - 1)));
    };
    for (int r = 0; r < kAhead && r < rows; ++r)
        ask(r);
    for (int r = 0; r < rows; ++r) {
        const std::string_view s = cells.at(r);
        const size_t h = aheadHash[r % kAhead];
        if (r + kAhead < rows)
            ask(r + kAhead);
        if (s.empty())
            continue;
        char head[16];
        headOf(s, head);
        for (size_t at = h & (capacity - 1);; at = (at + 1) & (capacity - 1)) {
            Slot &slot = table[at];
            if (slot.value == 0) {
                const auto value = quint32(ends.size() - 1);
                packed.append(s);
                ends.push_back(packed.size());
                std::memcpy(slot.head, head, sizeof head);
                slot.hash = h;
                slot.size = quint32(s.size());
                slot.value = value + 1;
                valueOfRow[size_t(r)] = value;
                if ((ends.size() - 1) * 4 > capacity * 3) {
                    const std::vector<Slot> old = std::move(table);
                    capacity *= 2;
                    table.assign(capacity, Slot{});
                    for (const Slot &o : old) {
                        if (o.value == 0)
                            continue;
                        size_t to = o.hash & (capacity - 1);
                        while (table[to].value != 0)
                            to = (to + 1) & (capacity - 1);
                        table[to] = o;
                    }
                    // The rows hashed ahead asked for their slots in the smaller table.
                    for (int k = r + 1; k <= r + kAhead && k < rows; ++k)
                        __builtin_prefetch(table.data() + (aheadHash[k % kAhead] & (capacity - 1)));
                }
                break;
            }
            if (slot.hash == h && slot.size == s.size() && std::memcmp(slot.head, head, sizeof head) == 0
                && (s.size() <= sizeof head
                    || std::memcmp(packed.data() + ends[slot.value - 1] + sizeof head, s.data() + sizeof head,
                                   s.size() - sizeof head)
                           == 0)) {
                valueOfRow[size_t(r)] = slot.value - 1;
                break;
            }
        }
    }
    table = {};
    distinct.resize(ends.size() - 1);
    for (size_t v = 0; v < distinct.size(); ++v)
        distinct[v] = std::string_view(packed.data() + ends[v], ends[v + 1] - ends[v]);
}

// The same for a column given as values: those some row has, each once, in the order rows first
// have them. Values no row has (a result of some rows of a table) are not ranked.
void usedValues(const Column &cells, std::vector<std::string_view> &distinct, std::vector<quint32> &valueOfRow)
{
    const std::vector<std::string_view> &values = cells.values();
    std::vector<quint32> renumbered(values.size(), kEmpty);
    valueOfRow = cells.valueOfRow();
    for (quint32 &v : valueOfRow) {
        if (v == kEmpty)
            continue;
        if (values[v].empty()) {
            v = kEmpty;
            continue;
        }
        if (renumbered[v] == kEmpty) {
            renumbered[v] = quint32(distinct.size());
            distinct.push_back(values[v]);
        }
        v = renumbered[v];
    }
}

// A bucket a row, counted, then each row put at its bucket's next place. With many buckets
// (five million names, 600,000 distinct) those places lie all over the result and nearly every
// row waits for memory: radixSort below then.
void countingSort(const std::vector<quint32> &bucketOf, quint64 buckets, int *result)
{
    std::vector<size_t> start(size_t(buckets) + 1, 0);
    for (quint32 b : bucketOf)
        ++start[b + 1];
    for (size_t b = 1; b < start.size(); ++b)
        start[b] += start[b - 1];
    for (size_t r = 0; r < bucketOf.size(); ++r)
        result[start[bucketOf[r]]++] = int(r);
}

// The same order in two stable passes, the low kRadixBits of the bucket first, then the rest:
// the first pass writes to kRadix places at once, as many as the caches hold, and so does the
// second for up to four million buckets (beyond, it is one counting pass over fewer places).
constexpr quint32 kRadixBits = 11;
constexpr quint32 kRadix = 1u << kRadixBits;
void radixSort(const std::vector<quint32> &bucketOf, quint64 buckets, int *result)
{
    std::vector<size_t> low(kRadix + 1, 0), high(size_t((buckets - 1) >> kRadixBits) + 2, 0);
    for (quint32 b : bucketOf) {
        ++low[(b & (kRadix - 1)) + 1];
        ++high[(b >> kRadixBits) + 1];
    }
    for (size_t d = 1; d < low.size(); ++d)
        low[d] += low[d - 1];
    for (size_t d = 1; d < high.size(); ++d)
        high[d] += high[d - 1];
    std::vector<quint64> byLow(bucketOf.size());
    for (size_t r = 0; r < bucketOf.size(); ++r) {
        const quint32 b = bucketOf[r];
        byLow[low[b & (kRadix - 1)]++] = quint64(b >> kRadixBits) << 32 | r;
    }
    for (const quint64 e : byLow)
        result[high[e >> 32]++] = int(quint32(e));
}

} // namespace

QVector<int> order(const Column &cells, bool descending)
{
    const int rows = cells.size();
    // Each distinct filled value once: a result of a million rows repeats its cities and
    // provinces, and the collation key, the costly part, is made per distinct value.
    std::string packed;
    std::vector<std::string_view> distinct;
    std::vector<quint32> valueOfRow;
    if (cells.hasValues())
        usedValues(cells, distinct, valueOfRow);
    else
        findValues(cells, packed, distinct, valueOfRow);

    // The distinct values in order; equal ones (1 and 1.0) share a rank.
    std::vector<quint32> sorted(distinct.size());
    for (size_t i = 0; i < sorted.size(); ++i)
        sorted[i] = quint32(i);
    std::vector<quint32> rank(distinct.size());
    const Kind kind = kindOf(distinct);
    if (kind == Kind::Text) {
        textRanks(distinct, rank);
    } else {
        std::vector<double> value(distinct.size());
        for (size_t i = 0; i < distinct.size(); ++i) {
            if (kind == Kind::Number)
                parseNumber(distinct[i], value[i]);
            else
                parseDate(distinct[i], value[i]);
        }
        std::sort(sorted.begin(), sorted.end(), [&](quint32 a, quint32 b) { return value[a] < value[b]; });
        quint32 r = 0;
        for (size_t i = 0; i < sorted.size(); ++i) {
            if (i > 0 && value[sorted[i]] != value[sorted[i - 1]])
                ++r;
            rank[sorted[i]] = r;
        }
    }
    const quint32 ranks = distinct.empty() ? 0 : *std::max_element(rank.begin(), rank.end()) + 1;

    // Stable either way, so equal cells keep the statement's order; the empty cells take the
    // last bucket in either direction.
    std::vector<quint32> bucketOf = std::move(valueOfRow);
    for (quint32 &v : bucketOf)
        v = v == kEmpty ? ranks : descending ? ranks - 1 - rank[v] : rank[v];
    QVector<int> result(rows);
    const quint64 buckets = quint64(ranks) + 1;
    if (buckets <= kRadix)
        countingSort(bucketOf, buckets, result.data());
    else
        radixSort(bucketOf, buckets, result.data());
    return result;
}

} // namespace gridsort
