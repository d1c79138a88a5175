#include "data/jet/JetValues.h"

#include "data/jet/JetCatalog.h"
#include "data/jet/JetLayout.h"

#include <QByteArray>
#include <QDate>
#include <QLocale>

#include <charconv>
#include <cmath>
#include <cstring>

namespace jet {

namespace {

// Digits of an unsigned 128-bit number given as four 32-bit words, most significant first.
std::string digitsOf(quint32 words[4])
{
    std::string digits;
    for (;;) {
        bool zero = true;
        quint64 rest = 0;
        for (int i = 0; i < 4; ++i) {
            const quint64 cur = (rest << 32) | words[i];
            words[i] = quint32(cur / 10);
            rest = cur % 10;
            zero = zero && words[i] == 0;
        }
        digits.insert(digits.begin(), char('0' + rest));
        if (zero)
            return digits;
    }
}

// An exact decimal, `digits` scaled by 10^-scale: plain text without trailing zeros after the
// point; kept as a number for the engine whenever a double (or an integer) holds it exactly.
void exactDecimal(bool negative, std::string digits, int scale, JetCell &cell)
{
    if (int(digits.size()) <= scale)
        digits.insert(0, size_t(scale + 1 - int(digits.size())), '0');
    std::string text = digits.substr(0, digits.size() - size_t(scale));
    std::string fraction = digits.substr(digits.size() - size_t(scale));
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    if (!fraction.empty())
        text += '.' + fraction;
    if (negative && text != "0")
        text.insert(0, 1, '-');
    cell.text = text;
    cell.storage = JetCell::Text;
    if (fraction.empty()) {
        qint64 v = 0;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
        if (r.ec == std::errc() && r.ptr == text.data() + text.size()) {
            cell.integer = v;
            cell.storage = JetCell::Integer;
        }
        return;
    }
    const double d = std::strtod(text.c_str(), nullptr);
    if (QByteArray::number(d, 'f', QLocale::FloatingPointShortest).toStdString() == text) {
        cell.real = d;
        cell.storage = JetCell::Real;
    }
}

void hexText(const uchar *p, size_t len, std::string &out)
{
    static const char digits[] = "0123456789ABCDEF";
    out.resize(len * 2);
    for (size_t i = 0; i < len; ++i) {
        out[2 * i] = digits[p[i] >> 4];
        out[2 * i + 1] = digits[p[i] & 15];
    }
}

} // namespace

void formatDate(double value, std::string &out)
{
    out.clear();
    if (!std::isfinite(value) || std::fabs(value) > 3e6)
        return;
    double days = std::trunc(value);
    const double fraction = std::fabs(value - days);
    qint64 seconds = std::llround(fraction * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        days += value < 0 ? -1 : 1;
    }
    const QDate date = QDate(1899, 12, 30).addDays(qint64(days));
    char buf[48];
    int n;
    if (seconds == 0)
        n = qsnprintf(buf, sizeof buf, "%04d-%02d-%02d", date.year(), date.month(), date.day());
    else
        n = qsnprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", date.year(), date.month(), date.day(),
                      int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60));
    out.assign(buf, size_t(qMax(0, n)));
}

// Jet keeps a long value's length in its reference and the value itself inline after it, in one
// long-value row, or in a chain of rows each naming the next (the last names none). In every
// file Access writes the two agree to the byte: the inline bytes, the row, or the chain's
// pieces together are exactly the stored length. Other readers go by the bytes and ignore the
// length, so a value whose length says otherwise is damage, not a shorter or empty value.
void readLongValue(const PageFile &file, const uchar *field, size_t len, std::vector<uchar> &out, Page &scratch,
                   LongValueOwners &owners)
{
    out.clear();
    if (len == 0)
        return;
    if (len < size_t(longvalue::kReference))
        file.damaged();
    const quint32 head = get32(field + longvalue::kLength);
    const quint32 total = head & longvalue::kLengthMask;
    if (head & longvalue::kInline) {
        if (total != len - longvalue::kReference)
            file.damaged();
        out.assign(field + longvalue::kReference, field + longvalue::kReference + total);
        return;
    }
    quint32 pointer = get32(field + longvalue::kPointer);
    // No value is larger than the file holding it.
    if (total > quint64(file.pageCount()) * kPageSize)
        file.damaged();
    out.reserve(total);
    const bool single = head & longvalue::kSingleRow;
    do {
        // Every row of the chain belongs to this value alone: values that ran into a shared
        // tail would let a small file expand without bound. A claimed row also ends a loop.
        if (pointer == 0 || !owners.claim(pointer, file.pageCount()))
            file.damaged();
        file.readData(pointer >> 8, scratch, 0);
        const RowSlot s = file.slot(scratch, int(pointer & 0xFF));
        const uchar *row = scratch.data() + s.start;
        const size_t rowLength = size_t(s.end - s.start);
        if (single) {
            pointer = 0;
            out.insert(out.end(), row, row + rowLength);
        } else {
            if (rowLength < size_t(longvalue::kChainPointer))
                file.damaged();
            pointer = get32(row);
            out.insert(out.end(), row + longvalue::kChainPointer, row + rowLength);
        }
        if (out.size() > total)
            file.damaged();
    } while (pointer != 0);
    if (out.size() != total)
        file.damaged();
}

