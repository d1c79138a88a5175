#pragma once

#include <cstddef>
#include <string>

struct sqlite3;

// Exact decimals (Currency, Decimal) go to statements as their text, which prints exactly. A
// column of them has text affinity and this collation, so comparing one with a number, a text
// or another exact column, sorting them and min()/max() go by their exact value: a value beyond
// a double's precision stays itself (a number compared with the column is taken as the text
// SQLite writes for it, exact for integers and for decimals of up to 15 digits; longer literals
// are given as their text by the statement rewriting of NumberStatements.h).
namespace jetnumber {

constexpr const char *kCollation = "JETNUMBER";
// jetneg(x): -x, an exact decimal's text negated digit for digit.
constexpr const char *kNegate = "jetneg";

// Orders two numbers written as text by value: any form SQLite reads as a number ("-12.5",
// " +1e3", ".5", "1.0e+23") or writes for an infinite double ("Inf", "-Inf"); a text that is
// not one sorts after every number, texts among themselves by their bytes. <0, 0 or >0.
int compare(const char *a, size_t na, const char *b, size_t nb);

// Installs the collation, jetneg(), and a sum() that adds exact decimals exactly: integers and
// decimal texts (the values of exact columns) add up as decimals, and the total is an integer
// where it is whole, a double where its shortest form is the exact total, the exact text
// otherwise. With any double among the values it adds doubles, as SQLite's own does. avg() is
// that total divided by the count, rounded half to even to four places (more where the values
// have more), as Access averages Currency; of integers alone, or with a double, a double as
// SQLite's. Returns an SQLite code.
int registerCollation(sqlite3 *db);

// The sum of two decimal texts, exact; false when either is not one (or the total has more
// than 38 digits).
bool addDecimals(const std::string &a, const std::string &b, std::string &total);

} // namespace jetnumber
