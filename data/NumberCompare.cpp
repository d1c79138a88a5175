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

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool equalsFolded(std::string_view s, std::string_view lower)
{
    if (s.size() != lower.size())
        return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (char(s[i] | 0x20) != lower[i])
            return false;
    return true;
}

// A number as any text SQLite reads as one ("  +1.5e3 ", ".5", "1.0e+23") or writes for an
// infinite double ("Inf", "-Inf"): its significant digits d1 d2 ... (no zeros at either end)
// and the power `exponent` with value = 0.d1d2... * 10^exponent. Nothing is copied.
struct Number
{
    int infinite = 0; // -1 or +1 for the infinities
    bool negative = false;
    std::string_view whole;    // the digits before the point, as written
    std::string_view fraction; // and after it
    size_t first = 0;          // the significant digits: [first, last) of whole + fraction
    size_t last = 0;
    long long exponent = 0;

    char digit(size_t i) const { return i < whole.size() ? whole[i] : fraction[i - whole.size()]; }
    bool zero() const { return infinite == 0 && first == last; }
};

bool parseNumber(std::string_view s, Number &n)
{
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        n.negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (equalsFolded(s, "inf") || equalsFolded(s, "infinity")) {
        n.infinite = n.negative ? -1 : 1;
        return true;
    }
    size_t i = 0;
    while (i < s.size() && isDigit(s[i]))
        ++i;
    n.whole = s.substr(0, i);
    if (i < s.size() && s[i] == '.') {
        const size_t start = ++i;
        while (i < s.size() && isDigit(s[i]))
            ++i;
        n.fraction = s.substr(start, i - start);
    }
    if (n.whole.empty() && n.fraction.empty())
        return false;
    long long power = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool down = false;
        if (i < s.size() && (s[i] == '-' || s[i] == '+'))
            down = s[i++] == '-';
        if (i == s.size() || !isDigit(s[i]))
            return false;
        for (; i < s.size() && isDigit(s[i]); ++i)
            power = std::min(power * 10 + (s[i] - '0'), 1000000000LL); // far beyond any digits
        if (down)
            power = -power;
    }
    if (i != s.size())
        return false;
    const size_t count = n.whole.size() + n.fraction.size();
    n.first = 0;
    while (n.first < count && n.digit(n.first) == '0')
        ++n.first;
    n.last = count;
    while (n.last > n.first && n.digit(n.last - 1) == '0')
        --n.last;
    n.exponent = (long long)n.whole.size() - (long long)n.first + power;
    if (n.zero())
        n.negative = false; // -0 is 0
    return true;
}

int sign(const Number &n)
{
    if (n.infinite)
        return n.infinite * 2;
    return n.zero() ? 0 : n.negative ? -1 : 1;
}

