// LIKE and text comparison without regard to case, checked against a slow reference: the
// pattern and the texts are decoded into characters first, LIKE is matched by stepping a set of
// reachable positions token by token, and order is the plain order of the case-folded
// characters. Both are also checked through SQLite, where the engine calls them, and the tables'
// own tests that may decide a constraint without SQLite (jetvtab::Prefilter) against both.
//
// Input: one byte choosing the escape character, then up to three parts divided by NUL bytes:
// the pattern, a value, and a second value the first is compared with.
#include "fuzz/FuzzSupport.h"

#include "data/NumberCompare.h"
#include "data/Prefilter.h"
#include "data/TextCompare.h"

#include <QChar>
#include <sqlite3.h>

#include <string>
#include <vector>

namespace {

using Units = std::vector<char32_t>;

// A byte that does not begin a valid UTF-8 sequence is a character of its own.
constexpr char32_t kInvalid = 0x110000;

Units decode(const std::string &s)
{
    Units out;
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int len = 0;
        char32_t cp = 0;
        char32_t least = 0;
        if (c < 0x80) {
            len = 1;
            cp = c;
        } else if (c >= 0xC0 && c < 0xE0) {
            len = 2;
            cp = c & 0x1F;
            least = 0x80;
        } else if (c >= 0xE0 && c < 0xF0) {
            len = 3;
            cp = c & 0x0F;
            least = 0x800;
        } else if (c >= 0xF0 && c < 0xF8) {
            len = 4;
            cp = c & 0x07;
            least = 0x10000;
        }
        bool ok = len > 0 && i + size_t(len) <= s.size();
        for (int k = 1; ok && k < len; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + size_t(k)]);
            ok = (d & 0xC0) == 0x80;
            cp = (cp << 6) | (d & 0x3F);
        }
        ok = ok && cp >= least && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        if (ok) {
            out.push_back(cp);
            i += size_t(len);
        } else {
            out.push_back(kInvalid + c);
            ++i;
        }
    }
    return out;
}

std::string encode(const Units &units)
{
    std::string out;
    for (const char32_t u : units) {
        if (u >= kInvalid) {
            out += char(u - kInvalid);
        } else {
            const QByteArray b = QString::fromUcs4(&u, 1).toUtf8();
            out.append(b.constData(), size_t(b.size()));
        }
    }
    return out;
}

char32_t fold(char32_t u)
{
    return u >= kInvalid ? u : QChar::toCaseFolded(u);
}

Units folded(const std::string &s)
{
    Units u = decode(s);
    for (char32_t &c : u)
        c = fold(c);
    return u;
}

int slowCompare(const std::string &a, const std::string &b)
{
    const Units x = folded(a);
    const Units y = folded(b);
    return x < y ? -1 : y < x ? 1 : 0;
}

struct Token
{
    enum Kind { Char, AnyOne, AnyRun, List } kind = Char;
    char32_t c = 0; // Char: folded
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges; // List: folded ends

    bool accepts(char32_t folded) const
    {
        if (kind == AnyOne)
            return true;
        if (kind == Char)
            return folded == c;
        bool in = false;
        for (const auto &r : ranges)
            if (folded >= r.first && folded <= r.second)
                in = true;
        return in != negated;
    }
};

struct SlowLike
{
    bool matches = false;
    bool malformed = false;
};

