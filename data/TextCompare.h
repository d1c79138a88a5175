#pragma once

#include <cstddef>

struct sqlite3;

// Text comparison as Jet does it: without regard to the case of any letter that has one (Latin
// with accents, Greek, Cyrillic, ...), not only of A-Z. Works on UTF-8 bytes; only characters
// outside ASCII are decoded, so ASCII and Chinese text cost little more than a byte compare.
namespace jettext {

// Name of the collation registered by registerFunctions(), for text columns.
constexpr const char *kCollation = "JETTEXT";

// Orders two texts by their case-folded characters: <0, 0 or >0.
int compare(const char *a, size_t na, const char *b, size_t nb);

// LIKE: "%" any run of characters (none too), "_" exactly one character, "[abc]" one of a list
// ("[a-z]" a range, "[!abc]" any other character, "[[]" a "["); `escape` (or 0 for none) makes
// the character after it literal. Cases fold as in compare(). A "[" without its "]" makes the
// pattern malformed: it matches nothing and `malformed` (when given) is set.
bool like(const char *pattern, size_t np, const char *value, size_t nv, char32_t escape = 0,
          bool *malformed = nullptr);

// The engine's error for a malformed pattern, in the words users see.
constexpr const char *kBadPattern = "模式字符串无效：'[' 没有对应的 ']'。";

// Installs the collation and a like() function (2 and 3 arguments) that replaces SQLite's LIKE,
// which folds only A-Z. Returns an SQLite result code.
int registerFunctions(sqlite3 *db);

} // namespace jettext
