#include "data/jet/WriterValues.h"

#include <QUuid>

#include <cstring>

namespace jet::values {

namespace {

// Sign, digits without the point, and the number of decimals of plain decimal text.
bool splitDecimal(const QVariant &value, bool &negative, QString &digits, int &decimals)
{
    QString s =
        value.typeId() == QMetaType::QString ? value.toString().trimmed() : QString::number(value.toDouble(), 'f', 10);
    negative = s.startsWith(QLatin1Char('-'));
    if (negative || s.startsWith(QLatin1Char('+')))
        s.remove(0, 1);
    const int point = int(s.indexOf(QLatin1Char('.')));
    decimals = point < 0 ? 0 : int(s.size()) - point - 1;
    if (point >= 0)
        s.remove(point, 1);
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    digits = s;
    return true;
}

// Digits scaled to `scale` decimals (trailing ones beyond it must be zeros).
bool scaled(QString digits, int decimals, int scale, QString &out)
{
    while (decimals > scale) {
        if (!digits.endsWith(QLatin1Char('0')))
            return false;
        digits.chop(1);
        --decimals;
    }
    out = digits + QString(scale - decimals, QLatin1Char('0'));
    while (out.size() > 1 && out.startsWith(QLatin1Char('0')))
        out.remove(0, 1);
    return true;
}

} // namespace

bool compressText(const QString &text, std::vector<unsigned char> &out)
{
    out.assign({0xFF, 0xFE});
    bool oneByte = true;
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u == 0 || (u > 0xFF && (u & 0xFF) == 0))
            return false;
        const bool small = u <= 0xFF;
        if (small != oneByte) {
            out.push_back(0);
            oneByte = small;
        }
        if (small) {
            out.push_back(static_cast<unsigned char>(u));
        } else {
            out.push_back(static_cast<unsigned char>(u & 0xFF));
            out.push_back(static_cast<unsigned char>(u >> 8));
        }
    }
    // Shorter, or the one form that keeps a U+FEFF at the start.
    return out.size() < size_t(text.size()) * 2 || text.startsWith(QChar(0xFEFF));
}

bool encodeCurrency(const QVariant &value, unsigned char out[8])
{
    bool negative;
    QString digits, units;
    int decimals;
    if (!splitDecimal(value, negative, digits, decimals) || !scaled(digits, decimals, 4, units))
        return false;
    bool ok = false;
    const qulonglong magnitude = units.toULongLong(&ok);
    if (!ok || magnitude > (negative ? 0x8000000000000000ull : 0x7FFFFFFFFFFFFFFFull))
        return false;
    const qint64 v = negative ? qint64(0 - magnitude) : qint64(magnitude);
    std::memcpy(out, &v, 8);
    return true;
}

bool encodeDecimal(const QVariant &value, int precision, int scale, unsigned char out[17])
{
    bool negative;
    QString digits, units;
    int decimals;
    if (!splitDecimal(value, negative, digits, decimals) || !scaled(digits, decimals, scale, units)
        || units.size() > precision)
        return false;
    quint32 words[4] = {0, 0, 0, 0}; // most significant first
    for (QChar c : units) {
        quint64 carry = quint64(c.unicode() - '0');
        for (int i = 3; i >= 0; --i) {
            const quint64 v = quint64(words[i]) * 10 + carry;
            words[i] = quint32(v);
            carry = v >> 32;
        }
    }
    out[0] = negative && units != QLatin1String("0") ? 0x80 : 0x00;
    for (int i = 0; i < 4; ++i)
        for (int b = 0; b < 4; ++b)
            out[1 + i * 4 + b] = static_cast<unsigned char>(words[i] >> (8 * b));
    return true;
}

bool encodeGuid(const QVariant &value, unsigned char out[16])
{
    const QUuid id = value.typeId() == QMetaType::QUuid ? value.toUuid() : QUuid::fromString(value.toString());
    if (id.isNull() && value.toString() != QLatin1String("{00000000-0000-0000-0000-000000000000}"))
        return false;
    const QByteArray bytes = id.toRfc4122();
    // Data1, Data2 and Data3 are stored little-endian, Data4 as it is.
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i)
        out[i] = static_cast<unsigned char>(bytes.at(order[i]));
    return true;
}

} // namespace jet::values