bool decodable(quint8 type)
{
    switch (type) {
    case kBoolean:
    case kByte:
    case kInteger:
    case kLong:
    case kCurrency:
    case kSingle:
    case kDouble:
    case kDateTime:
    case kBinary:
    case kText:
    case kOle:
    case kMemo:
    case kGuid:
    case kDecimal: return true;
    default: return false;
    }
}

void decodeField(const PageFile &file, const StoredColumn &column, const uchar *p, size_t len, JetCell &cell,
                 Page &scratch, LongValueOwners &owners, std::vector<uchar> &longValue)
{
    auto need = [&](size_t n) {
        if (len < n)
            file.damaged();
    };
    cell.storage = JetCell::Integer;
    switch (column.type) {
    case kByte:
        need(1);
        cell.integer = p[0];
        break;
    case kInteger:
        need(2);
        cell.integer = qint16(get16(p));
        break;
    case kLong:
        need(4);
        cell.integer = qint32(get32(p));
        break;
    case kCurrency: {
        need(8);
        qint64 v;
        std::memcpy(&v, p, 8);
        const quint64 magnitude = v < 0 ? quint64(0) - quint64(v) : quint64(v);
        quint32 words[4] = {0, 0, quint32(magnitude >> 32), quint32(magnitude)};
        exactDecimal(v < 0, digitsOf(words), 4, cell);
        break;
    }
    case kSingle: {
        need(4);
        float f;
        std::memcpy(&f, p, 4);
        // Its own shortest digits: 1.1 stays 1.1, not the double nearest the float.
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, f);
        cell.real = std::isfinite(f) ? std::strtod(std::string(buf, r.ptr).c_str(), nullptr) : double(f);
        cell.storage = JetCell::Real;
        break;
    }
    case kDouble:
        need(8);
        std::memcpy(&cell.real, p, 8);
        cell.storage = JetCell::Real;
        break;
    case kDateTime: {
        need(8);
        double v;
        std::memcpy(&v, p, 8);
        formatDate(v, cell.text);
        cell.storage = JetCell::Text;
        break;
    }
    case kGuid: {
        need(16);
        char buf[40];
        qsnprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", get32(p), get16(p + 4),
                  get16(p + 6), p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
        cell.text = buf;
        cell.storage = JetCell::Text;
        break;
    }
    case kDecimal: {
        need(17);
        quint32 words[4] = {get32(p + 1), get32(p + 5), get32(p + 9), get32(p + 13)};
        if (column.scale > 28)
            file.damaged();
        exactDecimal(p[0] & 0x80, digitsOf(words), column.scale, cell);
        break;
    }
    case kText:
        decodeText(p, len, cell.text);
        cell.storage = JetCell::Text;
        break;
    case kBinary:
        hexText(p, len, cell.text);
        cell.storage = JetCell::Text;
        break;
    case kMemo:
    case kOle:
        readLongValue(file, p, len, longValue, scratch, owners);
        if (column.type == kMemo)
            decodeText(longValue.data(), longValue.size(), cell.text);
        else
            hexText(longValue.data(), longValue.size(), cell.text);
        cell.storage = JetCell::Text;
        break;
    default: cell.storage = JetCell::Null; break;
    }
}

} // namespace jet
