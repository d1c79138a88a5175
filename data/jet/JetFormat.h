#pragma once

#include <QtGlobal>

// The layout of a Jet 4 file that reader and writer both rely on.
namespace jet {

// Every page of a Jet 4 file, the definition page included.
constexpr int kPageSize = 4096;

// What page 0 holds at offset 4, terminating NUL included.
constexpr char kMagic[] = "Standard Jet DB";

// Names of tables and columns: 1 to 64 characters.
constexpr int kMaxNameLength = 64;

// The largest row Jet 4 keeps on a data page.
constexpr int kMaxRowSize = 4060;

// The definition of MSysObjects, the catalog of every table.
constexpr quint32 kCatalogPage = 2;

// Jet 4 files stop at 2 GB: 2^31 bytes, so the last byte of the last page still has a signed
// 32-bit offset. Page numbers fit easily wherever the format keeps them (24 bits in a row
// pointer, page << 8 | row; 32 bits elsewhere), so the file size is what limits them.
constexpr quint32 kMaxPages = quint32((quint64(1) << 31) / kPageSize);

} // namespace jet
