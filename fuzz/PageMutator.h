#pragma once

// A structure-aware mutator for Jet 4 files: the input stays a whole number of 4096-byte pages
// (anything else is refused at once and teaches the fuzzer nothing), and changes land inside the
// structures the reader checks: row counts and slots of data pages, row flags, long-value and
// moved-row pointers, usage-map bits, table-definition fields and column entries. Now and then
// it hands the input to libFuzzer's own mutator and squares the result to whole pages again.

#include "data/jet/JetFormat.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>

extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize) __attribute__((weak));

namespace fuzz {

class PageMutator
{
public:
    PageMutator(uint8_t *data, size_t size, size_t maxSize, unsigned seed)
        : m_data(data), m_size(size), m_maxSize(maxSize), m_rng(seed)
    {
    }

    size_t run()
    {
        if (m_size < 3 * kPage || m_size % kPage != 0 || pick(10) == 0)
            return libFuzzerThenSquare();
        const size_t pages = m_size / kPage;
        const int steps = 1 + int(pick(3));
        for (int i = 0; i < steps; ++i) {
            uint8_t *page = m_data + kPage * (1 + pick(pages - 1)); // page 0 is the scrambled header
            switch (page[0]) {
            case 0x01: dataPage(page, pages); break;
            case 0x02: definitionPage(page, pages); break;
            default:
                if (pick(4) == 0)
                    wholePages(pages);
                else
                    flipBit(page, kPage);
                break;
            }
        }
        return m_size;
    }

private:
    static constexpr size_t kPage = jet::kPageSize;
    uint8_t *m_data;
    size_t m_size;
    size_t m_maxSize;
    std::minstd_rand m_rng;

    size_t pick(size_t n) { return n == 0 ? 0 : size_t(m_rng()) % n; }
    static uint16_t get16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }
    static uint32_t get32(const uint8_t *p) { return uint32_t(get16(p)) | (uint32_t(get16(p + 2)) << 16); }
    static void put16(uint8_t *p, uint32_t v)
    {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
    }
    static void put32(uint8_t *p, uint32_t v)
    {
        put16(p, v & 0xFFFF);
        put16(p + 2, v >> 16);
    }

    void flipBit(uint8_t *p, size_t len) { p[pick(len)] ^= uint8_t(1u << pick(8)); }

    // A small change of a number: one more, one less, or something else altogether.
    uint32_t nudge(uint32_t v)
    {
        switch (pick(4)) {
        case 0: return v + 1;
        case 1: return v - 1;
        case 2: return v ^ (1u << pick(16));
        default: return uint32_t(m_rng());
        }
    }

    // A pointer (page << 8 | row) to a row that exists somewhere in the file.
    uint32_t somePointer(size_t pages)
    {
        for (int tries = 0; tries < 8; ++tries) {
            const size_t p = 1 + pick(pages - 1);
            const uint8_t *page = m_data + p * kPage;
            const uint16_t rows = get16(page + 12);
            if (page[0] == 0x01 && rows > 0 && rows < 256)
                return uint32_t(p << 8) | uint32_t(pick(rows));
        }
        return uint32_t(pick(pages) << 8) | uint32_t(pick(4));
    }

