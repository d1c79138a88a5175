#include "data/jet/Writer.h"

#include "data/jet/JetHeader.h"
#include "data/jet/WriterValues.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jet {

namespace {

constexpr int kDataHeader = 14;            // data page header, up to the row offset table
constexpr int kMaxRowsPerPage = 255;       // a row pointer keeps the row number in one byte
constexpr int kMaxRowSize = 4060;          // largest row Jet 4 accepts on a data page
constexpr int kMaxInlineLongValue = 64;    // longer Memo values go to long-value pages
constexpr int kLvalSingleMax = kPageSize - kDataHeader - 2;
constexpr int kLvalChunk = kLvalSingleMax - 4;   // a chained piece starts with the next pointer
constexpr int kMaxLongValueBytes = 0x00ffffff;  // the high byte of the length holds flags
constexpr int kMapRowLength = 69;          // usage map rows: 1 type byte + 68 bytes
constexpr int kInlineMapPages = 64 * 8;    // type 0 map: start page + 64 bytes of bits
constexpr int kMapPagePointers = 17;       // type 1 map: 17 pointers to bitmap pages
constexpr quint32 kPagesPerMapPage = (kPageSize - 4) * 8;
constexpr quint32 kMagicTableNumber = 1625;
constexpr quint32 kFirstMapPage = 1;
constexpr quint32 kCatalogPage = 2;
constexpr int kMaxNameLength = 64;
constexpr quint32 kMaxPages = quint32((2u << 30) / kPageSize);   // Jet 4 files stop at 2 GB

void put16(quint8* p, quint32 v)
{
    p[0] = v & 0xff;
    p[1] = (v >> 8) & 0xff;
}

void put32(quint8* p, quint32 v)
{
    p[0] = v & 0xff;
    p[1] = (v >> 8) & 0xff;
    p[2] = (v >> 16) & 0xff;
    p[3] = (v >> 24) & 0xff;
}

void append16(std::vector<quint8>& b, quint32 v)
{
    b.push_back(v & 0xff);
    b.push_back((v >> 8) & 0xff);
}

void append32(std::vector<quint8>& b, quint32 v)
{
    append16(b, v & 0xffff);
    append16(b, v >> 16);
}

void appendUtf16(std::vector<quint8>& b, const QString& s)
{
    const char16_t* u = reinterpret_cast<const char16_t*>(s.utf16());
    for (qsizetype i = 0; i < s.size(); ++i)
        append16(b, u[i]);
}

enum class Kind { Text, Memo, Long, Date, Int16, Ole, Bool, Byte, Money, Single, Double, Binary, Guid, Decimal };

struct Col {
    QString name;
    Kind kind;
    quint8 jetType;
    bool fixed;
    int fixedSize = 0;
    int maxChars = 0;
    int fixedOffset = 0;
    int varIndex = 0;
    int precision = 0;
    int scale = 0;
};

// A data or long-value page being filled; rows grow from the end of the page downwards.
struct Page {
    std::vector<quint8> buf;
    quint32 number = 0;
    int rows = 0;
    int freeEnd = kPageSize;
    bool open = false;

    int freeSpace() const { return freeEnd - (kDataHeader + 2 * rows); }
    bool fits(int size) const { return open && rows < kMaxRowsPerPage && freeSpace() >= size + 2; }
    // `flags`: 0x8000 deleted, 0x4000 a pointer to the row's real place.
    int place(const quint8* data, int size, quint16 flags = 0)
    {
        freeEnd -= size;
        std::memcpy(buf.data() + freeEnd, data, size);
        put16(buf.data() + kDataHeader + 2 * rows, quint32(freeEnd) | flags);
        return rows++;
    }
};

struct Table {
    QString name;
    std::vector<Col> cols;
    int numVar = 0;
    int fixedBytes = 0;
    bool system = false;
    quint32 tdefPage = 0;
    quint32 rows = 0;
    std::vector<quint32> dataPages;
    Page data;
    Page moved;                                  // rows moved off their page
    std::vector<quint8> lastRow;
    std::vector<Page> lval;                      // per column; used by long-value columns
    std::vector<std::vector<quint32>> lvalPages;
};

struct CatalogEntry {
    QString name;
    quint32 tdefPage;
    bool system;
};

QString typeName(Kind k)
{
    switch (k) {
    case Kind::Text: return QStringLiteral("Text");
    case Kind::Memo: return QStringLiteral("Memo");
    case Kind::Long: return QStringLiteral("Long Integer");
    case Kind::Date: return QStringLiteral("Date/Time");
    case Kind::Int16: return QStringLiteral("Integer");
    case Kind::Ole: return QStringLiteral("OLE Object");
    case Kind::Bool: return QStringLiteral("Yes/No");
    case Kind::Byte: return QStringLiteral("Byte");
    case Kind::Money: return QStringLiteral("Currency");
    case Kind::Single: return QStringLiteral("Single");
    case Kind::Double: return QStringLiteral("Double");
    case Kind::Binary: return QStringLiteral("Binary");
    case Kind::Guid: return QStringLiteral("Replication ID");
    case Kind::Decimal: return QStringLiteral("Decimal");
    }
    return QString();
}

}  // namespace

