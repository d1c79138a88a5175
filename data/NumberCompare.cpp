#include "data/NumberCompare.h"

#include <QByteArray>
#include <QLocale>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sqlite3.h>
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

// A decimal as an integer count of 10^-scale; 38 digits at most.
struct Fixed
{
    __int128 units = 0;
    int scale = 0;
};

constexpr __int128 kLimit = __int128(1000000000000000000LL) * __int128(100000000000000000LL) * 10; // 10^36

bool toFixed(std::string_view s, Fixed &out)
{
    Decimal d;
    if (!parse(s, d) || d.whole.size() + d.fraction.size() > 36)
        return false;
    __int128 v = 0;
    for (char c : d.whole)
        v = v * 10 + (c - '0');
    for (char c : d.fraction)
        v = v * 10 + (c - '0');
    out.units = d.negative ? -v : v;
    out.scale = int(d.fraction.size());
    return true;
}

bool rescale(Fixed &f, int scale)
{
    for (; f.scale < scale; ++f.scale) {
        if (f.units >= kLimit || f.units <= -kLimit)
            return false;
        f.units *= 10;
    }
    return true;
}

bool add(Fixed &into, Fixed v)
{
    const int scale = std::max(into.scale, v.scale);
    if (!rescale(into, scale) || !rescale(v, scale))
        return false;
    into.units += v.units;
    return into.units < kLimit * 10 && into.units > -kLimit * 10;
}

std::string text(const Fixed &f)
{
    __int128 v = f.units < 0 ? -f.units : f.units;
    std::string digits;
    do {
        digits.insert(digits.begin(), char('0' + int(v % 10)));
        v /= 10;
    } while (v != 0);
    if (int(digits.size()) <= f.scale)
        digits.insert(0, size_t(f.scale + 1 - int(digits.size())), '0');
    std::string out = digits.substr(0, digits.size() - size_t(f.scale));
    std::string fraction = digits.substr(digits.size() - size_t(f.scale));
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    if (!fraction.empty())
        out += '.' + fraction;
    if (f.units < 0 && out != "0")
        out.insert(0, 1, '-');
    return out;
}

// sum(): exact while every value is an integer or a decimal text, doubles from the first double.
struct Sum
{
    long long count = 0;
    bool inexact = false; // a double met (or the exact total outgrew 38 digits)
    Fixed exact;
    double real = 0;
    bool onlyIntegers = true;
};

Sum *sumOf(sqlite3_context *ctx, bool create)
{
    auto **slot = static_cast<Sum **>(sqlite3_aggregate_context(ctx, create ? int(sizeof(Sum *)) : 0));
    if (!slot)
        return nullptr;
    if (!*slot && create)
        *slot = new (std::nothrow) Sum;
    return *slot;
}

void step(sqlite3_context *ctx, sqlite3_value *v, int sign)
{
    if (sqlite3_value_type(v) == SQLITE_NULL)
        return;
    Sum *s = sumOf(ctx, true);
    if (!s) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    s->count += sign;
    Fixed f;
    bool exact = false;
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        f.units = sqlite3_value_int64(v);
        exact = true;
        break;
    case SQLITE_FLOAT: s->onlyIntegers = false; break;
    default: {
        s->onlyIntegers = false;
        const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(v));
        exact = p && toFixed(std::string_view(p, size_t(sqlite3_value_bytes(v))), f);
        break;
    }
    }
    s->real += sign * sqlite3_value_double(v);
    if (!exact)
        s->inexact = true;
    if (s->inexact)
        return;
    f.units *= sign;
    if (!add(s->exact, f))
        s->inexact = true;
}

void sumStep(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    step(ctx, argv[0], 1);
}

void sumInverse(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    step(ctx, argv[0], -1);
}

void sumResult(sqlite3_context *ctx, const Sum *s)
{
    if (!s || s->count == 0) {
        sqlite3_result_null(ctx);
        return;
    }
    if (s->inexact) {
        sqlite3_result_double(ctx, s->real);
        return;
    }
    const std::string total = text(s->exact);
    if (total.find('.') == std::string::npos) {
        __int128 v = s->exact.units;
        for (int k = 0; k < s->exact.scale; ++k)
            v /= 10;
        if (v <= INT64_MAX && v >= INT64_MIN) {
            sqlite3_result_int64(ctx, sqlite3_int64(v));
            return;
        }
        if (s->onlyIntegers) { // as SQLite's own sum of integers
            sqlite3_result_error(ctx, "integer overflow", -1);
            return;
        }
    }
    const double d = std::strtod(total.c_str(), nullptr);
    if (QByteArray::number(d, 'f', QLocale::FloatingPointShortest).toStdString() == total)
        sqlite3_result_double(ctx, d);
    else
        sqlite3_result_text(ctx, total.c_str(), int(total.size()), SQLITE_TRANSIENT);
}

void sumValue(sqlite3_context *ctx)
{
    sumResult(ctx, sumOf(ctx, false));
}

void sumFinal(sqlite3_context *ctx)
{
    Sum *s = sumOf(ctx, false);
    sumResult(ctx, s);
    delete s;
}

} // namespace

bool addDecimals(const std::string &a, const std::string &b, std::string &total)
{
    Fixed x;
    Fixed y;
    if (!toFixed(a, x) || !toFixed(b, y) || !add(x, y))
        return false;
    total = text(x);
    return true;
}

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
    const int rc = sqlite3_create_collation_v2(db, kCollation, SQLITE_UTF8, nullptr, collate, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    return sqlite3_create_window_function(db, "sum", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, sumStep, sumFinal,
                                          sumValue, sumInverse, nullptr);
}

} // namespace jetnumber
