#include "data/NumberCompare.h"

#include <sqlite3.h>
#include <algorithm>
#include <cstring>
#include <string_view>

namespace jetnumber {
namespace {

// A decimal text split at its point, without sign and leading zeros.
struct Decimal
{
    bool negative = false;
    std::string_view whole;
    std::string_view fraction;
};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool parse(std::string_view s, Decimal &d)
{
    if (!s.empty() && s.front() == '-') {
        d.negative = true;
        s.remove_prefix(1);
    }
    const size_t point = s.find('.');
    d.whole = s.substr(0, point);
    d.fraction = point == std::string_view::npos ? std::string_view() : s.substr(point + 1);
    if (d.whole.empty() || !std::all_of(d.whole.begin(), d.whole.end(), isDigit)
        || !std::all_of(d.fraction.begin(), d.fraction.end(), isDigit)
        || (point != std::string_view::npos && d.fraction.empty()))
        return false;
    while (d.whole.size() > 1 && d.whole.front() == '0')
        d.whole.remove_prefix(1);
    while (!d.fraction.empty() && d.fraction.back() == '0')
        d.fraction.remove_suffix(1);
    if (d.whole == "0" && d.fraction.empty())
        d.negative = false; // -0 is 0
    return true;
}

// Compares magnitudes.
int compareMagnitude(const Decimal &a, const Decimal &b)
{
    if (a.whole.size() != b.whole.size())
        return a.whole.size() < b.whole.size() ? -1 : 1;
    if (const int c = a.whole.compare(b.whole))
        return c < 0 ? -1 : 1;
    const int c = a.fraction.compare(b.fraction); // no trailing zeros: plain order is by value
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int collate(void *, int na, const void *a, int nb, const void *b)
{
    return compare(static_cast<const char *>(a), size_t(na), static_cast<const char *>(b), size_t(nb));
}

} // namespace

int compare(const char *a, size_t na, const char *b, size_t nb)
{
    Decimal x;
    Decimal y;
    const bool xn = parse(std::string_view(a, na), x);
    const bool yn = parse(std::string_view(b, nb), y);
    if (!xn || !yn) {
        if (xn != yn)
            return xn ? -1 : 1;
        const int c = std::memcmp(a, b, std::min(na, nb));
        return c != 0 ? c : na < nb ? -1 : na > nb ? 1 : 0;
    }
    if (x.negative != y.negative)
        return x.negative ? -1 : 1;
    const int c = compareMagnitude(x, y);
    return x.negative ? -c : c;
}

int registerCollation(sqlite3 *db)
{
    return sqlite3_create_collation_v2(db, kCollation, SQLITE_UTF8, nullptr, collate, nullptr);
}

} // namespace jetnumber
