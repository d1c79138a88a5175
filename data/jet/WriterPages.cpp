#include "data/jet/WriterImpl.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace jet {

using namespace writer;

quint32 Writer::Impl::allocPage()
{
    if (nextPage >= kMaxPages)
        throw Error(QStringLiteral("database too large: a Jet 4 file holds at most 2 GB"));
    return nextPage++;
}

void Writer::Impl::writePage(quint32 pg, const quint8 *data)
{
    const off_t offset = off_t(pg) * kPageSize;
    int done = 0;
    while (done < kPageSize) {
        const ssize_t n = ::pwrite(fd, data + done, kPageSize - done, offset + done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw Error(
                QStringLiteral("cannot write %1: %2").arg(tmpPath, QString::fromLocal8Bit(std::strerror(errno))));
        }
        done += int(n);
    }
}

void Writer::Impl::openPage(FillingPage &p, quint32 number, quint32 owner, bool longValues)
{
    p.buf.assign(kPageSize, 0);
    p.number = number;
    p.rows = 0;
    p.freeEnd = kPageSize;
    p.open = true;
    p.buf[0] = pagetype::kData;
    p.buf[1] = pagetype::kJet4;
    if (longValues)
        std::memcpy(p.buf.data() + datapage::kOwner, "LVAL", 4);
    else
        put32(p.buf.data() + datapage::kOwner, owner);
}

void Writer::Impl::flushPage(FillingPage &p)
{
    put16(p.buf.data() + datapage::kFreeSpace, p.freeSpace());
    put16(p.buf.data() + datapage::kRowCount, p.rows);
    writePage(p.number, p.buf.data());
    p.open = false;
}

// Stores one usage map row and returns its row pointer (page << 8 | row).
quint32 Writer::Impl::placeMapRow(const std::vector<quint8> &r)
{
    if (!maps.fits(int(r.size()))) {
        if (maps.open)
            flushPage(maps);
        const quint32 number = firstMapPageUsed ? allocPage() : kFirstMapPage;
        firstMapPageUsed = true;
        openPage(maps, number, 0, false);
        if (number == kFirstMapPage)
            for (int i = 0; i < options.mapSlotsFrom; ++i) {
                const quint8 filler[4] = {};
                maps.place(filler, 4, datapage::kDeleted);
            }
    }
    const int rowIndex = maps.place(r.data(), int(r.size()));
    return (maps.number << 8) | quint32(rowIndex);
}

// Usage map of `pages` (ascending): inline when they fit one 512-page window, otherwise a
// list of bitmap pages, each covering 32736 pages.
std::vector<quint8> Writer::Impl::usageMap(const std::vector<quint32> &pages)
{
    std::vector<quint8> r(kMapRowLength, 0);
    if (pages.empty())
        return r;
    const quint32 lo = pages.front();
    const quint32 hi = pages.back();
    if (hi - lo < quint32(kInlineMapPages)) {
        put32(r.data() + usagemap::kStartPage, lo);
        for (quint32 p : pages) {
            const quint32 bit = p - lo;
            r[usagemap::kBits + bit / 8] |= quint8(1u << (bit % 8));
        }
        return r;
    }
    r[usagemap::kKind] = usagemap::kPages;
    std::vector<quint8> bitmap;
    quint32 current = 0xffffffff;
    auto flushBitmap = [&]() {
        if (current == 0xffffffff)
            return;
        const quint32 pg = allocPage();
        writePage(pg, bitmap.data());
        put32(r.data() + usagemap::kPointers + 4 * current, pg);
    };
    for (quint32 p : pages) {
        const quint32 index = p / usagemap::kPagesPerBitmap;
        if (index >= quint32(kMapPagePointers))
            throw Error(QStringLiteral("database too large for Jet 4 usage maps"));
        if (index != current) {
            flushBitmap();
            bitmap.assign(kPageSize, 0);
            bitmap[0] = pagetype::kUsageBitmap;
            bitmap[1] = pagetype::kJet4;
            current = index;
        }
        const quint32 bit = p % usagemap::kPagesPerBitmap;
        bitmap[usagemap::kBitmapBits + bit / 8] |= quint8(1u << (bit % 8));
    }
    flushBitmap();
    return r;
}

// Stores a long value outside the row and fills the 12-byte reference.
void Writer::Impl::storeLongValue(int ci, const std::vector<quint8> &bytes, quint8 *ref)
{
    Table &t = *table;
    const int n = int(bytes.size());
    if (n <= kLvalSingleMax) {
        FillingPage &lp = t.lval[ci];
        if (!lp.fits(n)) {
            if (lp.open)
                flushPage(lp);
            openPage(lp, allocPage(), 0, true);
            t.lvalPages[ci].push_back(lp.number);
        }
        const int r = lp.place(bytes.data(), n);
        put32(ref + longvalue::kLength, quint32(n) | longvalue::kSingleRow);
        put32(ref + longvalue::kPointer, (lp.number << 8) | quint32(r));
        return;
    }
    // Chained pieces, one page each, linked by the pointer in front of each piece.
    const int pieces = (n + kLvalChunk - 1) / kLvalChunk;
    std::vector<quint32> numbers(pieces);
    for (int i = 0; i < pieces; ++i)
        numbers[i] = allocPage();
    std::vector<quint8> piece;
    for (int i = 0; i < pieces; ++i) {
        const int from = i * kLvalChunk;
        const int len = std::min(kLvalChunk, n - from);
        piece.assign(longvalue::kChainPointer, 0);
        if (i + 1 < pieces)
            put32(piece.data(), numbers[i + 1] << 8);
        piece.insert(piece.end(), bytes.begin() + from, bytes.begin() + from + len);
        FillingPage p;
        openPage(p, numbers[i], 0, true);
        p.place(piece.data(), int(piece.size()));
        flushPage(p);
        t.lvalPages[ci].push_back(numbers[i]);
    }
    put32(ref + longvalue::kLength, quint32(n));
    put32(ref + longvalue::kPointer, numbers[0] << 8);
}

