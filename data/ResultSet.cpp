#include "data/ResultSet.h"

#include <cstdlib>
#include <unistd.h>
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

size_t systemPage()
{
    static const size_t page = [] {
        const long p = sysconf(_SC_PAGESIZE);
        return p > 0 ? size_t(p) : size_t(4096);
    }();
    return page;
}

} // namespace

void *ResultSet::resize(void *block, size_t oldBytes, size_t &newBytes)
{
#if defined(__linux__)
    const size_t page = systemPage();
    newBytes = (newBytes + page - 1) / page * page;
    void *p = block ? mremap(block, oldBytes, newBytes, MREMAP_MAYMOVE)
                    : mmap(nullptr, newBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    return p;
#else
    Q_UNUSED(oldBytes);
    void *p = std::realloc(block, newBytes);
    if (!p)
        throw std::bad_alloc();
    return p;
#endif
}

void ResultSet::release(void *block, size_t bytes)
{
    if (!block)
        return;
#if defined(__linux__)
    munmap(block, bytes);
#else
    Q_UNUSED(bytes);
    std::free(block);
#endif
}

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
    release(m_rowIds, m_rowIdsCapacity * sizeof(quint32));
    m_rowIds = nullptr;
    m_rowIdCount = m_rowIdsCapacity = 0;
}
