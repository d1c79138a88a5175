#pragma once

#include <QString>
#include <QStringList>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>
#include <new>
#include <type_traits>

// Rows of a result that are whole rows of a table held in memory elsewhere: the result keeps
// only their numbers and asks here for the text of a field.
class RowSource
{
public:
    virtual ~RowSource() = default;
    virtual std::string_view text(quint32 row, int field) const = 0;
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

    explicit ResultSet(QStringList fieldNames) : m_fields(std::move(fieldNames)) { push(0); }
    ~ResultSet()
    {
        release(m_data, m_dataCapacity);
        release(m_ends, m_endsCapacity * sizeof(quint32));
        release(m_rowIds, m_rowIdsCapacity * sizeof(quint32));
    }
    ResultSet(const ResultSet &) = delete;
    ResultSet &operator=(const ResultSet &) = delete;

    const QStringList &fieldNames() const { return m_fields; }
    int fieldCount() const { return int(m_fields.size()); }
    int rowCount() const { return m_rows; }

    // Appends one cell of the row being built; call fieldCount() times, then endRow().
    void appendCell(const char *utf8, size_t size)
    {
        if (size > kMaxText - m_size)
            throw std::bad_alloc();
        if (m_size + size > m_dataCapacity)
            grow(m_data, m_dataCapacity, m_size + size);
        if (size)
            std::memcpy(m_data + m_size, utf8, size);
        m_size += size;
        push(quint32(m_size));
    }
    // Row source mode: set on an empty result; rows are then added with appendSourceRow()
    // until copy() turns every row into cells of its own.
    void setRowSource(std::unique_ptr<RowSource> source) { m_source = std::move(source); }
    bool hasRowSource() const { return m_source != nullptr; }
    // Rows 0, 1, 2, ... of the source (a table read whole, in order) take no memory: the list
    // of row numbers is made only when a row comes out of that order.
    void appendSourceRow(quint32 row)
    {
        if (m_rowIds || row != m_rowIdCount) {
            if (!m_rowIds) {
                grow(m_rowIds, m_rowIdsCapacity, m_rowIdCount + 1);
                for (size_t r = 0; r < m_rowIdCount; ++r)
                    m_rowIds[r] = quint32(r);
            } else if (m_rowIdCount == m_rowIdsCapacity) {
                grow(m_rowIds, m_rowIdsCapacity, m_rowIdCount + 1);
            }
            m_rowIds[m_rowIdCount] = row;
        }
        endRow();
        ++m_rowIdCount;
    }
    // Copies the rows taken from the source into cells and leaves the source.
    void copy();

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
        return std::string_view(m_data + m_ends[cell], m_ends[cell + 1] - m_ends[cell]);
    }

    // 0-based index of a field, names without regard to case; -1 when absent.
    int fieldIndex(const QString &name) const
    {
        for (int i = 0; i < fieldCount(); ++i)
            if (m_fields.at(i).compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }

    // Bytes of cell text and of offsets held (the capacity reserved beyond is not counted).
    size_t memoryUsed() const { return m_size + (m_count + (m_rowIds ? m_rowIdCount : 0)) * sizeof(quint32); }

private:
    quint32 sourceRow(size_t row) const { return m_rowIds ? m_rowIds[row] : quint32(row); }
    void push(quint32 end)
    {
        if (m_count == m_endsCapacity)
            grow(m_ends, m_endsCapacity, m_count + 1);
        m_ends[m_count++] = end;
    }

    // Enlarges a block to hold at least `needed` items, by half again at a time.
    template <class T>
    static void grow(T *&block, size_t &capacity, size_t needed)
    {
        static_assert(std::is_trivially_copyable_v<T>, "moved as bytes");
        size_t next = capacity + capacity / 2;
        if (next < needed)
            next = needed;
        if (next > size_t(-1) / sizeof(T) / 2)
            throw std::bad_alloc();
        size_t bytes = next * sizeof(T);
        block = static_cast<T *>(resize(block, capacity * sizeof(T), bytes));
        capacity = bytes / sizeof(T);
    }
    // A block of at least newBytes holding the first oldBytes of `block`; newBytes is rounded up
    // to what the block really holds. Throws std::bad_alloc.
    static void *resize(void *block, size_t oldBytes, size_t &newBytes);
    static void release(void *block, size_t bytes);

    QStringList m_fields;
    char *m_data = nullptr;       // cell texts, back to back
    size_t m_size = 0;
    size_t m_dataCapacity = 0;
    quint32 *m_ends = nullptr;    // m_ends[0] = 0, m_ends[k] = end of cell k - 1
    size_t m_count = 0;
    size_t m_endsCapacity = 0;
    int m_rows = 0;
    std::unique_ptr<RowSource> m_source;
    quint32 *m_rowIds = nullptr;  // row source mode: the source's row of each row (null: row r is r)
    size_t m_rowIdCount = 0;
    size_t m_rowIdsCapacity = 0;
};