struct Writer::Impl {
    QString outPath;
    QString tmpPath;
    QString password;
    QDateTime created;
    WriterOptions options;
    int fd = -1;
    bool finished = false;
    quint32 nextPage = 3;   // 0 definition page, 1 first usage-map page, 2 catalog definition
    std::unique_ptr<Table> table;
    std::vector<CatalogEntry> catalog;
    QSet<QString> tableNames;
    Page maps;              // page receiving usage map rows
    bool firstMapPageUsed = false;
    std::vector<quint8> row;
    std::vector<quint8> nullMask;
    std::vector<int> varOffsets;
    std::vector<quint8> valueBytes;

    quint32 allocPage()
    {
        if (nextPage >= kMaxPages)
            throw Error(QStringLiteral("database too large: a Jet 4 file holds at most 2 GB"));
        return nextPage++;
    }

    void writePage(quint32 pg, const quint8* data)
    {
        const off_t offset = off_t(pg) * kPageSize;
        int done = 0;
        while (done < kPageSize) {
            const ssize_t n = ::pwrite(fd, data + done, kPageSize - done, offset + done);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw Error(QStringLiteral("cannot write %1: %2")
                                .arg(tmpPath, QString::fromLocal8Bit(std::strerror(errno))));
            }
            done += int(n);
        }
    }

    void openPage(Page& p, quint32 number, quint32 owner, bool longValues)
    {
        p.buf.assign(kPageSize, 0);
        p.number = number;
        p.rows = 0;
        p.freeEnd = kPageSize;
        p.open = true;
        p.buf[0] = 0x01;
        p.buf[1] = 0x01;
        if (longValues)
            std::memcpy(p.buf.data() + 4, "LVAL", 4);
        else
            put32(p.buf.data() + 4, owner);
    }

    void flushPage(Page& p)
    {
        put16(p.buf.data() + 2, p.freeSpace());
        put16(p.buf.data() + 12, p.rows);
        writePage(p.number, p.buf.data());
        p.open = false;
    }

    // Stores one usage map row and returns its row pointer (page << 8 | row).
    quint32 placeMapRow(const std::vector<quint8>& r)
    {
        if (!maps.fits(int(r.size()))) {
            if (maps.open)
                flushPage(maps);
            const quint32 number = firstMapPageUsed ? allocPage() : kFirstMapPage;
            firstMapPageUsed = true;
            openPage(maps, number, 0, false);
        }
        const int rowIndex = maps.place(r.data(), int(r.size()));
        return (maps.number << 8) | quint32(rowIndex);
    }

    // Usage map of `pages` (ascending): inline when they fit one 512-page window, otherwise a
    // list of bitmap pages, each covering 32736 pages.
    std::vector<quint8> usageMap(const std::vector<quint32>& pages)
    {
        std::vector<quint8> r(kMapRowLength, 0);
        if (pages.empty())
            return r;
        const quint32 lo = pages.front();
        const quint32 hi = pages.back();
        if (hi - lo < quint32(kInlineMapPages)) {
            put32(r.data() + 1, lo);
            for (quint32 p : pages) {
                const quint32 bit = p - lo;
                r[5 + bit / 8] |= quint8(1u << (bit % 8));
            }
            return r;
        }
        r[0] = 0x01;
        std::vector<quint8> bitmap;
        quint32 current = 0xffffffff;
        auto flushBitmap = [&]() {
            if (current == 0xffffffff)
                return;
            const quint32 pg = allocPage();
            writePage(pg, bitmap.data());
            put32(r.data() + 1 + 4 * current, pg);
        };
        for (quint32 p : pages) {
            const quint32 index = p / kPagesPerMapPage;
            if (index >= quint32(kMapPagePointers))
                throw Error(QStringLiteral("database too large for Jet 4 usage maps"));
            if (index != current) {
                flushBitmap();
                bitmap.assign(kPageSize, 0);
                bitmap[0] = 0x05;
                bitmap[1] = 0x01;
                current = index;
            }
            const quint32 bit = p % kPagesPerMapPage;
            bitmap[4 + bit / 8] |= quint8(1u << (bit % 8));
        }
        flushBitmap();
        return r;
    }

    void startTable(const QString& name, std::vector<Col> cols, bool system, quint32 tdefPage)
    {
        auto t = std::make_unique<Table>();
        t->name = name;
        t->system = system;
        t->tdefPage = tdefPage;
        for (Col& c : cols) {
            if (c.fixed) {
                c.fixedOffset = t->fixedBytes;
                t->fixedBytes += c.fixedSize;
            } else {
                c.varIndex = t->numVar++;
            }
        }
        t->cols = std::move(cols);
        t->lval.resize(t->cols.size());
        t->lvalPages.resize(t->cols.size());
        table = std::move(t);
    }

    QString where(const Col& c) const
    {
        return QStringLiteral("table %1, row %2, column %3").arg(table->name).arg(table->rows + 1).arg(c.name);
    }

    // Stores a long value outside the row and fills the 12-byte reference.
    void storeLongValue(int ci, const std::vector<quint8>& bytes, quint8* ref)
    {
        Table& t = *table;
        const int n = int(bytes.size());
        if (n <= kLvalSingleMax) {
            Page& lp = t.lval[ci];
            if (!lp.fits(n)) {
                if (lp.open)
                    flushPage(lp);
                openPage(lp, allocPage(), 0, true);
                t.lvalPages[ci].push_back(lp.number);
            }
            const int r = lp.place(bytes.data(), n);
            put32(ref, quint32(n) | 0x40000000u);
            put32(ref + 4, (lp.number << 8) | quint32(r));
            put32(ref + 8, 0);
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
            piece.assign(4, 0);
            if (i + 1 < pieces)
                put32(piece.data(), numbers[i + 1] << 8);
            piece.insert(piece.end(), bytes.begin() + from, bytes.begin() + from + len);
            Page p;
            openPage(p, numbers[i], 0, true);
            p.place(piece.data(), int(piece.size()));
            flushPage(p);
            t.lvalPages[ci].push_back(numbers[i]);
        }
        put32(ref, quint32(n));
        put32(ref + 4, numbers[0] << 8);
        put32(ref + 8, 0);
    }

    void encodeFixed(const Col& c, const QVariant& v, quint8* out)
    {
        switch (c.kind) {
        case Kind::Long:
        case Kind::Int16: {
            bool ok = false;
            qlonglong x = 0;
            if (v.typeId() == QMetaType::QString)
                x = v.toString().trimmed().toLongLong(&ok);
            else
                x = v.toLongLong(&ok);
            const qlonglong lo = c.kind == Kind::Long ? -2147483648LL : -32768;
            const qlonglong hi = c.kind == Kind::Long ? 2147483647LL : 32767;
            if (!ok || x < lo || x > hi)
                throw Error(QStringLiteral("%1: not a %2 value: %3").arg(where(c), typeName(c.kind), v.toString()));
            if (c.kind == Kind::Long)
                put32(out, quint32(qint32(x)));
            else
                put16(out, quint32(quint16(qint16(x))));
            break;
        }
        case Kind::Date: {
            QDateTime dt;
            if (v.typeId() == QMetaType::QDateTime)
                dt = v.toDateTime();
            else if (v.typeId() == QMetaType::QDate)
                dt = QDateTime(v.toDate(), QTime(0, 0));
            else if (v.typeId() == QMetaType::QString)
                dt = QDateTime::fromString(v.toString(), Qt::ISODate);
            if (!dt.isValid())
                throw Error(QStringLiteral("%1: not a date: %2").arg(where(c), v.toString()));
            const double d = toJetDate(dt);
            std::memcpy(out, &d, 8);
            break;
        }
        case Kind::Byte: {
            bool ok = false;
            const int x = v.toInt(&ok);
            if (!ok || x < 0 || x > 255)
                throw Error(QStringLiteral("%1: not a Byte value: %2").arg(where(c), v.toString()));
            out[0] = quint8(x);
            break;
        }
        case Kind::Single: {
            bool ok = false;
            const float f = v.toFloat(&ok);
            if (!ok)
                throw Error(QStringLiteral("%1: not a Single value: %2").arg(where(c), v.toString()));
            std::memcpy(out, &f, 4);
            break;
        }
        case Kind::Double: {
            bool ok = false;
            const double d = v.toDouble(&ok);
            if (!ok)
                throw Error(QStringLiteral("%1: not a Double value: %2").arg(where(c), v.toString()));
            std::memcpy(out, &d, 8);
            break;
        }
        case Kind::Money:
        case Kind::Decimal:
        case Kind::Guid: {
            const bool ok = c.kind == Kind::Money     ? values::encodeCurrency(v, out)
                             : c.kind == Kind::Decimal ? values::encodeDecimal(v, c.precision, c.scale, out)
                                                       : values::encodeGuid(v, out);
            if (!ok)
                throw Error(QStringLiteral("%1: not a %2 value: %3").arg(where(c), typeName(c.kind), v.toString()));
            break;
        }
        default:
            break;
        }
    }

    // A row on the current data page of the table, a new page opened when it is full.
    int placeRow(Page& page, const std::vector<quint8>& bytes, quint16 flags)
    {
        Table& t = *table;
        if (!page.fits(int(bytes.size()))) {
            if (page.open)
                flushPage(page);
            openPage(page, allocPage(), t.tdefPage, false);
            t.dataPages.push_back(page.number);
        }
        return page.place(bytes.data(), int(bytes.size()), flags);
    }

    void addRow(const QVector<QVariant>& values)
    {
        if (!table)
            throw Error(QStringLiteral("addRow() outside a table"));
        Table& t = *table;
        const int ncols = int(t.cols.size());
        if (values.size() != ncols)
            throw Error(QStringLiteral("table %1, row %2: %3 values for %4 columns")
                            .arg(t.name).arg(t.rows + 1).arg(values.size()).arg(ncols));
        row.assign(2 + t.fixedBytes, 0);
        put16(row.data(), ncols);
        nullMask.assign((ncols + 7) / 8, 0);
        varOffsets.assign(t.numVar, 0);

        for (int i = 0; i < ncols; ++i) {
            const Col& c = t.cols[i];
            const QVariant& v = values[i];
            const bool isNull = v.isNull() || !v.isValid();
            if (c.kind == Kind::Bool) {
                // The null mask holds a Yes/No value; it has no NULL.
                if (!isNull && v.toBool())
                    nullMask[i / 8] |= quint8(1u << (i % 8));
            } else if (c.fixed) {
                if (!isNull) {
                    encodeFixed(c, v, row.data() + 2 + c.fixedOffset);
                    nullMask[i / 8] |= quint8(1u << (i % 8));
                }
            }
        }
        for (int i = 0; i < ncols; ++i) {
            const Col& c = t.cols[i];
            if (c.fixed)
                continue;
            const QVariant& v = values[i];
            varOffsets[c.varIndex] = int(row.size());
            if (v.isNull() || !v.isValid())
                continue;
            QString s;
            if (c.kind != Kind::Ole && c.kind != Kind::Binary)
                s = v.toString();
            if (c.kind == Kind::Text) {
                if (s.size() > c.maxChars)
                    throw Error(QStringLiteral("%1: value too long (%2 characters, at most %3)")
                                    .arg(where(c)).arg(s.size()).arg(c.maxChars));
                if (options.compressText && values::compressText(s, valueBytes))
                    row.insert(row.end(), valueBytes.begin(), valueBytes.end());
                else
                    appendUtf16(row, s);
            } else if (c.kind == Kind::Binary) {
                const QByteArray b = v.toByteArray();
                if (b.size() > 255)
                    throw Error(QStringLiteral("%1: value too long (%2 bytes, at most 255)").arg(where(c)).arg(b.size()));
                row.insert(row.end(), b.begin(), b.end());
            } else {
                valueBytes.clear();
                if (c.kind == Kind::Ole) {
                    const QByteArray b = v.toByteArray();
                    valueBytes.assign(b.begin(), b.end());
                } else if (!options.compressText || !values::compressText(s, valueBytes)) {
                    valueBytes.clear();
                    appendUtf16(valueBytes, s);
                }
                if (valueBytes.size() > size_t(kMaxLongValueBytes))
                    throw Error(QStringLiteral("%1: value too long (%2 characters)").arg(where(c)).arg(s.size()));
                const size_t at = row.size();
                row.resize(at + 12, 0);
                if (valueBytes.size() <= size_t(kMaxInlineLongValue)) {
                    put32(row.data() + at, quint32(valueBytes.size()) | 0x80000000u);
                    row.insert(row.end(), valueBytes.begin(), valueBytes.end());
                } else {
                    storeLongValue(i, valueBytes, row.data() + at);
                }
            }
            nullMask[i / 8] |= quint8(1u << (i % 8));
        }
        if (t.numVar > 0) {
            append16(row, quint32(row.size()));   // end of the variable data
            for (int k = t.numVar - 1; k >= 0; --k)
                append16(row, quint32(varOffsets[k]));
            append16(row, quint32(t.numVar));
        }
        row.insert(row.end(), nullMask.begin(), nullMask.end());
        if (row.size() > size_t(kMaxRowSize))
            throw Error(QStringLiteral("table %1, row %2: row too large (%3 bytes, at most %4)")
                            .arg(t.name).arg(t.rows + 1).arg(row.size()).arg(kMaxRowSize));
        const quint32 n = t.rows + 1;
        if (options.moveEvery > 0 && n % quint32(options.moveEvery) == 0) {
            // Kept on a page of moved rows, marked deleted there so a scan passes it by; its
            // place holds a pointer (row number, then the page in three bytes).
            const int at = placeRow(t.moved, row, 0x8000);
            std::vector<quint8> pointer(4);
            put32(pointer.data(), (t.moved.number << 8) | quint32(at));
            placeRow(t.data, pointer, 0x4000);
        } else {
            placeRow(t.data, row, 0);
        }
        if (options.deleteEvery > 0 && n % quint32(options.deleteEvery) == 0)
            placeRow(t.data, row, 0x8000);
        t.lastRow = row;
        ++t.rows;
    }

    void endTable()
    {
        if (!table)
            throw Error(QStringLiteral("endTable() without beginTable()"));
        Table& t = *table;
        if (t.data.open)
            flushPage(t.data);
        if (t.moved.open)
            flushPage(t.moved);
        std::sort(t.dataPages.begin(), t.dataPages.end());
        if (options.strayPages && !t.lastRow.empty()) {
            Page stray;
            openPage(stray, allocPage(), t.tdefPage, false);
            stray.place(t.lastRow.data(), int(t.lastRow.size()));
            flushPage(stray);
        }
        for (Page& p : t.lval)
            if (p.open)
                flushPage(p);
        const std::vector<quint32> none;
        const quint32 owned = placeMapRow(usageMap(t.dataPages));
        const quint32 freeMap = placeMapRow(usageMap(none));

        std::vector<quint8> td(63, 0);
        td[0] = 0x02;
        td[1] = 0x01;
        put32(&td[12], kMagicTableNumber);
        put32(&td[16], t.rows);
        td[24] = 0x01;
        td[40] = t.system ? 0x53 : 0x4e;
        const int ncols = int(t.cols.size());
        put16(&td[41], ncols);
        put16(&td[43], t.numVar);
        put16(&td[45], ncols);
        put32(&td[55], owned);
        put32(&td[59], freeMap);
        for (int i = 0; i < ncols; ++i) {
            const Col& c = t.cols[i];
            quint8 e[25] = {};
            e[0] = c.jetType;
            put32(e + 1, kMagicTableNumber);
            put16(e + 5, i);
            put16(e + 7, c.fixed ? 0 : c.varIndex);
            put16(e + 9, i);
            if (c.kind == Kind::Text || c.kind == Kind::Memo)
                put16(e + 11, 0x0409);   // General sort order
            if (c.kind == Kind::Decimal) {
                e[11] = quint8(c.precision);
                e[12] = quint8(c.scale);
            }
            e[15] = c.fixed ? 0x03 : 0x02;
            if (options.compressText && (c.kind == Kind::Text || c.kind == Kind::Memo))
                e[16] = 0x01;   // compressed Unicode

            put16(e + 21, c.fixed ? c.fixedOffset : 0);
            int len = 0;
            if (c.kind == Kind::Text)
                len = c.maxChars * 2;
            else if (c.kind == Kind::Binary)
                len = 255;
            else if (c.kind == Kind::Bool)
                len = 1;
            else if (c.fixed)
                len = c.fixedSize;
            put16(e + 23, len);
            td.insert(td.end(), e, e + 25);
        }
        for (const Col& c : t.cols) {
            append16(td, quint32(c.name.size() * 2));
            appendUtf16(td, c.name);
        }
        for (int i = 0; i < ncols; ++i) {
            const Col& c = t.cols[i];
            if (c.kind != Kind::Memo && c.kind != Kind::Ole)
                continue;
            const quint32 lvOwned = placeMapRow(usageMap(t.lvalPages[i]));
            const quint32 lvFree = placeMapRow(usageMap(none));
            append16(td, quint32(i));
            append32(td, lvOwned);
            append32(td, lvFree);
        }
        append16(td, 0xffff);
        put32(&td[8], quint32(td.size()));
        writeDefinition(t.tdefPage, td);
        catalog.push_back({t.name, t.tdefPage, t.system});
        table.reset();
    }

    // A definition longer than a page continues on further pages, each with an 8-byte header.
    void writeDefinition(quint32 firstPage, const std::vector<quint8>& td)
    {
        std::vector<quint8> page(kPageSize, 0);
        size_t pos = 0;
        quint32 current = firstPage;
        bool first = true;
        while (true) {
            std::fill(page.begin(), page.end(), 0);
            page[0] = 0x02;
            page[1] = 0x01;
            size_t room;
            if (first) {
                room = std::min(td.size(), size_t(kPageSize));
                std::memcpy(page.data(), td.data(), room);
            } else {
                room = std::min(td.size() - pos, size_t(kPageSize - 8));
                std::memcpy(page.data() + 8, td.data() + pos, room);
            }
            const size_t used = first ? room : room + 8;
            pos += room;
            quint32 next = 0;
            if (pos < td.size())
                next = allocPage();
            put16(page.data() + 2, quint32(kPageSize - used) >= 8 ? quint32(kPageSize - used - 8) : 0);
            put32(page.data() + 4, next);
            writePage(current, page.data());
            if (!next)
                break;
            current = next;
            first = false;
        }
    }
};

