#include "data/TextCompare.h"

#include "base/Utf8.h"

#include <QChar>
#include <algorithm>
#include <cstring>
#include <new>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace jettext {
namespace {

using Byte = unsigned char;

inline char32_t asciiLower(unsigned c)
{
    return (c - 'A' < 26u) ? c + 32 : c;
}

inline char32_t fold(char32_t cp)
{
    if (cp < 0x80)
        return asciiLower(cp);
    // Chinese, Japanese and Korean have no case: spare them the table look-up.
    if ((cp >= 0x2E80 && cp <= 0xA4CF) || (cp >= 0xAC00 && cp <= 0xD7AF) || cp >= kInvalidBase)
        return cp;
    return QChar::toCaseFolded(cp);
}

} // namespace

char32_t foldCase(char32_t cp)
{
    return fold(cp);
}

namespace {

// Characters that no other character folds to nor from (Chinese, Japanese, Korean, their
// punctuation, ASCII other than letters): a run of them matches only its own bytes.
inline bool caseless(char32_t cp)
{
    if (cp < 0x80)
        return asciiLower(cp) == cp && (cp < 'a' || cp > 'z');
    return (cp >= 0x2000 && cp <= 0x206F) || (cp >= 0x2E80 && cp <= 0xA4CF) || (cp >= 0xAC00 && cp <= 0xD7AF)
           || (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF01 && cp <= 0xFF20)
           || (cp >= 0xFF3B && cp <= 0xFF40) || (cp >= 0xFF5B && cp <= 0xFFEF) || (cp >= 0x20000 && cp <= 0x3FFFF);
}

// Where the character that ends at `end` begins, as readChar() reads the text forward; `from`
// (< end) is known to begin one. A continuation byte that no valid sequence holds is a
// character of its own.
inline size_t previousStart(const Byte *s, size_t from, size_t end)
{
    size_t lead = end - 1;
    while (lead > from && end - lead < 4 && continuation(s[lead]))
        --lead;
    size_t next = lead;
    readChar(s, end, next);
    return next == end ? lead : end - 1;
}

// A LIKE pattern split at its "%"s. Every piece matches a fixed number of characters, so taking
// each middle piece at its leftmost place finds a match whenever there is one.
struct Pattern
{
    static constexpr char32_t kAnyOne = char32_t(-1); // "_"
    static constexpr char32_t kListBase = 0x80000000; // "[...]": kListBase + its index in `lists`

    // A character list: one character in (or, negated, not in) its folded ranges.
    struct List
    {
        bool negated = false;
        std::vector<std::pair<char32_t, char32_t>> ranges;
        bool holds(char32_t folded) const
        {
            bool in = false;
            for (const auto &r : ranges)
                in = in || (folded >= r.first && folded <= r.second);
            return in != negated;
        }
    };

    struct Piece
    {
        std::vector<char32_t> chars; // folded, or kAnyOne
        std::string bytes;           // when `plain`: the UTF-8 to look for
        bool plain = true;           // only caseless characters: a byte search finds it
    };

    std::vector<Piece> pieces; // one more than the "%"s
    std::vector<List> lists;
    bool never = false;     // ends in a lone escape character: matches nothing
    bool malformed = false; // a "[" without its "]"
    char32_t escape = 0;
    std::string source;

    Pattern(const Byte *p, size_t n, char32_t esc) : escape(esc), source(reinterpret_cast<const char *>(p), n)
    {
        pieces.emplace_back();
        size_t i = 0;
        while (i < n) {
            char32_t cp = readChar(p, n, i);
            if (esc != 0 && cp == esc) {
                if (i >= n) {
                    never = true;
                    return;
                }
                cp = readChar(p, n, i);
                add(cp);
            } else if (cp == '%') {
                if (!pieces.back().chars.empty() || pieces.size() == 1)
                    pieces.emplace_back();
            } else if (cp == '_') {
                pieces.back().chars.push_back(kAnyOne);
                pieces.back().plain = false;
            } else if (cp == '[') {
                if (!parseList(p, n, i)) {
                    malformed = true;
                    return;
                }
            } else {
                add(cp);
            }
        }
    }

