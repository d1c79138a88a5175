#include "data/jet/JetHeader.h"

#include <cmath>
#include <cstring>

namespace jet {

namespace {

const unsigned char kHeaderKey[4] = {0xc7, 0xda, 0x39, 0x6b}; // 0x6b39dac7, little-endian

void putU32(unsigned char *p, quint32 v)
{
    p[0] = v & 0xff;
    p[1] = (v >> 8) & 0xff;
    p[2] = (v >> 16) & 0xff;
    p[3] = (v >> 24) & 0xff;
}

// The password is masked with the integer part of the creation date, as 4 little-endian bytes.
void passwordMask(double creationDate, unsigned char mask[4])
{
    // A date no 32-bit day count holds (a damaged header) masks with zero rather than with an
    // undefined conversion.
    const double whole = std::trunc(creationDate);
    const qint32 days = (whole >= -2147483648.0 && whole <= 2147483647.0) ? static_cast<qint32>(whole) : 0;
    putU32(mask, static_cast<quint32>(days));
}

} // namespace

void rc4(const unsigned char *key, int keyLength, unsigned char *data, int length)
{
    unsigned char s[256];
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<unsigned char>(i);
    unsigned char j = 0;
    for (int i = 0; i < 256; ++i) {
        j = static_cast<unsigned char>(j + s[i] + key[i % keyLength]);
        std::swap(s[i], s[j]);
    }
    unsigned char x = 0, y = 0;
    for (int n = 0; n < length; ++n) {
        x = static_cast<unsigned char>(x + 1);
        y = static_cast<unsigned char>(y + s[x]);
        std::swap(s[x], s[y]);
        data[n] ^= s[static_cast<unsigned char>(s[x] + s[y])];
    }
}

int jetVersion(const QByteArray &page0)
{
    if (page0.size() <= 0x14)
        return -1;
    return static_cast<unsigned char>(page0.at(0x14));
}

bool looksLikeJetHeader(const QByteArray &page0)
{
    if (page0.size() < kHeaderMaskStart + kHeaderMaskLength)
        return false;
    if (page0.at(0) != 0 || page0.at(1) != 1)
        return false;
    if (std::memcmp(page0.constData() + 4, kMagic, sizeof kMagic) != 0)
        return false;
    return jetVersion(page0) == 1;
}

QString readDatabasePassword(const QByteArray &page0)
{
    if (!looksLikeJetHeader(page0))
        return QString();
    QByteArray plain = page0.left(kHeaderMaskStart + kHeaderMaskLength);
    auto *p = reinterpret_cast<unsigned char *>(plain.data());
    rc4(kHeaderKey, 4, p + kHeaderMaskStart, kHeaderMaskLength);
    double created;
    std::memcpy(&created, p + kCreationDateOffset, 8);
    unsigned char mask[4];
    passwordMask(created, mask);
    QString result;
    for (int i = 0; i < kPasswordBytes; i += 2) {
        const unsigned lo = p[kPasswordOffset + i] ^ mask[i % 4];
        const unsigned hi = p[kPasswordOffset + i + 1] ^ mask[(i + 1) % 4];
        const char16_t unit = static_cast<char16_t>(lo | (hi << 8));
        if (unit == 0)
            break;
        result.append(QChar(unit));
    }
    return result;
}

double toJetDate(const QDateTime &dt)
{
    const qint64 days = QDate(1899, 12, 30).daysTo(dt.date());
    const double frac = dt.time().isValid() ? dt.time().msecsSinceStartOfDay() / 86400000.0 : 0.0;
    return days >= 0 ? double(days) + frac : double(days) - frac;
}

QDateTime fromJetDate(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > 3e6)
        return QDateTime();
    const double days = std::trunc(value);
    const double frac = std::fabs(value - days);
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(days));
    const int msecs = static_cast<int>(std::llround(frac * 86400000.0));
    return QDateTime(date, QTime(0, 0).addMSecs(msecs));
}

QByteArray buildHeaderPage(const QString &password, double creationDate)
{
    QByteArray page(kPageSize, '\0');
    auto *p = reinterpret_cast<unsigned char *>(page.data());
    p[0] = 0x00;
    p[1] = 0x01;
    std::memcpy(p + 4, kMagic, sizeof kMagic);
    p[0x14] = 0x01; // Jet 4
    // Plain values inside the scrambled area.
    p[0x3c] = 0xe4;
    p[0x3d] = 0x04; // code page 1252 (Jet 4 keeps text as Unicode anyway)
    // 0x3e: page encryption key, left zero: the pages themselves are not encrypted.
    p[0x6e] = 0x09;
    p[0x6f] = 0x04; // sort order: General (1033), version 0
    std::memcpy(p + kCreationDateOffset, &creationDate, 8);
    unsigned char mask[4];
    passwordMask(creationDate, mask);
    const QString pw = password.left(kPasswordBytes / 2);
    for (int i = 0; i < kPasswordBytes; i += 2) {
        const char16_t unit = i / 2 < pw.size() ? pw.at(i / 2).unicode() : 0;
        p[kPasswordOffset + i] = static_cast<unsigned char>((unit & 0xff) ^ mask[i % 4]);
        p[kPasswordOffset + i + 1] = static_cast<unsigned char>((unit >> 8) ^ mask[(i + 1) % 4]);
    }
    rc4(kHeaderKey, 4, p + kHeaderMaskStart, kHeaderMaskLength);
    return page;
}

} // namespace jet
