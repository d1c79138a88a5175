#pragma once

#include <cstddef>

struct sqlite3;

// Text comparison as Jet does it: without regard to the case of any letter that has one (Latin
// with accents, Greek, Cyrillic, ...), not only of A-Z. Works on UTF-8 bytes; only characters
// outside ASCII are decoded, so ASCII and Chinese text cost little more than a byte compare.
namespace jettext {

// A byte that is not part of a valid UTF-8 sequence is a unit of its own, equal only to itself.
constexpr char32_t kInvalidBase = 0x110000;

inline bool continuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// The code point at s[i] (i < n); moves i past it.
inline char32_t readChar(const unsigned char *s, size_t n, size_t &i)
{
    const unsigned c = s[i];
    if (c < 0x80) {
        ++i;
        return c;
    }
    if (c >= 0xC2 && c < 0xE0 && i + 1 < n && continuation(s[i + 1])) {
        const char32_t cp = ((c & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu);
        i += 2;
        return cp;
    }
    if (c >= 0xE0 && c < 0xF0 && i + 2 < n && continuation(s[i + 1]) && continuation(s[i + 2])) {
        const char32_t cp = ((c & 0x0Fu) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu);
        if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) {
            i += 3;
            return cp;
        }
    }
    if (c >= 0xF0 && c < 0xF5 && i + 3 < n && continuation(s[i + 1]) && continuation(s[i + 2])
        && continuation(s[i + 3])) {
        const char32_t cp =
            ((c & 0x07u) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) | (s[i + 3] & 0x3Fu);
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            i += 4;
            return cp;
        }
    }
    ++i;
    return kInvalidBase + c;
}

// Case folding as every comparison of the engine does it (compare(), like()).
char32_t foldCase(char32_t cp);

// Characters that match only themselves under every comparison the engine makes (the
// collation, BINARY and NOCASE, LIKE): no case, and no other character folds to them. Digits and
// the Chinese characters of the two main blocks. A run of them in a pattern must stand, byte
// for byte, in every value that matches: the tables skip rows by it. Must stay inside what
// foldCase() leaves alone (a test walks every code point).
inline bool matchesOnlyItself(char32_t cp)
{
    return (cp >= '0' && cp <= '9') || (cp >= 0x3400 && cp <= 0x4DBF) || (cp >= 0x4E00 && cp <= 0x9FFF);
}

// Name of the collation registered by registerFunctions(), for text columns.
constexpr const char *kCollation = "JETTEXT";

// Orders two texts by their case-folded characters: <0, 0 or >0.
int compare(const char *a, size_t na, const char *b, size_t nb);

// LIKE: "%" any run of characters (none too), "_" exactly one character, "[abc]" one of a list
// ("[a-z]" a range, "[!abc]" any other character, "[[]" a "["); `escape` (or 0 for none) makes
// the character after it literal. Cases fold as in compare(). A "[" without its "]" makes the
// pattern malformed: it matches nothing and `malformed` (when given) is set.
bool like(const char *pattern, size_t np, const char *value, size_t nv, char32_t escape = 0, bool *malformed = nullptr);

// The engine's error for a malformed pattern, in the words users see.
constexpr const char *kBadPattern = "模式字符串无效：'[' 没有对应的 ']'。";
constexpr const char *kBadEscape = "ESCAPE 表达式必须是单个字符。";
constexpr const char *kLongPattern = "模式字符串过长。";

// Installs the collation and a like() function (2 and 3 arguments) that replaces SQLite's LIKE,
// which folds only A-Z. Returns an SQLite result code.
int registerFunctions(sqlite3 *db);

} // namespace jettext