SlowLike slowLike(const std::string &pattern, const std::string &value, char32_t escape)
{
    const Units p = decode(pattern);
    std::vector<Token> tokens;
    for (size_t i = 0; i < p.size(); ++i) {
        Token t;
        if (escape != 0 && p[i] == escape) {
            if (i + 1 == p.size())
                return {}; // nothing left to escape: matches nothing
            t.c = fold(p[++i]);
        } else if (p[i] == '%') {
            t.kind = Token::AnyRun;
        } else if (p[i] == '_') {
            t.kind = Token::AnyOne;
        } else if (p[i] == '[') {
            t.kind = Token::List;
            size_t j = i + 1;
            if (j < p.size() && p[j] == '!') {
                t.negated = true;
                ++j;
            }
            Units members;
            while (j < p.size() && p[j] != ']')
                members.push_back(p[j++]);
            if (j == p.size())
                return {false, true};
            i = j;
            for (size_t k = 0; k < members.size(); ++k) {
                if (k + 2 < members.size() && members[k + 1] == '-') {
                    const char32_t lo = fold(members[k]);
                    const char32_t hi = fold(members[k + 2]);
                    t.ranges.emplace_back(std::min(lo, hi), std::max(lo, hi));
                    k += 2;
                } else {
                    t.ranges.emplace_back(fold(members[k]), fold(members[k]));
                }
            }
        } else {
            t.c = fold(p[i]);
        }
        tokens.push_back(t);
    }
    const Units v = folded(value);
    // reach[k]: the pattern so far can end right before character k of the value.
    std::vector<char> reach(v.size() + 1, 0);
    reach[0] = 1;
    for (const Token &t : tokens) {
        std::vector<char> next(v.size() + 1, 0);
        if (t.kind == Token::AnyRun) {
            char any = 0;
            for (size_t k = 0; k <= v.size(); ++k)
                next[k] = any = char(any | reach[k]);
        } else {
            for (size_t k = 0; k < v.size(); ++k)
                if (reach[k] && t.accepts(v[k]))
                    next[k + 1] = 1;
        }
        reach.swap(next);
    }
    return {reach[v.size()] != 0, false};
}

// A pattern that matches exactly the texts equal to `text` without regard to case.
std::string literalPattern(const std::string &text)
{
    std::string out;
    for (const char32_t u : decode(text)) {
        const std::string c = encode({u});
        if (u == '%' || u == '_' || u == '[')
            out += '[' + c + ']';
        else
            out += c;
    }
    return out;
}