namespace {

Col makeCol(const QString& name, Kind kind, int maxChars = 0)
{
    Col c;
    c.name = name;
    c.kind = kind;
    c.maxChars = maxChars;
    switch (kind) {
    case Kind::Bool: c.jetType = kTypeBool; c.fixed = true; c.fixedSize = 0; break;
    case Kind::Byte: c.jetType = kTypeByte; c.fixed = true; c.fixedSize = 1; break;
    case Kind::Money: c.jetType = kTypeMoney; c.fixed = true; c.fixedSize = 8; break;
    case Kind::Single: c.jetType = kTypeSingle; c.fixed = true; c.fixedSize = 4; break;
    case Kind::Double: c.jetType = kTypeDouble; c.fixed = true; c.fixedSize = 8; break;
    case Kind::Guid: c.jetType = kTypeGuid; c.fixed = true; c.fixedSize = 16; break;
    case Kind::Decimal: c.jetType = kTypeNumeric; c.fixed = true; c.fixedSize = 17; break;
    case Kind::Binary: c.jetType = kTypeBinary; c.fixed = false; break;
    case Kind::Text: c.jetType = kTypeText; c.fixed = false; break;
    case Kind::Memo: c.jetType = kTypeMemo; c.fixed = false; break;
    case Kind::Ole: c.jetType = kTypeOle; c.fixed = false; break;
    case Kind::Long: c.jetType = kTypeLong; c.fixed = true; c.fixedSize = 4; break;
    case Kind::Int16: c.jetType = kTypeInt; c.fixed = true; c.fixedSize = 2; break;
    case Kind::Date: c.jetType = kTypeDateTime; c.fixed = true; c.fixedSize = 8; break;
    }
    return c;
}

Col otherCol(const QString& table, const ColumnDef& cd)
{
    static const Kind kinds[] = {Kind::Text, Kind::Bool, Kind::Byte, Kind::Int16, Kind::Money, Kind::Single,
                                 Kind::Double, Kind::Binary, Kind::Ole, Kind::Guid, Kind::Decimal};
    Col c = makeCol(cd.name, kinds[int(cd.other)]);
    if (cd.other == OtherType::Decimal) {
        if (cd.precision < 1 || cd.precision > 28 || cd.scale < 0 || cd.scale > cd.precision)
            throw Error(QStringLiteral("table %1: Decimal column %2 needs 1 to 28 digits, scale 0 to precision").arg(table, cd.name));
        c.precision = cd.precision;
        c.scale = cd.scale;
    }
    return c;
}

void checkName(const QString& what, const QString& name)
{
    if (name.isEmpty() || name.size() > kMaxNameLength)
        throw Error(QStringLiteral("%1 name must have 1 to %2 characters: \"%3\"").arg(what).arg(kMaxNameLength).arg(name));
    for (QChar ch : name)
        if (ch.unicode() < 0x20 || ch == u'.' || ch == u'!' || ch == u'[' || ch == u']' || ch == u'`')
            throw Error(QStringLiteral("%1 name contains a character Jet does not allow: \"%2\"").arg(what, name));
}

}  // namespace

