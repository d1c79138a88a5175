#include "data/GrowArray.h"

#include <cstdlib>
#include <unistd.h>
#if defined(__linux__)
#include <sys/mman.h>
#endif

void *HeapBlock::resize(void *block, size_t, size_t &newBytes)
{
    void *p = std::realloc(block, newBytes);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void *HeapBlock::shrink(void *block, size_t, size_t &newBytes)
{
    return std::realloc(block, newBytes);
}

void HeapBlock::release(void *block, size_t)
{
    std::free(block);
}

#if defined(__linux__)

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

void *MappedBlock::resize(void *block, size_t oldBytes, size_t &newBytes)
{
    const size_t page = systemPage();
    newBytes = (newBytes + page - 1) / page * page;
    void *p = block ? mremap(block, oldBytes, newBytes, MREMAP_MAYMOVE)
                    : mmap(nullptr, newBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    return p;
}

void *MappedBlock::shrink(void *block, size_t oldBytes, size_t &newBytes)
{
    const size_t page = systemPage();
    newBytes = (newBytes + page - 1) / page * page;
    if (newBytes >= oldBytes)
        return nullptr;
    void *p = mremap(block, oldBytes, newBytes, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void MappedBlock::release(void *block, size_t bytes)
{
    if (block)
        munmap(block, bytes);
}

#else

void *MappedBlock::resize(void *block, size_t oldBytes, size_t &newBytes)
{
    return HeapBlock::resize(block, oldBytes, newBytes);
}

void *MappedBlock::shrink(void *block, size_t oldBytes, size_t &newBytes)
{
    return HeapBlock::shrink(block, oldBytes, newBytes);
}

void MappedBlock::release(void *block, size_t bytes)
{
    HeapBlock::release(block, bytes);
}

#endif
