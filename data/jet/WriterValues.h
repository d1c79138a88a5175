#pragma once

#include <QString>
#include <QVariant>

#include <vector>

// Encoders of the writer for values that need more than a copy of their bytes.
namespace jet::values {

// Jet 4 compressed Unicode (FF FE, then runs of one-byte characters and of UTF-16 units, a 00
// byte switching between them). False when it would not be shorter (unless the text begins with
// U+FEFF, which plain UTF-16 cannot keep), or when a unit cannot be told from a switch (its low
// byte 00), so the text is stored as plain UTF-16.
bool compressText(const QString &text, std::vector<unsigned char> &out);

// Currency: a 64-bit integer of ten-thousandths. False when the value is not a number or out
// of range; exact for decimal text with up to four decimals.
bool encodeCurrency(const QVariant &value, unsigned char out[8]);

// Decimal: a sign byte, then the unscaled 96..128-bit integer as four 32-bit little-endian
// words, the most significant first. False when the value is not a number that fits.
bool encodeDecimal(const QVariant &value, int precision, int scale, unsigned char out[17]);

// GUID: the 16 bytes in Windows' layout (first three groups little-endian).
bool encodeGuid(const QVariant &value, unsigned char out[16]);

} // namespace jet::values
