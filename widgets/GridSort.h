#pragma once

#include <QVector>

#include <cstdint>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
    // A row's value when the column is given as values (setValues): none, an empty cell.
    static constexpr quint32 kNone = 0xFFFFFFFFu;

    void reserve(int rows, size_t bytes);
    void append(std::string_view cell);
    // The column as distinct values and the value of each row instead of a text a row (the
    // texts live as long as `keep`): they need not be copied, nor found again row by row.
    void setValues(std::vector<std::string_view> values, std::vector<quint32> valueOfRow,
                   std::shared_ptr<const void> keep);
    // The column as a text a row kept elsewhere (the texts back to back, `ends[i]` to
    // `ends[i + 1]` the i-th) and, for each row, the number of its text: nothing copied.
    void setTexts(const char *text, const uint32_t *ends, std::vector<quint32> textOfRow,
                  std::shared_ptr<const void> keep);
    bool hasValues() const { return m_given; }
    const std::vector<std::string_view> &values() const { return m_values; }
    const std::vector<quint32> &valueOfRow() const { return m_valueOfRow; }
    int size() const { return hasValues() || m_texts ? int(m_valueOfRow.size()) : int(m_ends.size()); }
    // Row `row`'s text, of a column given a text a row (append, setTexts).
    std::string_view at(int row) const
    {
        if (m_texts) {
            const quint32 t = m_valueOfRow[size_t(row)];
            return std::string_view(m_texts + m_textEnds[t], m_textEnds[t + 1] - m_textEnds[t]);
        }
        const size_t begin = row == 0 ? 0 : m_ends[size_t(row) - 1];
        return std::string_view(m_text.data() + begin, m_ends[size_t(row)] - begin);
    }

private:
    std::string m_text;
    std::vector<size_t> m_ends;
    std::vector<std::string_view> m_values;
    std::vector<quint32> m_valueOfRow;
    std::shared_ptr<const void> m_keep;
    bool m_given = false;
    const char *m_texts = nullptr; // setTexts: m_valueOfRow holds each row's text number
    const uint32_t *m_textEnds = nullptr;
};

// The rows in sorted order: numbers and dates by value, text in pinyin order (Chinese
// collation), equal cells in the order the statement gave them, empty cells last in either
// direction. Reverse (descending) when `descending`.
QVector<int> order(const Column &cells, bool descending);

} // namespace gridsort
