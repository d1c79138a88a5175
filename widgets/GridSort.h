#pragma once

#include <QVector>

#include <functional>
#include <string_view>

// The order of a result sorted by one column, as a permutation of its rows.
namespace gridsort {

// How a column's cells compare: every filled cell a number, every one a date (yyyy-MM-dd with
// an optional hh:mm:ss), or text.
enum class Kind { Number, Date, Text };

// The cells of one column, copied out of the result so the sort can run off the GUI thread
// while the result may change.
class Column
{
public:
    void reserve(int rows, size_t bytes);
    void append(std::string_view cell);
    int size() const { return int(m_ends.size()); }
    std::string_view at(int row) const;

private:
    std::string m_text;
    std::vector<size_t> m_ends;
};

// The rows in sorted order: numbers and dates by value, text in pinyin order (Chinese
// collation), equal cells in the order the statement gave them, empty cells last in either
// direction. Reverse (descending) when `descending`.
QVector<int> order(const Column &cells, bool descending);

Kind kindOf(const Column &cells);

} // namespace gridsort
