#include "data/Prefilter.h"

#include "data/TextCompare.h"

#include <cstring>

namespace jetvtab {
namespace {

// The next character of the text at s[i]; anything but valid UTF-8 never matches only itself
// here.
char32_t nextChar(const std::string &s, size_t &i)
{
    return jettext::readChar(reinterpret_cast<const unsigned char *>(s.data()), s.size(), i);
}

} // namespace

bool Prefilter::forLike(const std::string &pattern)
{
    if (pattern.find('[') != std::string::npos)
        return false;
    std::string best;
    size_t runStart = 0;
    size_t i = 0;
    while (i < pattern.size()) {
        const size_t at = i;
        if (!jettext::matchesOnlyItself(nextChar(pattern, i))) {
            if (at - runStart > best.size())
                best = pattern.substr(runStart, at - runStart);
            runStart = i;
        }
    }
    if (pattern.size() - runStart > best.size())
        best = pattern.substr(runStart);
    whole = false;
    bytes = best;
    return !bytes.empty();
}

bool Prefilter::forEquals(const std::string &text)
{
    for (size_t i = 0; i < text.size();)
        if (!jettext::matchesOnlyItself(nextChar(text, i)))
            return false;
    whole = true;
    bytes = text;
    return true;
}

bool Prefilter::admits(const char *text, size_t size) const
{
    if (whole)
        return size == bytes.size() && std::memcmp(text, bytes.data(), size) == 0;
    return memmem(text, size, bytes.data(), bytes.size()) != nullptr;
}

} // namespace jetvtab