Writer::Writer(const QString& outPath, const QString& password) : d(std::make_unique<Impl>())
{
    if (password.size() > kPasswordBytes / 2)
        throw Error(QStringLiteral("password too long (%1 characters, at most %2)").arg(password.size()).arg(kPasswordBytes / 2));
    d->outPath = outPath;
    d->password = password;
    const QDateTime now = QDateTime::currentDateTime();
    d->created = QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second()));
    const QFileInfo fi(outPath);
    QByteArray tmpl = QFile::encodeName(fi.absoluteDir().filePath(fi.fileName() + QStringLiteral(".XXXXXX")));
    d->fd = ::mkstemp(tmpl.data());
    if (d->fd < 0)
        throw Error(QStringLiteral("cannot create a file beside %1: %2")
                        .arg(outPath, QString::fromLocal8Bit(std::strerror(errno))));
    d->tmpPath = QFile::decodeName(tmpl);
}

Writer::~Writer()
{
    if (d->fd >= 0)
        ::close(d->fd);
    if (!d->finished && !d->tmpPath.isEmpty())
        ::unlink(QFile::encodeName(d->tmpPath).constData());
}

void Writer::setCreationDate(const QDateTime& created)
{
    if (created.isValid())
        d->created = created;
}

void Writer::setOptions(const WriterOptions& options)
{
    d->options = options;
}

