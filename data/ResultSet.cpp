#include "data/ResultSet.h"

void ResultSet::copy()
{
    if (!m_source)
        return;
    const std::unique_ptr<RowSource> source = std::move(m_source);
    const size_t rows = m_rowIdCount;
    m_rows = 0;
    for (size_t r = 0; r < rows; ++r) {
        for (int f = 0; f < fieldCount(); ++f) {
            const std::string_view text = source->text(sourceRow(r), f);
            appendCell(text.data(), text.size());
        }
        endRow();
    }
    m_rowIds.clear();
    m_rowIdsListed = false;
    m_rowIdCount = 0;
}