int compareNumbers(const Number &x, const Number &y)
{
    const int sx = sign(x);
    const int sy = sign(y);
    if (sx != sy)
        return sx < sy ? -1 : 1;
    if (sx == 0 || x.infinite)
        return 0;
    int c = 0; // of the magnitudes
    if (x.exponent != y.exponent) {
        c = x.exponent < y.exponent ? -1 : 1;
    } else {
        size_t i = x.first;
        size_t j = y.first;
        for (; c == 0 && i < x.last && j < y.last; ++i, ++j)
            c = x.digit(i) < y.digit(j) ? -1 : x.digit(i) > y.digit(j) ? 1 : 0;
        if (c == 0)
            c = i < x.last ? 1 : j < y.last ? -1 : 0;
    }
    return x.negative ? -c : c;
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

// An exact value: a double where its shortest form is the value, else the exact text.
void exactResult(sqlite3_context *ctx, const Fixed &value)
{
    const std::string total = text(value);
    const double d = std::strtod(total.c_str(), nullptr);
    if (QByteArray::number(d, 'f', QLocale::FloatingPointShortest).toStdString() == total)
        sqlite3_result_double(ctx, d);
    else
        sqlite3_result_text(ctx, total.c_str(), int(total.size()), SQLITE_TRANSIENT);
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
    __int128 whole = s->exact.units;
    bool fraction = false;
    for (int k = 0; k < s->exact.scale; ++k) {
        fraction = fraction || whole % 10 != 0;
        whole /= 10;
    }
    if (!fraction) {
        if (whole <= INT64_MAX && whole >= INT64_MIN) {
            sqlite3_result_int64(ctx, sqlite3_int64(whole));
            return;
        }
        if (s->onlyIntegers) { // as SQLite's own sum of integers
            sqlite3_result_error(ctx, "integer overflow", -1);
            return;
        }
    }
    exactResult(ctx, s->exact);
}

// The exact total divided by the count, rounded half to even to four places as Access averages
// Currency (a Decimal of more places keeps them). Integers alone average as SQLite's avg().
void avgResult(sqlite3_context *ctx, const Sum *s)
{
    if (!s || s->count == 0) {
        sqlite3_result_null(ctx);
        return;
    }
    if (s->inexact || s->onlyIntegers) {
        const double total = s->inexact ? s->real : double(s->exact.units);
        sqlite3_result_double(ctx, total / double(s->count));
        return;
    }
    Fixed quotient = s->exact;
    if (!rescale(quotient, std::max(4, quotient.scale))) {
        sqlite3_result_double(ctx, s->real / double(s->count));
        return;
    }
    const __int128 count = s->count;
    const __int128 q = quotient.units / count;
    const __int128 r = quotient.units % count; // takes the sign of the total
    const __int128 twice = (r < 0 ? -r : r) * 2;
    quotient.units = q;
    if (twice > count || (twice == count && q % 2 != 0))
        quotient.units += q < 0 || r < 0 ? -1 : 1; // away from zero
    exactResult(ctx, quotient);
}

// A result out of memory is SQLite's own failure: nothing may unwind through its frames.
template <class Result>
void finish(sqlite3_context *ctx, const Sum *s, Result result)
{
    try {
        result(ctx, s);
    } catch (...) {
        sqlite3_result_error_nomem(ctx);
    }
}

void sumValue(sqlite3_context *ctx)
{
    finish(ctx, sumOf(ctx, false), sumResult);
}

void sumFinal(sqlite3_context *ctx)
{
    Sum *s = sumOf(ctx, false);
    finish(ctx, s, sumResult);
    delete s;
}

void avgValue(sqlite3_context *ctx)
{
    finish(ctx, sumOf(ctx, false), avgResult);
}

void avgFinal(sqlite3_context *ctx)
{
    Sum *s = sumOf(ctx, false);
    finish(ctx, s, avgResult);
    delete s;
}

// Unary minus that keeps every digit of an exact decimal's text; other values as SQLite's own.
void negate(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    sqlite3_value *v = argv[0];
    switch (sqlite3_value_type(v)) {
    case SQLITE_NULL: sqlite3_result_null(ctx); return;
    case SQLITE_INTEGER: {
        const sqlite3_int64 i = sqlite3_value_int64(v);
        if (i == INT64_MIN)
            sqlite3_result_double(ctx, -double(i));
        else
            sqlite3_result_int64(ctx, -i);
        return;
    }
    case SQLITE_FLOAT: sqlite3_result_double(ctx, -sqlite3_value_double(v)); return;
    default: break;
    }
    const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(v));
    const size_t n = size_t(sqlite3_value_bytes(v));
    Decimal d;
    if (!p || !parse(std::string_view(p, n), d)) {
        // Text that is no exact decimal: its number, as SQLite's arithmetic reads it.
        const double real = sqlite3_value_double(v);
        if (real >= -9.2e18 && real <= 9.2e18 && real == double(sqlite3_int64(real)))
            sqlite3_result_int64(ctx, -sqlite3_int64(real));
        else
            sqlite3_result_double(ctx, -real);
        return;
    }
    if (d.whole == "0" && d.fraction.empty()) {
        sqlite3_result_text(ctx, "0", 1, SQLITE_STATIC);
        return;
    }
    if (p[0] == '-') {
        sqlite3_result_text(ctx, p + 1, int(n - 1), SQLITE_TRANSIENT);
        return;
    }
    char *out = static_cast<char *>(sqlite3_malloc64(n + 1));
    if (!out) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    out[0] = '-';
    std::memcpy(out + 1, p, n);
    sqlite3_result_text(ctx, out, int(n + 1), sqlite3_free);
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
    Number x;
    Number y;
    const bool xn = parseNumber(std::string_view(a, na), x);
    const bool yn = parseNumber(std::string_view(b, nb), y);
    if (!xn || !yn) {
        if (xn != yn)
            return xn ? -1 : 1;
        const int c = std::memcmp(a, b, std::min(na, nb));
        return c != 0 ? c : na < nb ? -1 : na > nb ? 1 : 0;
    }
    return compareNumbers(x, y);
}

int registerCollation(sqlite3 *db)
{
    int rc = sqlite3_create_collation_v2(db, kCollation, SQLITE_UTF8, nullptr, collate, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    rc = sqlite3_create_window_function(db, "sum", 1, flags, nullptr, sumStep, sumFinal, sumValue, sumInverse, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_window_function(db, "avg", 1, flags, nullptr, sumStep, avgFinal, avgValue, sumInverse,
                                            nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, kNegate, 1, flags | SQLITE_INNOCUOUS, nullptr, negate, nullptr, nullptr,
                                        nullptr);
    return rc;
}

} // namespace jetnumber