void Writer::beginTable(const TableDef& def)
{
    if (d->finished)
        throw Error(QStringLiteral("writer already finished"));
    if (d->table)
        throw Error(QStringLiteral("beginTable(%1) while table %2 is still open").arg(def.name, d->table->name));
    checkName(QStringLiteral("table"), def.name);
    if (def.name.startsWith(QStringLiteral("MSys"), Qt::CaseInsensitive) || d->tableNames.contains(def.name.toLower()))
        throw Error(QStringLiteral("table name already used or reserved: %1").arg(def.name));
    if (def.columns.empty() || def.columns.size() > 255)
        throw Error(QStringLiteral("table %1 must have 1 to 255 columns").arg(def.name));
    std::vector<Col> cols;
    QSet<QString> seen;
    for (const ColumnDef& cd : def.columns) {
        checkName(QStringLiteral("column"), cd.name);
        if (seen.contains(cd.name.toLower()))
            throw Error(QStringLiteral("table %1: column %2 declared twice").arg(def.name, cd.name));
        seen.insert(cd.name.toLower());
        if (cd.other != OtherType::None) {
            cols.push_back(otherCol(def.name, cd));
            continue;
        }
        switch (cd.type) {
        case ColumnType::Text:
            if (cd.maxChars < 1 || cd.maxChars > 255)
                throw Error(QStringLiteral("table %1: Text column %2 must hold 1 to 255 characters").arg(def.name, cd.name));
            cols.push_back(makeCol(cd.name, Kind::Text, cd.maxChars));
            break;
        case ColumnType::Memo: cols.push_back(makeCol(cd.name, Kind::Memo)); break;
        case ColumnType::Long: cols.push_back(makeCol(cd.name, Kind::Long)); break;
        case ColumnType::DateTime: cols.push_back(makeCol(cd.name, Kind::Date)); break;
        }
    }
    d->tableNames.insert(def.name.toLower());
    d->startTable(def.name, std::move(cols), false, d->allocPage());
}

