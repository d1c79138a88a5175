#pragma once

// The writer's own structures, shared by its files: rows and values (Writer.cpp), pages,
// usage maps and table definitions (WriterPages.cpp).

#include "data/jet/JetFormat.h"
#include "data/jet/JetHeader.h"
#include "data/jet/JetLayout.h"
#include "data/jet/JetTypes.h"
#include "data/jet/Writer.h"

#include <QSet>

#include <cstring>
#include <memory>
#include <vector>

namespace jet {

namespace writer {

constexpr int kMaxRowsPerPage = 255;    // a row pointer keeps the row number in one byte
constexpr int kMaxInlineLongValue = 64; // longer Memo values go to long-value pages
constexpr int kLvalSingleMax = kPageSize - datapage::kOffsets - 2;
constexpr int kLvalChunk = kLvalSingleMax - longvalue::kChainPointer;
constexpr int kMaxLongValueBytes = 0x00ffffff; // the length's high byte holds flags
constexpr int kMapRowLength = 69;              // usage map rows: 1 type byte + 68 bytes
constexpr int kInlineMapPages = (kMapRowLength - usagemap::kBits) * 8;
constexpr int kMapPagePointers = (kMapRowLength - usagemap::kPointers) / 4;
constexpr quint32 kMagicTableNumber = 1625;
constexpr quint32 kFirstMapPage = 1;
// Access's own system tables, each defined on the page its catalog id names, before any user table.
constexpr quint32 kAcesPage = 3;
constexpr quint32 kQueriesPage = 4;
constexpr quint32 kRelationshipsPage = 5;

inline void put16(quint8 *p, quint32 v)
{
    p[0] = v & 0xff;
    p[1] = (v >> 8) & 0xff;
}

inline void put32(quint8 *p, quint32 v)
{
    p[0] = v & 0xff;
    p[1] = (v >> 8) & 0xff;
    p[2] = (v >> 16) & 0xff;
    p[3] = (v >> 24) & 0xff;
}

inline void append16(std::vector<quint8> &b, quint32 v)
{
    b.push_back(v & 0xff);
    b.push_back((v >> 8) & 0xff);
}

inline void append32(std::vector<quint8> &b, quint32 v)
{
    append16(b, v & 0xffff);
    append16(b, v >> 16);
}

inline void appendUtf16(std::vector<quint8> &b, const QString &s)
{
    const char16_t *u = reinterpret_cast<const char16_t *>(s.utf16());
    for (qsizetype i = 0; i < s.size(); ++i)
        append16(b, u[i]);
}

struct Col
{
    QString name;
    quint8 type; // Jet's type code
    bool fixed;
    int fixedSize = 0;
    int maxChars = 0;
    int fixedOffset = 0;
    int varIndex = 0;
    int precision = 0;
    int scale = 0;
};

// A data or long-value page being filled; rows grow from the end of the page downwards.
struct FillingPage
{
    std::vector<quint8> buf;
    quint32 number = 0;
    int rows = 0;
    int freeEnd = kPageSize;
    bool open = false;

    int freeSpace() const { return freeEnd - (datapage::kOffsets + 2 * rows); }
    bool fits(int size) const { return open && rows < kMaxRowsPerPage && freeSpace() >= size + 2; }
    // `flags`: datapage::kDeleted, datapage::kPointer.
    int place(const quint8 *data, int size, quint16 flags = 0)
    {
        freeEnd -= size;
        std::memcpy(buf.data() + freeEnd, data, size);
        put16(buf.data() + datapage::kOffsets + 2 * rows, quint32(freeEnd) | flags);
        return rows++;
    }
};

struct Table
{
    QString name;
    std::vector<writer::Col> cols;
    int numVar = 0;
    int fixedBytes = 0;
    bool system = false;
    quint32 tdefPage = 0;
    quint32 rows = 0;
    std::vector<quint32> dataPages;
    FillingPage data;
    FillingPage moved; // rows moved off their page
    std::vector<quint8> lastRow;
    std::vector<FillingPage> lval; // per column; used by long-value columns
    std::vector<std::vector<quint32>> lvalPages;
};

Col makeCol(const QString &name, quint8 type, int maxChars = 0);

struct CatalogEntry
{
    QString name;
    quint32 tdefPage;
    bool system;
};

} // namespace writer

struct Writer::Impl
{
    QString outPath;
    QString tmpPath;
    QString password;
    QDateTime created;
    WriterOptions options;
    int fd = -1;
    bool finished = false;
    // 0 definition page, 1 first usage-map page, 2 catalog definition, 3..5 the other system tables
    quint32 nextPage = writer::kRelationshipsPage + 1;
    std::unique_ptr<writer::Table> table;
    std::vector<writer::CatalogEntry> catalog;
    QSet<QString> tableNames;
    writer::FillingPage maps; // page receiving usage map rows
    bool firstMapPageUsed = false;
    std::vector<quint8> row;
    std::vector<quint8> nullMask;
    std::vector<int> varOffsets;
    std::vector<quint8> valueBytes;
    quint32 allocPage();
    void writePage(quint32 pg, const quint8 *data);
    void openPage(writer::FillingPage &p, quint32 number, quint32 owner, bool longValues);
    void flushPage(writer::FillingPage &p);
    // Stores one usage map row and returns its row pointer (page << 8 | row).
    quint32 placeMapRow(const std::vector<quint8> &r);
    // Usage map of `pages` (ascending): inline when they fit one 512-page window, otherwise a
    // list of bitmap pages, each covering 32736 pages.
    std::vector<quint8> usageMap(const std::vector<quint32> &pages);
    void startTable(const QString &name, std::vector<writer::Col> cols, bool system, quint32 tdefPage);
    QString where(const writer::Col &c) const;
    void checkLength(const writer::Col &c, qsizetype length) const;
    // Stores a long value outside the row and fills the 12-byte reference (zeroed by the caller).
    void storeLongValue(int ci, const std::vector<quint8> &bytes, quint8 *ref);
    void encodeFixed(const writer::Col &c, const QVariant &v, quint8 *out);
    // A row on the current data page of the table, a new page opened when it is full.
    int placeRow(writer::FillingPage &page, const std::vector<quint8> &bytes, quint16 flags);
    void addRow(const QVector<QVariant> &values);
    void endTable();
    // A definition longer than a page continues on further pages, each with an 8-byte header.
    void writeDefinition(quint32 firstPage, const std::vector<quint8> &td);
    // The system tables and the catalog, MSysObjects, as Access writes them.
    void writeCatalog();
};

} // namespace jet
