#include "widgets/GridSort.h"

#include <QCollator>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <unordered_map>

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

std::string_view Column::at(int row) const
{
    const size_t begin = row == 0 ? 0 : m_ends[size_t(row) - 1];
    return std::string_view(m_text.data() + begin, m_ends[size_t(row)] - begin);
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

} // namespace

Kind kindOf(const Column &cells)
{
    bool number = true, date = true, any = false;
    double v;
    for (int r = 0; r < cells.size() && (number || date); ++r) {
        const std::string_view s = cells.at(r);
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

QVector<int> order(const Column &cells, bool descending)
{
    const int rows = cells.size();
    // Each distinct filled value once: a result of a million rows repeats its cities and
    // provinces, and the collation key, the costly part, is made per distinct value.
    constexpr quint32 kEmpty = std::numeric_limits<quint32>::max();
    std::unordered_map<std::string_view, quint32> distinctOf;
    distinctOf.reserve(size_t(rows) / 2 + 16);
    std::vector<std::string_view> distinct;
    std::vector<quint32> valueOfRow(size_t(rows), kEmpty);
    for (int r = 0; r < rows; ++r) {
        const std::string_view s = cells.at(r);
        if (s.empty())
            continue;
        const auto [it, added] = distinctOf.try_emplace(s, quint32(distinct.size()));
        if (added)
            distinct.push_back(s);
        valueOfRow[size_t(r)] = it->second;
    }
    distinctOf = {};

    // The distinct values in order; equal ones (1 and 1.0) share a rank.
    std::vector<quint32> sorted(distinct.size());
    for (size_t i = 0; i < sorted.size(); ++i)
        sorted[i] = quint32(i);
    std::vector<quint32> rank(distinct.size());
    const Kind kind = kindOf(cells);
    if (kind == Kind::Text) {
        QCollator collator(QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China));
        collator.setNumericMode(true);
        std::vector<QCollatorSortKey> keys;
        keys.reserve(distinct.size());
        for (std::string_view s : distinct)
            keys.push_back(collator.sortKey(QString::fromUtf8(s.data(), qsizetype(s.size()))));
        std::sort(sorted.begin(), sorted.end(), [&](quint32 a, quint32 b) {
            const int c = keys[a].compare(keys[b]);
            // Texts the collation finds equal (differing in width or case only) in byte order,
            // so the order never depends on the statement's.
            return c != 0 ? c < 0 : distinct[a] < distinct[b];
        });
        for (size_t i = 0; i < sorted.size(); ++i)
            rank[sorted[i]] = quint32(i);
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

    // A counting sort on the ranks: stable, so equal cells keep the statement's order; the
    // empty cells take the last bucket in either direction.
    std::vector<int> start(size_t(ranks) + 2, 0);
    auto bucket = [&](int row) -> size_t {
        const quint32 v = valueOfRow[size_t(row)];
        if (v == kEmpty)
            return ranks;
        return descending ? ranks - 1 - rank[v] : rank[v];
    };
    for (int r = 0; r < rows; ++r)
        ++start[bucket(r) + 1];
    for (size_t b = 1; b < start.size(); ++b)
        start[b] += start[b - 1];
    QVector<int> result(rows);
    for (int r = 0; r < rows; ++r)
        result[start[bucket(r)]++] = r;
    return result;
}

} // namespace gridsort
