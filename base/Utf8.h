#pragma once

#include <QByteArray>

#include <cstddef>
#include <string>

// UTF-8 written and checked in one place, for every layer (no Qt beyond Core).
namespace utf8 {

// Writes the UTF-8 form of `c` (at most U+10FFFF) at `o`, 1 to 4 bytes; returns the end.
inline char *put(char *o, char32_t c)
{
    if (c < 0x80) {
        *o++ = char(c);
    } else if (c < 0x800) {
        *o++ = char(0xC0 | (c >> 6));
        *o++ = char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *o++ = char(0xE0 | (c >> 12));
        *o++ = char(0x80 | ((c >> 6) & 0x3F));
        *o++ = char(0x80 | (c & 0x3F));
    } else {
        *o++ = char(0xF0 | (c >> 18));
        *o++ = char(0x80 | ((c >> 12) & 0x3F));
        *o++ = char(0x80 | ((c >> 6) & 0x3F));
        *o++ = char(0x80 | (c & 0x3F));
    }
    return o;
}

inline void append(std::string &out, char32_t c)
{
    char bytes[4];
    out.append(bytes, size_t(put(bytes, c) - bytes));
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no sequence cut short.
inline bool isValid(const char *data, size_t n)
{
    const auto *s = reinterpret_cast<const unsigned char *>(data);
    size_t i = 0;
    while (i < n) {
        const unsigned c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        unsigned cp;
        if (c >= 0xc2 && c <= 0xdf) {
            len = 2;
            cp = c & 0x1f;
        } else if (c >= 0xe0 && c <= 0xef) {
            len = 3;
            cp = c & 0x0f;
        } else if (c >= 0xf0 && c <= 0xf4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (len > n - i)
            return false;
        for (size_t k = 1; k < len; ++k) {
            if ((s[i + k] & 0xc0) != 0x80)
                return false;
            cp = (cp << 6) | (s[i + k] & 0x3f);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10ffff)) || (cp >= 0xd800 && cp <= 0xdfff))
            return false;
        i += len;
    }
    return true;
}

inline bool isValid(const QByteArray &bytes)
{
    return isValid(bytes.constData(), size_t(bytes.size()));
}

} // namespace utf8
