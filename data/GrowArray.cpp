#include "data/GrowArray.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__SANITIZE_THREAD__)
#define LSS_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define LSS_THREAD_SANITIZER 1
#endif
#endif
#ifndef LSS_THREAD_SANITIZER
#define LSS_THREAD_SANITIZER 0
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
#if LSS_THREAD_SANITIZER
    // ThreadSanitizer does not follow mremap: what it knew of the old range outlives the move, and
    // a block of another thread mapped there later seems shared. A new mapping, a copy and
    // munmap, which it follows.
    if (block) {
        void *p = mmap(nullptr, newBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        std::memcpy(p, block, std::min(oldBytes, newBytes));
        munmap(block, oldBytes);
        return p;
    }
#endif
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
    // The pages past the new end given back where they lie.
    if (munmap(static_cast<char *>(block) + newBytes, oldBytes - newBytes) != 0)
        return nullptr;
    return block;
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
