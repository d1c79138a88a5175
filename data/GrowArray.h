#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

// Where a GrowArray keeps its block. The heap: realloc, which moves a large block by remapping
// its pages rather than copying them.
struct HeapBlock
{
    // A block of at least `newBytes` holding the first `oldBytes` of `block`; `newBytes` is set
    // to what the block really holds. Throws std::bad_alloc.
    static void *resize(void *block, size_t oldBytes, size_t &newBytes);
    // The same for a smaller block; null (the block kept) when that fails.
    static void *shrink(void *block, size_t oldBytes, size_t &newBytes);
    static void release(void *block, size_t bytes);
};

// Whole pages of their own, mapped from the system (on Linux): a block grows by remapping, and
// a released one goes back to the system at once instead of leaving a hole in the heap.
struct MappedBlock
{
    static void *resize(void *block, size_t oldBytes, size_t &newBytes);
    static void *shrink(void *block, size_t oldBytes, size_t &newBytes);
    static void release(void *block, size_t bytes);
};

// A growing array of plain values in one block, never zero-filled: a column of a million rows
// is written once.
template <class T, class Block = HeapBlock>
class GrowArray
{
    static_assert(std::is_trivially_copyable_v<T>, "moved as bytes");

public:
    GrowArray() = default;
    ~GrowArray() { Block::release(m_data, m_capacity * sizeof(T)); }
    GrowArray(const GrowArray &) = delete;
    GrowArray &operator=(const GrowArray &) = delete;

    size_t size() const { return m_size; }
    size_t capacity() const { return m_capacity; }
    const T *data() const { return m_data; }
    T &operator[](size_t i) { return m_data[i]; }
    const T &operator[](size_t i) const { return m_data[i]; }

    void push_back(T value)
    {
        if (m_size == m_capacity)
            reserve(m_size + 1);
        m_data[m_size++] = value;
    }
    void append(const T *values, size_t count)
    {
        if (count == 0)
            return; // `values` may be null then
        if (count > m_capacity - m_size)
            reserve(m_size + count);
        std::memcpy(m_data + m_size, values, count * sizeof(T));
        m_size += count;
    }
    // Room for at least `needed` values, by half again at a time. Throws std::bad_alloc.
    void reserve(size_t needed)
    {
        if (needed <= m_capacity)
            return;
        const size_t next = std::max(needed, m_capacity + m_capacity / 2 + 64);
        if (next > size_t(-1) / 2 / sizeof(T))
            throw std::bad_alloc();
        size_t bytes = next * sizeof(T);
        m_data = static_cast<T *>(Block::resize(m_data, m_capacity * sizeof(T), bytes));
        m_capacity = bytes / sizeof(T);
    }
    void resize(size_t size, T fill)
    {
        reserve(size);
        for (size_t i = m_size; i < size; ++i)
            m_data[i] = fill;
        m_size = size;
    }
    // Gives back the room beyond the values.
    void fit()
    {
        if (m_capacity == m_size || m_size == 0)
            return;
        size_t bytes = m_size * sizeof(T);
        if (void *p = Block::shrink(m_data, m_capacity * sizeof(T), bytes)) {
            m_data = static_cast<T *>(p);
            m_capacity = bytes / sizeof(T);
        }
    }
    void swap(GrowArray &other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
    }
    // Empty, the block given back.
    void clear()
    {
        Block::release(m_data, m_capacity * sizeof(T));
        m_data = nullptr;
        m_size = m_capacity = 0;
    }

private:
    T *m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};
