#pragma once

#include "data/jet/JetPages.h"

#include <QtGlobal>

#include <algorithm>
#include <string>
#include <vector>

// One value of a table as it goes to the engine: an integer, a real number, or UTF-8 text
// (dates, exact decimals that a double cannot hold, GUIDs and binary data in their text forms).
struct JetCell
{
    enum Storage { Null, Integer, Real, Text };
    Storage storage = Null;
    qint64 integer = 0;
    double real = 0;
    std::string text;

    bool isNull() const { return storage == Null; }
};

namespace jet {

struct StoredColumn;

// Jet 4 text: UTF-16LE, or, after the marker FF FE, runs of one-byte characters and of UTF-16
// units, each 00 byte switching between the two. A surrogate without its partner is U+FFFD.
void decodeText(const uchar *p, size_t len, std::string &out);

// yyyy-MM-dd, with " hh:mm:ss" when the time is not midnight; empty when out of range.
void formatDate(double value, std::string &out);

// Rows (page << 8 | row) already claimed while a table is read: each row of a long value's chain
// has one owner and a moved row one pointer, so a second claim means the file is damaged (and would otherwise let
// a small file expand without bound). One bit per possible row of the file.
class RowClaims
{
public:
    // False when the row was claimed before.
    bool claim(quint32 pointer, quint32 pageCount)
    {
        const size_t at = size_t(pointer >> 8) * 256 + (pointer & 0xFF);
        if ((pointer >> 8) >= pageCount)
            return false;
        if (m_bits.size() <= at)
            m_bits.resize(size_t(pageCount) * 256);
        if (m_bits[at])
            return false;
        m_bits[at] = true;
        return true;
    }

    // Whether a row is claimed here and in `other` both.
    bool overlaps(const RowClaims &other) const
    {
        const size_t n = std::min(m_bits.size(), other.m_bits.size());
        for (size_t i = 0; i < n; ++i)
            if (m_bits[i] && other.m_bits[i])
                return true;
        return false;
    }

private:
    std::vector<bool> m_bits;
};
using LongValueOwners = RowClaims;

// The bytes of a long value (Memo, OLE): inline after its 12-byte header, in one long-value
// row, or in a chain of them. Checked against the file at every step.
void readLongValue(const PageFile &file, const uchar *field, size_t len, std::vector<uchar> &out, Page &scratch,
                   LongValueOwners &owners);

// Decodes one present field of a column into `cell`; `longValue` is scratch space.
void decodeField(const PageFile &file, const StoredColumn &column, const uchar *p, size_t len, JetCell &cell,
                 Page &scratch, LongValueOwners &owners, std::vector<uchar> &longValue);

// Whether the reader knows how to decode the type.
bool decodable(quint8 type);

} // namespace jet
