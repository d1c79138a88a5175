#include "data/ColumnStore.h"

#include "data/DatabaseError.h"

#include <algorithm>
#include <new>

namespace {

// Packs the cells of the wanted columns, row after row, into fresh columns.
class ColumnFiller : public JetRowSink
{
public:
    ColumnFiller(const QVector<JetColumn> &columns, const std::vector<int> &wanted, const std::atomic<bool> *cancel)
        : m_wanted(wanted), m_cancel(cancel)
    {
        for (int c : wanted) {
            auto column = std::make_unique<StoredColumn>();
            column->kind = columns[c].kind;
            if (column->kind != JetKind::Integer && column->kind != JetKind::Real)
                column->ends.push_back(0);
            m_out.push_back(std::move(column));
        }
    }

    void begin(const QVector<JetColumn> &) override {}

    void row(const std::vector<JetCell> &cells) override
    {
        if ((m_rows & 4095) == 0 && m_cancel && m_cancel->load(std::memory_order_relaxed))
            throw ColumnStore::Cancelled();
        if (m_rows == 0x7FFFFFFF)
            throw std::bad_alloc();
        const size_t word = size_t(m_rows) >> 6;
        const uint64_t bit = uint64_t(1) << (m_rows & 63);
        for (size_t k = 0; k < m_wanted.size(); ++k) {
            const JetCell &cell = cells[size_t(m_wanted[k])];
            StoredColumn &out = *m_out[k];
            if (out.nulls.size() <= word)
                out.nulls.push_back(0);
            if (cell.isNull)
                out.nulls[word] |= bit;
            switch (out.kind) {
            case JetKind::Integer: out.integers.push_back(cell.isNull ? 0 : cell.integer); break;
            case JetKind::Real: out.reals.push_back(cell.isNull ? 0 : cell.real); break;
            default:
                if (!cell.isNull) {
                    if (cell.text.size() > 0xFFFFFFFFu - out.text.size())
                        throw std::bad_alloc();
                    out.text.append(cell.text.data(), cell.text.size());
                }
                out.ends.push_back(uint32_t(out.text.size()));
                break;
            }
        }
        ++m_rows;
    }

    int rows() const { return m_rows; }
    std::vector<std::unique_ptr<StoredColumn>> &columns() { return m_out; }

private:
    const std::vector<int> &m_wanted;
    const std::atomic<bool> *m_cancel;
    std::vector<std::unique_ptr<StoredColumn>> m_out;
    int m_rows = 0;
};

} // namespace

ColumnStore::ColumnStore(const JetFile &file, const QString &table, std::mutex &decodeLock)
    : m_file(file), m_name(table), m_columns(file.columns(table)), m_decodeLock(decodeLock)
{
    m_data.resize(size_t(m_columns.size()));
    m_decoded.reset(new std::atomic<bool>[size_t(m_columns.size())]);
    for (int c = 0; c < m_columns.size(); ++c)
        m_decoded[size_t(c)].store(false);
}

void ColumnStore::ensure(const std::vector<int> &columns, const std::atomic<bool> *cancel)
{
    auto missing = [&] {
        std::vector<int> out;
        for (int c : columns)
            if (c >= 0 && c < m_columns.size() && !isDecoded(c) && std::find(out.begin(), out.end(), c) == out.end())
                out.push_back(c);
        return out;
    };
    if (missing().empty() && rowCount() >= 0)
        return;
    std::lock_guard<std::mutex> lock(m_decodeLock);
    // Another pass may have done the work while this one waited.
    const std::vector<int> wanted = missing();
    if (wanted.empty() && rowCount() >= 0)
        return;
    std::vector<bool> mask(size_t(m_columns.size()), false);
    for (int c : wanted)
        mask[size_t(c)] = true;
    ColumnFiller filler(m_columns, wanted, cancel);
    m_file.readTable(m_name, filler, &mask);
    // Every pass reads the same rows of an unchanged file; a count that differs means the file
    // is no longer the one the other columns came from.
    const int known = rowCount();
    if (known >= 0 && known != filler.rows())
        throw EDatabaseError(QStringLiteral("数据库文件已被更改，表 '%1' 无法读取。").arg(m_name));
    for (size_t k = 0; k < wanted.size(); ++k) {
        StoredColumn &col = *filler.columns()[k];
        col.nulls.resize((size_t(filler.rows()) + 63) / 64, 0);
        col.nulls.fit();
        col.integers.fit();
        col.reals.fit();
        col.text.fit();
        col.ends.fit();
        m_data[size_t(wanted[k])] = std::move(filler.columns()[k]);
        m_decoded[size_t(wanted[k])].store(true, std::memory_order_release);
    }
    m_rows.store(filler.rows(), std::memory_order_release);
}
