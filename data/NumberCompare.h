#pragma once

#include <cstddef>
#include <string>

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

// Installs the collation, and a sum() that adds exact decimals exactly: integers and decimal
// texts (the values of exact columns) add up as decimals, and the total is an integer where it
// is whole, a double where its shortest form is the exact total, the exact text otherwise. With
// any double among the values it adds doubles, as SQLite's own does. Returns an SQLite code.
int registerCollation(sqlite3 *db);

// The sum of two decimal texts, exact; false when either is not one (or the total has more
// than 38 digits).
bool addDecimals(const std::string &a, const std::string &b, std::string &total);

} // namespace jetnumber
