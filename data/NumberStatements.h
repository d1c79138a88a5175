#pragma once

#include <functional>
#include <string>
#include <string_view>

// What SQLite cannot do exactly on exact decimal columns, rewritten in the statement before it
// is prepared (SQLite reads a literal as the nearest double and keeps no trace of its digits):
// - a numeric literal of more than 15 significant digits (an integer beyond 64 bits too) that is
//   compared with such a column (=, ==, <>, !=, <, <=, >, >=, [NOT] BETWEEN, [NOT] IN a list)
//   becomes its text, which the column's collation compares digit for digit;
// - -column becomes jetneg(column) as text under the column's collation, so it prints, compares
//   and sorts with every digit.
// Only where the column is the whole operand (no operator that binds tighter beside it): what
// is not rewritten keeps SQLite's own meaning.
namespace jetnumber {

// `isExact` tells whether a column name (unquoted) names an exact column. Returns the
// statement, rewritten or as it was.
std::string rewriteStatement(std::string_view sql, const std::function<bool(std::string_view name)> &isExact);

} // namespace jetnumber