void Writer::addRow(const QVector<QVariant>& values)
{
    d->addRow(values);
}

void Writer::endTable()
{
    d->endTable();
}

quint32 Writer::rowsInTable() const
{
    return d->table ? d->table->rows : 0;
}

void Writer::finish()
{
    if (d->finished)
        return;
    if (d->table)
        d->endTable();

    // The catalog: the columns libmdb and Jet look up by name, then one row per table. Each
    // table gets an empty property block, as tools that read properties expect one.
    std::vector<Col> cols = {
        makeCol(QStringLiteral("Id"), Kind::Long),
        makeCol(QStringLiteral("ParentId"), Kind::Long),
        makeCol(QStringLiteral("Name"), Kind::Text, 128),
        makeCol(QStringLiteral("Type"), Kind::Int16),
        makeCol(QStringLiteral("DateCreate"), Kind::Date),
        makeCol(QStringLiteral("DateUpdate"), Kind::Date),
        makeCol(QStringLiteral("Flags"), Kind::Long),
        makeCol(QStringLiteral("LvProp"), Kind::Ole),
    };
    std::vector<CatalogEntry> entries;
    entries.push_back({QStringLiteral("MSysObjects"), kCatalogPage, true});
    entries.insert(entries.end(), d->catalog.begin(), d->catalog.end());
    d->startTable(QStringLiteral("MSysObjects"), std::move(cols), true, kCatalogPage);
    const qint32 tablesContainer = 0x0f000001;
    for (const CatalogEntry& e : entries) {
        QVector<QVariant> r;
        r << QVariant(qint32(e.tdefPage)) << QVariant(tablesContainer) << QVariant(e.name) << QVariant(1)
          << QVariant(d->created) << QVariant(d->created)
          << QVariant(e.system ? qint32(0x80000002u) : qint32(0)) << QVariant(QByteArray("MR2\0", 4));
        d->addRow(r);
    }
    d->endTable();

    if (!d->firstMapPageUsed) {
        d->firstMapPageUsed = true;
        d->openPage(d->maps, kFirstMapPage, 0, false);
    }
    if (d->maps.open)
        d->flushPage(d->maps);

    const QByteArray header = buildHeaderPage(d->password, toJetDate(d->created));
    d->writePage(0, reinterpret_cast<const quint8*>(header.constData()));

    if (::fsync(d->fd) != 0 || ::close(d->fd) != 0) {
        d->fd = -1;
        throw Error(QStringLiteral("cannot write %1: %2").arg(d->tmpPath, QString::fromLocal8Bit(std::strerror(errno))));
    }
    d->fd = -1;
    // mkstemp() creates the file private; give it the usual permissions before it takes its name.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const QByteArray tmp = QFile::encodeName(d->tmpPath);
    ::chmod(tmp.constData(), 0666 & ~mask);
    if (::rename(tmp.constData(), QFile::encodeName(d->outPath).constData()) != 0)
        throw Error(QStringLiteral("cannot rename %1 to %2: %3")
                        .arg(d->tmpPath, d->outPath, QString::fromLocal8Bit(std::strerror(errno))));
    d->finished = true;
}

}  // namespace jet
