#include "data/jet/JetValues.h"

#include "base/Utf8.h"

#include <memory>

// Jet 4 text to UTF-8 in runs: ASCII bytes copied straight, the output written into a buffer
// sized once for the worst case and copied into the string once.
namespace jet {
namespace {

using utf8::put;

// UTF-16LE units [p, p + 2 * units) to UTF-8 at o; a high surrogate left open at the end of the
// run is carried in `high` to the next run.
char *utf16Run(const unsigned char *p, size_t units, char *o, char16_t &high)
{
    for (size_t k = 0; k < units; ++k, p += 2) {
        const char16_t u = char16_t(p[0] | (p[1] << 8));
        if (u < 0x80 && !high) {
            *o++ = char(u);
            continue;
        }
        if (u >= 0xD800 && u < 0xE000) {
            if (u >= 0xDC00 && high) {
                o = put(o, 0x10000 + ((char32_t(high) - 0xD800) << 10) + (u - 0xDC00));
                high = 0;
                continue;
            }
            if (high)
                o = put(o, 0xFFFD);
            high = 0;
            if (u < 0xDC00)
                high = u;
            else
                o = put(o, 0xFFFD);
            continue;
        }
        if (high) {
            o = put(o, 0xFFFD);
            high = 0;
        }
        o = put(o, u);
    }
    return o;
}

} // namespace

void decodeText(const uchar *p, size_t len, std::string &out)
{
    // Worst cases: a one-byte character of 0x80-0xFF takes two bytes, a UTF-16 unit three.
    // Decoded on the stack (any text column fits), then copied once: growing the string itself
    // would fill it first.
    const size_t need = len * 2 + 4;
    char onStack[1024];
    std::unique_ptr<char[]> onHeap;
    if (need > sizeof onStack)
        onHeap.reset(new char[need]);
    char *const begin = onHeap ? onHeap.get() : onStack;
    char *o = begin;
    char16_t high = 0;
    if (len >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        size_t i = 2;
        while (i < len) {
            // A run of one-byte characters, up to the next 00.
            size_t j = i;
            while (j < len && p[j] != 0)
                ++j;
            if (j > i && high) {
                o = put(o, 0xFFFD);
                high = 0;
            }
            for (; i < j; ++i)
                o = p[i] < 0x80 ? (*o = char(p[i]), o + 1) : put(o, p[i]);
            if (i >= len)
                break;
            ++i; // the switch to UTF-16
            // A run of UTF-16 units, up to the next 00 in the place of a unit's first byte.
            j = i;
            while (j + 1 < len && p[j] != 0)
                j += 2;
            o = utf16Run(p + i, (j - i) / 2, o, high);
            i = j;
            if (i + 1 >= len && i < len && p[i] != 0)
                break; // half a unit at the end
            if (i < len)
                ++i; // the switch back
        }
    } else {
        o = utf16Run(p, len / 2, o, high);
    }
    if (high)
        o = put(o, 0xFFFD);
    out.assign(begin, size_t(o - begin));
}

} // namespace jet