    // The list after a "[" up to its "]": "!" first negates, "a-z" is a range, any other
    // character (a "[" too) stands for itself.
    bool parseList(const Byte *p, size_t n, size_t &i)
    {
        List list;
        if (i < n && p[i] == '!') {
            list.negated = true;
            ++i;
        }
        std::vector<char32_t> chars;
        for (;;) {
            if (i >= n)
                return false;
            const char32_t cp = readChar(p, n, i);
            if (cp == ']')
                break;
            chars.push_back(cp);
        }
        for (size_t k = 0; k < chars.size(); ++k) {
            if (k + 2 < chars.size() && chars[k + 1] == '-') {
                const char32_t lo = fold(chars[k]);
                const char32_t hi = fold(chars[k + 2]);
                list.ranges.emplace_back(std::min(lo, hi), std::max(lo, hi));
                k += 2;
            } else {
                list.ranges.emplace_back(fold(chars[k]), fold(chars[k]));
            }
        }
        lists.push_back(list);
        pieces.back().chars.push_back(kListBase + char32_t(lists.size() - 1));
        pieces.back().plain = false;
        return true;
    }

    void add(char32_t cp)
    {
        Piece &piece = pieces.back();
        piece.chars.push_back(fold(cp));
        if (piece.plain && caseless(cp) && cp < kInvalidBase)
            utf8::append(piece.bytes, cp);
        else
            piece.plain = false;
    }

    // Whether the piece matches at s[i]; `end` is where it stops.
    bool matchAt(const Piece &piece, const Byte *s, size_t n, size_t i, size_t &end) const
    {
        for (char32_t want : piece.chars) {
            if (i >= n)
                return false;
            const unsigned c = s[i];
            if (want == kAnyOne) {
                readChar(s, n, i);
            } else if (want >= kListBase) {
                if (!lists[want - kListBase].holds(fold(readChar(s, n, i))))
                    return false;
            } else if (c < 0x80) {
                if (asciiLower(c) != want)
                    return false;
                ++i;
            } else if (fold(readChar(s, n, i)) != want) {
                return false;
            }
        }
        end = i;
        return true;
    }

    // The leftmost place at or after `from` where the piece matches; false when there is none.
    bool find(const Piece &piece, const Byte *s, size_t n, size_t from, size_t &end) const
    {
        if (piece.plain) {
            // Values are short: memchr on the first byte beats memmem's set-up per call.
            const size_t len = piece.bytes.size();
            const Byte first = Byte(piece.bytes[0]);
            for (size_t i = from; i + len <= n;) {
                const auto *hit = static_cast<const Byte *>(std::memchr(s + i, first, n - len + 1 - i));
                if (!hit)
                    return false;
                i = size_t(hit - s);
                if (std::memcmp(s + i + 1, piece.bytes.data() + 1, len - 1) == 0) {
                    end = i + len;
                    return true;
                }
                ++i;
            }
            return false;
        }
        for (size_t i = from; i < n;) {
            if (matchAt(piece, s, n, i, end))
                return true;
            readChar(s, n, i);
        }
        return false;
    }

