#pragma once

// One fault in the first table of a file our writer wrote, made in the file's bytes, for trying
// the readers on a file that contradicts itself. Each is a contradiction no whole file has.

#include "data/jet/JetFormat.h"
#include "data/jet/JetLayout.h"
#include "data/jet/JetPages.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <vector>

namespace filedamage {

enum class Fault {
    None,
    MapBitCleared,   // its second data page left out of its usage map
    RowCountLowered, // its first data page counts one row less than it holds
    SlotDeleted,     // the first row of its first data page flagged deleted, the row count kept
    SharedChainTail, // its second chained long value runs into the first one's chain
    MovedToLiveRow,  // its first moved row points at a live row (written with moveEvery)
};

// The writer defines the first table on the page after Access's system tables.
constexpr quint32 kFirstTable = 6;

namespace detail {

using namespace jet;

inline const uchar *at(const QByteArray &f, qint64 offset)
{
    return reinterpret_cast<const uchar *>(f.constData()) + offset;
}
inline void put16(QByteArray &f, qint64 offset, quint32 v)
{
    f[offset] = char(v & 0xFF);
    f[offset + 1] = char((v >> 8) & 0xFF);
}
inline void put32(QByteArray &f, qint64 offset, quint32 v)
{
    put16(f, offset, v & 0xFFFF);
    put16(f, offset + 2, v >> 16);
}
inline qint64 pageAt(quint32 page)
{
    return qint64(page) * kPageSize;
}
// Where the row that `pointer` (page << 8 | row) names starts.
inline qint64 rowAt(const QByteArray &f, quint32 pointer)
{
    const qint64 page = pageAt(pointer >> 8);
    return page + (get16(at(f, page + datapage::kOffsets + 2 * qint64(pointer & 0xFF))) & datapage::kOffsetMask);
}

// The data pages the table defined on `owner` holds its rows on, ascending.
inline std::vector<quint32> dataPages(const QByteArray &f, quint32 owner)
{
    std::vector<quint32> pages;
    for (quint32 p = 3; p < quint32(f.size() / kPageSize); ++p)
        if (uchar(f.at(pageAt(p))) == pagetype::kData && get32(at(f, pageAt(p) + datapage::kOwner)) == owner)
            pages.push_back(p);
    return pages;
}

// The first pages of the file's chained long values, ascending. A chain's rows fill a
// long-value page each, the first naming the page allocated after it.
inline std::vector<quint32> chains(const QByteArray &f)
{
    std::vector<quint32> firsts;
    bool inChain = false;
    for (quint32 p = 3; p + 1 < quint32(f.size() / kPageSize); ++p) {
        const qint64 page = pageAt(p);
        const bool link = uchar(f.at(page)) == pagetype::kData && f.mid(page + datapage::kOwner, 4) == "LVAL"
                          && get16(at(f, page + datapage::kRowCount)) == 1
                          && get16(at(f, page + datapage::kOffsets)) == datapage::kOffsets + 2
                          && get32(at(f, page + datapage::kOffsets + 2)) == (p + 1) << 8;
        if (link && !inChain)
            firsts.push_back(p);
        inChain = link;
    }
    return firsts;
}

} // namespace detail

// Makes `fault` in the bytes of `file`; false when the file has not what the fault needs.
inline bool damage(QByteArray &file, Fault fault)
{
    using namespace detail;
    if (fault == Fault::None)
        return true;
    const std::vector<quint32> pages = dataPages(file, kFirstTable);
    if (pages.empty())
        return false;
    const qint64 first = pageAt(pages.front());
    const int rows = get16(at(file, first + datapage::kRowCount));
    switch (fault) {
    case Fault::None: return true;
    case Fault::RowCountLowered:
        if (rows < 2)
            return false;
        put16(file, first + datapage::kRowCount, quint32(rows - 1));
        return true;
    case Fault::SlotDeleted:
        if (rows < 1)
            return false;
        put16(file, first + datapage::kOffsets, get16(at(file, first + datapage::kOffsets)) | datapage::kDeleted);
        return true;
    case Fault::MapBitCleared: {
        if (pages.size() < 2)
            return false;
        const quint32 page = pages[1];
        const qint64 map = rowAt(file, get32(at(file, pageAt(kFirstTable) + tdef::kOwnedPages)));
        qint64 bits = 0;
        quint32 bit = 0;
        if (uchar(file.at(map + usagemap::kKind)) == usagemap::kInline) {
            bits = map + usagemap::kBits;
            bit = page - get32(at(file, map + usagemap::kStartPage));
        } else {
            const quint32 k = page / usagemap::kPagesPerBitmap;
            bits = pageAt(get32(at(file, map + usagemap::kPointers + 4 * qint64(k)))) + usagemap::kBitmapBits;
            bit = page % usagemap::kPagesPerBitmap;
        }
        file[bits + bit / 8] = char(uchar(file.at(bits + bit / 8)) & ~(1u << (bit % 8)));
        return true;
    }
    case Fault::SharedChainTail: {
        const std::vector<quint32> firsts = chains(file);
        if (firsts.size() < 2)
            return false;
        put32(file, pageAt(firsts[1]) + datapage::kOffsets + 2, (firsts[0] + 1) << 8);
        return true;
    }
    case Fault::MovedToLiveRow:
        for (quint32 p : pages)
            for (int r = 0; r < get16(at(file, pageAt(p) + datapage::kRowCount)); ++r) {
                const quint16 entry = get16(at(file, pageAt(p) + datapage::kOffsets + 2 * r));
                if (entry & datapage::kPointer) {
                    put32(file, pageAt(p) + (entry & datapage::kOffsetMask), pages.front() << 8);
                    return true;
                }
            }
        return false;
    }
    return false;
}

// The same on the file at `path`.
inline bool damage(const QString &path, Fault fault)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    QByteArray bytes = f.readAll();
    f.close();
    if (!damage(bytes, fault))
        return false;
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace filedamage