sqlite3 *database()
{
    static sqlite3 *db = [] {
        sqlite3 *d = nullptr;
        if (sqlite3_open_v2(":memory:", &d, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK
            || jettext::registerFunctions(d) != SQLITE_OK)
            fuzz::fail("cannot set up SQLite");
        return d;
    }();
    return db;
}

// The LIKE operator through SQLite, as the engine runs it: 1 or 0, or -1 when the statement
// fails with the malformed pattern's message.
int sqlLike(const std::string &pattern, const std::string &value, const std::string &escape)
{
    static sqlite3_stmt *plain = nullptr;
    static sqlite3_stmt *escaped = nullptr;
    sqlite3_stmt *&stmt = escape.empty() ? plain : escaped;
    if (!stmt) {
        const char *sql = escape.empty() ? "SELECT ?2 LIKE ?1" : "SELECT ?2 LIKE ?1 ESCAPE ?3";
        if (sqlite3_prepare_v2(database(), sql, -1, &stmt, nullptr) != SQLITE_OK)
            fuzz::fail("cannot prepare the LIKE statement", QString::fromUtf8(sqlite3_errmsg(database())));
    }
    sqlite3_bind_text(stmt, 1, pattern.data(), int(pattern.size()), SQLITE_STATIC);
    sqlite3_bind_text(stmt, 2, value.data(), int(value.size()), SQLITE_STATIC);
    if (!escape.empty())
        sqlite3_bind_text(stmt, 3, escape.data(), int(escape.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(stmt);
    int result = -1;
    if (rc == SQLITE_ROW)
        result = sqlite3_column_int(stmt, 0);
    else
        fuzz::check(std::string(sqlite3_errmsg(database())) == jettext::kBadPattern, "LIKE through SQLite failed",
                    QString::fromUtf8(sqlite3_errmsg(database())));
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    return result;
}

QString show(const std::string &s)
{
    return QString::fromLatin1(QByteArray(s.data(), qsizetype(s.size())).toHex(' '));
}

int sign(int x)
{
    return x < 0 ? -1 : x > 0 ? 1 : 0;
}

std::string negated(const std::string &d)
{
    return d.empty() || d[0] != '-' ? "-" + d : d.substr(1);
}

// The order of exact decimals against their arithmetic: a < b exactly when a + (-b) < 0; a
// text that is not a decimal sorts after every one; the order is antisymmetric.
void checkNumbers(const std::string &a, const std::string &b)
{
    const QString pair = QStringLiteral("%1 and %2").arg(show(a), show(b));
    const int cmp = sign(jetnumber::compare(a.data(), a.size(), b.data(), b.size()));
    fuzz::check(sign(jetnumber::compare(b.data(), b.size(), a.data(), a.size())) == -cmp,
                "the decimal order is not symmetric", pair);
    // Both must be decimals: the negation of a text that is none ("--1") can be one.
    std::string zero;
    const bool both = jetnumber::addDecimals(a, "0", zero) && jetnumber::addDecimals(b, "0", zero);
    std::string difference;
    if (both && jetnumber::addDecimals(a, negated(b), difference)) {
        const int want = difference == "0" ? 0 : difference[0] == '-' ? -1 : 1;
        fuzz::check(cmp == want, "the decimal order disagrees with subtraction", pair);
        // The difference may have one digit more than an exact operand may (37): adding it back is
        // then refused, as any operand that long is.
        std::string back;
        if (jetnumber::addDecimals(difference, b, back))
            fuzz::check(jetnumber::compare(back.data(), back.size(), a.data(), a.size()) == 0,
                        "adding back the difference does not give the number", pair);
    }
    std::string sum1;
    std::string sum2;
    if (jetnumber::addDecimals(a, b, sum1))
        fuzz::check(jetnumber::addDecimals(b, a, sum2) && sum1 == sum2, "decimal addition is not commutative", pair);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    static const char32_t escapes[] = {0, 0, 0, U'\\', U'!', U'%', U'[', U'é'};
    const char32_t escape = escapes[data[0] & 7];
    std::string parts[3];
    int at = 0;
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0 && at < 2)
            ++at;
        else
            parts[at] += char(data[i]);
    }
    const std::string &pattern = parts[0];
    const std::string &value = parts[1];
    const std::string &other = parts[2];
    const QString what = QStringLiteral("pattern %1 value %2 escape U+%3")
                             .arg(show(pattern), show(value), QString::number(uint(escape), 16));

    bool malformed = false;
    const bool got = jettext::like(pattern.data(), pattern.size(), value.data(), value.size(), escape, &malformed);
    const SlowLike want = slowLike(pattern, value, escape);
    fuzz::check(malformed == want.malformed, "LIKE takes a pattern for malformed wrongly", what);
    fuzz::check(got == want.matches, want.matches ? "LIKE misses a match" : "LIKE matches what does not", what);

    // SQLite refuses patterns beyond its length limit before our function sees them.
    if (pattern.size() <= size_t(sqlite3_limit(database(), SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1))) {
        const std::string escapeText = escape ? encode({escape}) : std::string();
        const int viaSql = sqlLike(pattern, value, escapeText);
        fuzz::check(viaSql == (want.malformed ? -1 : int(want.matches)), "LIKE through SQLite differs", what);
    }

    // A table's test that SQLite leaves the constraint to (no escape: the plain LIKE) must find
    // exactly the rows the constraint holds for; one that only narrows must miss none.
    if (!escape) {
        jetvtab::Prefilter f;
        if (f.forLike(pattern)) {
            const bool admitted = f.admits(value.data(), value.size());
            fuzz::check(admitted || !want.matches, "the table's LIKE test drops a row that matches", what);
            fuzz::check(!f.exact || admitted == want.matches, "the table's LIKE test decides wrongly", what);
        }
        jetvtab::Prefilter e;
        if (e.forEquals(other)) {
            const bool equal = jettext::compare(value.data(), value.size(), other.data(), other.size()) == 0;
            fuzz::check(e.admits(value.data(), value.size()) == equal, "the table's = test decides wrongly",
                        QStringLiteral("%1 = %2").arg(show(value), show(other)));
        }
    }

    const QString pair = QStringLiteral("%1 and %2").arg(show(value), show(other));
    const int cmp = sign(jettext::compare(value.data(), value.size(), other.data(), other.size()));
    fuzz::check(cmp == slowCompare(value, other), "the comparison orders two texts wrongly", pair);
    fuzz::check(sign(jettext::compare(other.data(), other.size(), value.data(), value.size())) == -cmp,
                "the comparison is not symmetric", pair);
    checkNumbers(value, other);
    const std::string literal = literalPattern(value);
    fuzz::check(jettext::like(literal.data(), literal.size(), other.data(), other.size()) == (cmp == 0),
                "LIKE without wildcards disagrees with the comparison", pair);
    return 0;
}