    bool matches(const Byte *s, size_t n) const
    {
        if (never)
            return false;
        size_t pos = 0;
        if (!matchAt(pieces.front(), s, n, 0, pos))
            return false;
        if (pieces.size() == 1)
            return pos == n;
        for (size_t k = 1; k + 1 < pieces.size(); ++k)
            if (!pieces[k].chars.empty() && !find(pieces[k], s, n, pos, pos))
                return false;
        // The last piece ends the text: it starts as many characters before the end as it has.
        const Piece &last = pieces.back();
        size_t start = n;
        for (size_t k = 0; k < last.chars.size(); ++k) {
            if (start <= pos)
                return false;
            start = previousStart(s, pos, start);
        }
        size_t end = 0;
        return matchAt(last, s, n, start, end) && end == n;
    }
};

int collate(void *, int na, const void *a, int nb, const void *b)
{
    return compare(static_cast<const char *>(a), size_t(na), static_cast<const char *>(b), size_t(nb));
}

void deletePattern(void *p)
{
    delete static_cast<Pattern *>(p);
}

void matchLike(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    // NULL anywhere gives NULL, as SQLite's own LIKE does.
    const auto *pattern = sqlite3_value_text(argv[0]);
    const auto *value = sqlite3_value_text(argv[1]);
    if (!pattern || !value)
        return;
    const size_t np = size_t(sqlite3_value_bytes(argv[0]));
    const size_t nv = size_t(sqlite3_value_bytes(argv[1]));
    char32_t escape = 0;
    if (argc == 3) {
        const auto *e = sqlite3_value_text(argv[2]);
        if (!e)
            return;
        const size_t ne = size_t(sqlite3_value_bytes(argv[2]));
        size_t i = 0;
        if (ne > 0)
            escape = readChar(e, ne, i);
        if (ne == 0 || i != ne) {
            sqlite3_result_error(ctx, kBadEscape, -1);
            return;
        }
    }
    // A constant pattern is split once per statement, not once per row.
    auto *compiled = static_cast<Pattern *>(sqlite3_get_auxdata(ctx, 0));
    const bool reuse = compiled && compiled->escape == escape && compiled->source.size() == np
                       && std::memcmp(compiled->source.data(), pattern, np) == 0;
    if (!reuse) {
        if (np > size_t(sqlite3_limit(sqlite3_context_db_handle(ctx), SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1))) {
            sqlite3_result_error(ctx, kLongPattern, -1);
            return;
        }
        compiled = new Pattern(pattern, np, escape);
        if (compiled->malformed) {
            delete compiled;
            sqlite3_result_error(ctx, kBadPattern, -1);
            return;
        }
    }
    sqlite3_result_int(ctx, compiled->matches(value, nv) ? 1 : 0);
    if (!reuse)
        sqlite3_set_auxdata(ctx, 0, compiled, deletePattern);
}

// No exception may unwind through SQLite: a pattern that cannot be built is SQLite's own
// out-of-memory failure.
void likeFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    try {
        matchLike(ctx, argc, argv);
    } catch (...) { // std::bad_alloc: building the pattern is all that can throw
        sqlite3_result_error_nomem(ctx);
    }
}

} // namespace

int compare(const char *ca, size_t na, const char *cb, size_t nb)
{
    const auto *a = reinterpret_cast<const Byte *>(ca);
    const auto *b = reinterpret_cast<const Byte *>(cb);
    // Equal bytes are skipped as they are; only where the texts differ is a character decoded.
    // Since the last decoded pair, the two texts have run byte for byte alike (but for the case
    // of ASCII letters), so the character holding a difference starts equally far back in both.
    // A text that ends in the middle of a character differs there too: the character is decoded
    // (a cut sequence is a run of invalid bytes), not taken as a shorter prefix.
    auto inside = [](const Byte *s, size_t n, size_t k) { return k < n && continuation(s[k]); };
    size_t i = 0;
    size_t j = 0;
    size_t syncI = 0;
    for (;;) {
        if (i < na && j < nb) {
            const unsigned x = a[i];
            const unsigned y = b[j];
            if (x == y) {
                ++i;
                ++j;
                continue;
            }
            if ((x | y) < 0x80) {
                const char32_t fx = asciiLower(x);
                const char32_t fy = asciiLower(y);
                if (fx != fy)
                    return fx < fy ? -1 : 1;
                ++i;
                ++j;
                continue;
            }
        } else if (i >= na && j >= nb) {
            return 0;
        }
        size_t back = 0;
        while (i - back > syncI && (inside(a, na, i - back) || inside(b, nb, j - back)))
            ++back;
        i -= back;
        j -= back;
        if (i >= na || j >= nb)
            return int(i < na) - int(j < nb);
        const char32_t fp = fold(readChar(a, na, i));
        const char32_t fq = fold(readChar(b, nb, j));
        if (fp != fq)
            return fp < fq ? -1 : 1;
        syncI = i;
    }
}

bool like(const char *pattern, size_t np, const char *value, size_t nv, char32_t escape, bool *malformed)
{
    const Pattern p(reinterpret_cast<const Byte *>(pattern), np, escape);
    if (malformed)
        *malformed = p.malformed;
    return !p.malformed && p.matches(reinterpret_cast<const Byte *>(value), nv);
}

int registerFunctions(sqlite3 *db)
{
    int rc = sqlite3_create_collation_v2(db, kCollation, SQLITE_UTF8, nullptr, collate, nullptr);
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr, nullptr);
    return rc;
}

} // namespace jettext
