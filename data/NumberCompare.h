#pragma once

#include <cstddef>

struct sqlite3;

// Exact decimals (Currency, Decimal) go to statements as their text, which prints exactly; a
// column of them has numeric affinity, so comparing one with a number compares numbers, and
// this collation, so sorting them and min()/max() order them by their exact value: a value
// beyond a double's precision stays itself.
namespace jetnumber {

constexpr const char *kCollation = "JETNUMBER";

// Orders two decimal texts ("-12.5", "100") by value; a text that is not one sorts after every
// number, texts among themselves by their bytes. <0, 0 or >0.
int compare(const char *a, size_t na, const char *b, size_t nb);

// Installs the collation. Returns an SQLite result code.
int registerCollation(sqlite3 *db);

} // namespace jetnumber
