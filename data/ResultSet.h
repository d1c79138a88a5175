#pragma once

#include "data/GrowArray.h"

#include <QString>
#include <QStringList>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string_view>
#include <type_traits>

struct DecodedColumn;

// Rows of a result that are whole rows of a table held in memory elsewhere: the result keeps
// only their numbers and asks here for the text of a field.
class RowSource
{
public:
    virtual ~RowSource() = default;
    virtual std::string_view text(quint32 row, int field) const = 0;
    // The decoded column the source reads the field from, by the source's rows, when it reads
    // it from one; it lives as long as the source.
    virtual const DecodedColumn *column(int field) const
    {
        (void)field;
        return nullptr;
    }
};

// A complete, static query result. Cells are kept as UTF-8 text in one buffer with a table of
// 32-bit end offsets, so a result of a million rows costs its text plus four bytes per cell and
// no object per cell. Both arrays are blocks of their own, grown by remapping rather than
// copying: a growing result never needs twice its size, and a closed one gives its memory back
// to the system at once instead of leaving holes in the heap.
class ResultSet
{
public:
    // Cell text a result may hold in all; appending beyond it throws std::bad_alloc.
    static constexpr size_t kMaxText = 0xFFFFFFFFu;

    explicit ResultSet(QStringList fieldNames) : m_fields(std::move(fieldNames)) { m_ends.push_back(0); }
    ResultSet(const ResultSet &) = delete;
    ResultSet &operator=(const ResultSet &) = delete;

    const QStringList &fieldNames() const { return m_fields; }
    int fieldCount() const { return int(m_fields.size()); }
    int rowCount() const { return m_rows; }

    // Appends one cell of the row being built; call fieldCount() times, then endRow().
    void appendCell(const char *utf8, size_t size)
    {
        if (size > kMaxText - m_text.size())
            throw std::bad_alloc();
        m_text.append(utf8, size);
        m_ends.push_back(quint32(m_text.size()));
    }
    // Row source mode: set on an empty result; rows are then added with appendSourceRow().
    void setRowSource(std::unique_ptr<RowSource> source) { m_source = std::move(source); }
    bool hasRowSource() const { return m_source != nullptr; }
    // Rows 0, 1, 2, ... of the source (a table read whole, in order) take no memory: the list
    // of row numbers is made only when a row comes out of that order.
    void appendSourceRow(quint32 row)
    {
        if (m_rowIdsListed || row != m_rowIdCount) {
            if (!m_rowIdsListed) {
                m_rowIds.reserve(m_rowIdCount + 1);
                for (size_t r = 0; r < m_rowIdCount; ++r)
                    m_rowIds.push_back(quint32(r));
                m_rowIdsListed = true;
            }
            m_rowIds.push_back(row);
        }
        endRow();
        ++m_rowIdCount;
    }

    void endRow()
    {
        if (m_rows == std::numeric_limits<int>::max())
            throw std::bad_alloc();
        ++m_rows;
    }

    QString value(int row, int field) const
    {
        if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount())
            return QString();
        const std::string_view text = bytes(row, field);
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    }

    // The UTF-8 bytes of a cell as the engine gave them; empty outside the result.
    std::string_view bytes(int row, int field) const
    {
        if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount())
            return {};
        if (m_source)
            return m_source->text(sourceRow(size_t(row)), field);
        const size_t cell = size_t(row) * size_t(fieldCount()) + size_t(field);
        return std::string_view(m_text.data() + m_ends[cell], m_ends[cell + 1] - m_ends[cell]);
    }

    // The decoded column a field's rows come from, by the source's rows (sourceRowOf() gives a
    // result row's), when the rows come from a source that reads the field from one: in
    // dictionary form, a sort ranks each value once without reading every cell; plain, it reads
    // the texts where they lie. Null otherwise.
    const DecodedColumn *tableField(int field) const
    {
        return m_source && field >= 0 && field < fieldCount() ? m_source->column(field) : nullptr;
    }
    quint32 sourceRowOf(int row) const { return sourceRow(size_t(row)); }

    // 0-based index of a field, names without regard to case; -1 when absent.
    int fieldIndex(const QString &name) const
    {
        for (int i = 0; i < fieldCount(); ++i)
            if (m_fields.at(i).compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }

    // Bytes of cell text and of offsets held (the capacity reserved beyond is not counted).
    size_t memoryUsed() const { return m_text.size() + (m_ends.size() + m_rowIds.size()) * sizeof(quint32); }

private:
    quint32 sourceRow(size_t row) const { return m_rowIdsListed ? m_rowIds[row] : quint32(row); }

    QStringList m_fields;
    GrowArray<char, MappedBlock> m_text;    // cell texts, back to back
    GrowArray<quint32, MappedBlock> m_ends; // m_ends[0] = 0, m_ends[k] = end of cell k - 1
    int m_rows = 0;
    std::unique_ptr<RowSource> m_source;
    // row source mode: the source's row of each row, listed only once a row comes out of order
    // (until then row r is the source's row r)
    GrowArray<quint32, MappedBlock> m_rowIds;
    bool m_rowIdsListed = false;
    size_t m_rowIdCount = 0;
};
