#pragma once

#include "data/jet/JetFormat.h"

#include <QtGlobal>

// Where Jet 4 keeps each field of its structures, for the reader and the writer alike. Offsets
// are in bytes from the structure's start; every number is little-endian.
namespace jet {

// Page types, the first byte of every page but the header page.
namespace pagetype {
constexpr uchar kData = 0x01; // rows of a table, or long values
constexpr uchar kDefinition = 0x02;
constexpr uchar kUsageBitmap = 0x05;
constexpr uchar kJet4 = 0x01; // the second byte of every page Jet 4 writes
} // namespace pagetype

// A table definition: its first page whole, continued on further definition pages, each after
// a header of its own.
namespace tdef {
constexpr int kFreeSpace = 2;      // 16 bits: of this page
constexpr int kNextPage = 4;       // 32 bits: the page it continues on, 0 on its last
constexpr int kLength = 8;         // 32 bits: the definition's bytes
constexpr int kTableNumber = 12;   // 32 bits
constexpr int kRowCount = 16;      // 32 bits
constexpr int kTableType = 40;     // 'S' a system table, 'N' a user table
constexpr int kMaxColumns = 41;    // 16 bits
constexpr int kVariableCount = 43; // 16 bits: the columns kept in the row's variable part
constexpr int kColumnCount = 45;   // 16 bits
constexpr int kRealIndexes = 51;   // 32 bits: the real index entries before the columns
constexpr int kOwnedPages = 55;    // 32 bits: row pointer of the usage map of its data pages
constexpr int kFreePages = 59;     // 32 bits: row pointer of the usage map of its free space
constexpr int kEntries = 63;       // the real index entries, then the column entries
constexpr int kRealIndexEntry = 12;
constexpr int kContinuationHeader = 8; // a continuation page's header before its bytes
} // namespace tdef

// A column entry of a table definition; the names follow all the entries, each a 16-bit length
// and its UTF-16 bytes.
namespace column {
constexpr int kType = 0;
constexpr int kTableNumber = 1; // 32 bits
constexpr int kNumber = 5;      // 16 bits: its bit in the null mask
constexpr int kVarIndex = 7;    // 16 bits: its entry in the row's offset table
constexpr int kIndex = 9;       // 16 bits
constexpr int kSortOrder = 11;  // 16 bits: Text and Memo
constexpr int kPrecision = 11;  // Decimal
constexpr int kScale = 12;      // Decimal
constexpr int kFlags = 15;
constexpr int kCompression = 16; // Text and Memo: kCompressed when stored compressed
constexpr int kFixedOffset = 21; // 16 bits: after the row's column count
constexpr int kSize = 23;        // 16 bits
constexpr int kEntry = 25;
// Bits of kFlags.
constexpr uchar kFixed = 0x01;
constexpr uchar kNullable = 0x02;
constexpr uchar kCompressed = 0x01;
} // namespace column

// A data page, of rows or of long values: its header, then a row offset table, the rows growing
// down from the page's end.
namespace datapage {
constexpr int kFreeSpace = 2; // 16 bits
constexpr int kOwner = 4;     // 32 bits: the owner's definition page, or "LVAL"
constexpr int kRowCount = 12; // 16 bits
constexpr int kOffsets = 14;  // 16 bits per row: where it starts, with its flags
// Bits of an offset entry.
constexpr quint16 kDeleted = 0x8000;
constexpr quint16 kPointer = 0x4000; // the row holds a pointer to its real place
constexpr quint16 kOffsetMask = 0x1FFF;
constexpr quint16 kFlagsMask = 0xC000;
} // namespace datapage

// A usage map: a row naming pages, either from a start page with a bit each (kInline), or by
// pointers to usage bitmap pages (kPages) that each have a bit for every page of their range.
namespace usagemap {
constexpr uchar kInline = 0;
constexpr uchar kPages = 1;
constexpr int kKind = 0;
constexpr int kStartPage = 1;  // kInline: 32 bits
constexpr int kBits = 5;       // kInline: a bit per page from the start page
constexpr int kPointers = 1;   // kPages: 32 bits each
constexpr int kBitmapBits = 4; // in a usage bitmap page
constexpr quint32 kPagesPerBitmap = (kPageSize - kBitmapBits) * 8;
} // namespace usagemap

// The 12-byte reference a row keeps for a Memo or OLE value: its length and flags, and where
// its bytes are when they are not inline after it. A chained value's rows each begin with the
// pointer to the next.
namespace longvalue {
constexpr int kLength = 0;  // 32 bits: the length, with the flags in its high bits
constexpr int kPointer = 4; // 32 bits: row pointer (page << 8 | row)
constexpr int kReference = 12;
constexpr quint32 kInline = 0x80000000u;    // the bytes follow the reference in the row
constexpr quint32 kSingleRow = 0x40000000u; // the bytes are one long-value row
constexpr quint32 kLengthMask = 0x3FFFFFFFu;
constexpr int kChainPointer = 4; // a chained row's pointer to the next, before its bytes
} // namespace longvalue

} // namespace jet