    void dataPage(uint8_t *page, size_t pages)
    {
        const uint16_t rows = get16(page + 12);
        const size_t usable = std::min<size_t>(rows, (kPage - 14) / 2);
        uint8_t *slot = usable ? page + 14 + 2 * pick(usable) : nullptr;
        switch (pick(slot ? 8 : 2)) {
        case 0: put16(page + 12, nudge(rows) & 0x1FF); break;                                     // row count
        case 1: put32(page + 4, pick(2) ? uint32_t(pick(pages)) : nudge(get32(page + 4))); break; // owner
        case 2: slot[1] ^= uint8_t(pick(2) ? 0x80 : 0x40); break;                           // deleted / moved flags
        case 3: put16(slot, (get16(slot) & 0xE000) | (nudge(get16(slot)) & 0x1FFF)); break; // row start
        case 4:
        case 5: {
            // A pointer inside the row: a moved row's target, or a long value's first row (after
            // its 4-byte length) or its next piece.
            const size_t start = get16(slot) & 0x1FFF;
            if (start + 8 <= kPage) {
                const size_t at = start + 4 * pick(std::min<size_t>(8, (kPage - start) / 4 - 1));
                put32(page + at, somePointer(pages));
            }
            break;
        }
        case 6: {
            // A long value's length and flags (inline, one row, chain).
            const size_t start = get16(slot) & 0x1FFF;
            if (start + 4 <= kPage)
                page[start + 3] ^= uint8_t(pick(2) ? 0x80 : 0x40);
            break;
        }
        default: {
            const size_t start = get16(slot) & 0x1FFF;
            if (start < kPage)
                flipBit(page + start, kPage - start); // a usage-map bit, a null-mask bit, a value
        }
        }
    }

    void definitionPage(uint8_t *page, size_t pages)
    {
        const uint16_t columns = get16(page + 45);
        const uint32_t realIndexes = get32(page + 51);
        const size_t first = 63 + size_t(realIndexes) * 12;
        const bool haveColumn = columns > 0 && realIndexes < 100 && first + 25 * size_t(columns) <= kPage;
        uint8_t *e = haveColumn ? page + first + 25 * pick(columns) : nullptr;
        static const uint8_t types[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
                                        0x09, 0x0A, 0x0B, 0x0C, 0x0F, 0x10, 0x12};
        switch (pick(e ? 9 : 3)) {
        case 0: put32(page + 16, nudge(get32(page + 16))); break;                                // stored row count
        case 1: put32(page + 55, pick(2) ? somePointer(pages) : nudge(get32(page + 55))); break; // usage map
        case 2: put16(page + 45, nudge(columns) & 0xFF); break;
        case 3: e[0] = types[pick(sizeof types)]; break;
        case 4: e[15] ^= uint8_t(1u << pick(3)); break;             // fixed flag and others
        case 5: put16(e + 23, nudge(get16(e + 23)) & 0x3FF); break; // size
        case 6: put16(e + 21, nudge(get16(e + 21)) & 0xFFF); break; // fixed offset
        case 7: {                                                   // number, variable index
            uint8_t *field = e + 5 + 2 * pick(2);
            put16(field, nudge(get16(field)) & 0x1FF);
            break;
        }
        default: {
            // The first name's length, or a character of it.
            const size_t names = first + 25 * size_t(columns);
            if (names + 4 <= kPage) {
                if (pick(2))
                    put16(page + names, nudge(get16(page + names)) & 0x3FF);
                else
                    page[names + 2 + pick(2)] = 0;
            }
        }
        }
    }

    void wholePages(size_t pages)
    {
        uint8_t *a = m_data + kPage * (1 + pick(pages - 1));
        uint8_t *b = m_data + kPage * (1 + pick(pages - 1));
        switch (pick(3)) {
        case 0: std::memcpy(a, b, kPage); break; // a page twice
        case 1: std::memset(a, 0, kPage); break;
        default:
            if (m_size + kPage <= m_maxSize) {
                std::memcpy(m_data + m_size, a, kPage); // one page more, a copy
                m_size += kPage;
            } else if (pages > 3) {
                m_size -= kPage;
            }
        }
    }

    size_t libFuzzerThenSquare()
    {
        if (LLVMFuzzerMutate)
            m_size = LLVMFuzzerMutate(m_data, m_size, m_maxSize);
        const size_t whole = m_size / kPage * kPage;
        if (m_size != whole && whole + kPage <= m_maxSize && pick(2)) {
            std::memset(m_data + m_size, 0, whole + kPage - m_size);
            m_size = whole + kPage;
        } else if (whole >= 3 * kPage) {
            m_size = whole;
        }
        return m_size;
    }
};

} // namespace fuzz
