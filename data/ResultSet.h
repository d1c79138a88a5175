#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// A complete, static query result. Cells are kept as UTF-8 text in one buffer with an offset
// table, so a result of a million rows costs a few bytes per cell and no object per cell.
class ResultSet
{
public:
    explicit ResultSet(QStringList fieldNames) : m_fields(std::move(fieldNames)) { m_offsets.push_back(0); }

    const QStringList &fieldNames() const { return m_fields; }
    int fieldCount() const { return int(m_fields.size()); }
    int rowCount() const { return m_rows; }

    // Appends one cell of the row being built; call fieldCount() times, then endRow().
    void appendCell(const char *utf8, size_t size)
    {
        m_data.append(utf8, qsizetype(size));
        m_offsets.push_back(quint64(m_data.size()));
    }
    void endRow() { ++m_rows; }

    QString value(int row, int field) const
    {
        if (row < 0 || row >= m_rows || field < 0 || field >= fieldCount())
            return QString();
        const size_t cell = size_t(row) * size_t(fieldCount()) + size_t(field);
        const quint64 begin = m_offsets[cell];
        const quint64 end = m_offsets[cell + 1];
        return QString::fromUtf8(m_data.constData() + begin, qsizetype(end - begin));
    }

    // 0-based index of a field, names without regard to case; -1 when absent.
    int fieldIndex(const QString &name) const
    {
        for (int i = 0; i < fieldCount(); ++i)
            if (m_fields.at(i).compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }

    size_t memoryUsed() const { return size_t(m_data.capacity()) + m_offsets.capacity() * sizeof(quint64); }

private:
    QStringList m_fields;
    QByteArray m_data;
    std::vector<quint64> m_offsets;
    int m_rows = 0;
};