void Writer::Impl::endTable()
{
    if (!table)
        throw Error(QStringLiteral("endTable() without beginTable()"));
    Table &t = *table;
    if (t.data.open)
        flushPage(t.data);
    if (t.moved.open)
        flushPage(t.moved);
    std::sort(t.dataPages.begin(), t.dataPages.end());
    if (options.strayPages && !t.lastRow.empty()) {
        FillingPage stray;
        openPage(stray, allocPage(), t.tdefPage, false);
        stray.place(t.lastRow.data(), int(t.lastRow.size()));
        flushPage(stray);
    }
    for (FillingPage &p : t.lval)
        if (p.open)
            flushPage(p);
    const std::vector<quint32> none;
    const quint32 owned = placeMapRow(usageMap(t.dataPages));
    const quint32 freeMap = placeMapRow(usageMap(none));

    std::vector<quint8> td(tdef::kEntries, 0);
    td[0] = pagetype::kDefinition;
    td[1] = pagetype::kJet4;
    put32(&td[tdef::kTableNumber], kMagicTableNumber);
    put32(&td[tdef::kRowCount], t.rows);
    td[24] = 0x01;
    td[tdef::kTableType] = t.system ? 'S' : 'N';
    const int ncols = int(t.cols.size());
    put16(&td[tdef::kMaxColumns], ncols);
    put16(&td[tdef::kVariableCount], t.numVar);
    put16(&td[tdef::kColumnCount], ncols);
    put32(&td[tdef::kOwnedPages], owned);
    put32(&td[tdef::kFreePages], freeMap);
    for (int i = 0; i < ncols; ++i) {
        const Col &c = t.cols[i];
        quint8 e[column::kEntry] = {};
        e[column::kType] = c.type;
        put32(e + column::kTableNumber, kMagicTableNumber);
        put16(e + column::kNumber, i);
        put16(e + column::kVarIndex, c.fixed ? 0 : c.varIndex);
        put16(e + column::kIndex, i);
        if (c.type == kText || c.type == kMemo)
            put16(e + column::kSortOrder, 0x0409); // General sort order
        if (c.type == kDecimal) {
            e[column::kPrecision] = quint8(c.precision);
            e[column::kScale] = quint8(c.scale);
        }
        e[column::kFlags] = c.fixed ? column::kFixed | column::kNullable : column::kNullable;
        if (options.compressText && (c.type == kText || c.type == kMemo))
            e[column::kCompression] = column::kCompressed;

        put16(e + column::kFixedOffset, c.fixed ? c.fixedOffset : 0);
        int len = 0;
        if (c.type == kText)
            len = c.maxChars * 2;
        else if (c.type == kBinary)
            len = c.maxChars;
        else if (c.type == kBoolean)
            len = 1;
        else
            len = fixedSize(c.type);
        put16(e + column::kSize, len);
        td.insert(td.end(), e, e + column::kEntry);
    }
    for (const Col &c : t.cols) {
        append16(td, quint32(c.name.size() * 2));
        appendUtf16(td, c.name);
    }
    for (int i = 0; i < ncols; ++i) {
        const Col &c = t.cols[i];
        if (c.type != kMemo && c.type != kOle)
            continue;
        const quint32 lvOwned = placeMapRow(usageMap(t.lvalPages[i]));
        const quint32 lvFree = placeMapRow(usageMap(none));
        append16(td, quint32(i));
        append32(td, lvOwned);
        append32(td, lvFree);
    }
    append16(td, 0xffff);
    put32(&td[tdef::kLength], quint32(td.size()));
    writeDefinition(t.tdefPage, td);
    catalog.push_back({t.name, t.tdefPage, t.system});
    table.reset();
}

// A definition longer than a page continues on further pages, each with an 8-byte header.
void Writer::Impl::writeDefinition(quint32 firstPage, const std::vector<quint8> &td)
{
    std::vector<quint8> page(kPageSize, 0);
    size_t pos = 0;
    quint32 current = firstPage;
    bool first = true;
    while (true) {
        std::fill(page.begin(), page.end(), 0);
        page[0] = pagetype::kDefinition;
        page[1] = pagetype::kJet4;
        size_t room;
        if (first) {
            room = std::min(td.size(), size_t(kPageSize));
            std::memcpy(page.data(), td.data(), room);
        } else {
            room = std::min(td.size() - pos, size_t(kPageSize - tdef::kContinuationHeader));
            std::memcpy(page.data() + tdef::kContinuationHeader, td.data() + pos, room);
        }
        const size_t used = first ? room : room + tdef::kContinuationHeader;
        pos += room;
        quint32 next = 0;
        if (pos < td.size())
            next = allocPage();
        put16(page.data() + tdef::kFreeSpace, quint32(kPageSize - used) >= 8 ? quint32(kPageSize - used - 8) : 0);
        put32(page.data() + tdef::kNextPage, next);
        writePage(current, page.data());
        if (!next)
            break;
        current = next;
        first = false;
    }
}

} // namespace jet
