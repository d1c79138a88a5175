#include "data/Prefilter.h"

#include "data/TextCompare.h"

#include <algorithm>
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
    // Only "%"s besides the run, at least one on each side ("%%" is "%").
    const size_t at = pattern.find(best);
    exact = !best.empty() && at > 0 && at + best.size() < pattern.size() && pattern.find_first_not_of('%') == at
            && pattern.find_last_not_of('%') == at + best.size() - 1;
    return !bytes.empty();
}

bool Prefilter::forEquals(const std::string &text)
{
    for (size_t i = 0; i < text.size();)
        if (!jettext::matchesOnlyItself(nextChar(text, i)))
            return false;
    whole = true;
    exact = true;
    bytes = text;
    return true;
}

bool Prefilter::admits(const char *text, size_t size) const
{
    if (whole)
        return size == bytes.size() && std::memcmp(text, bytes.data(), size) == 0;
    // Cells are short (a city, a name): a plain scan for the first byte beats memmem's set-up.
    const size_t n = bytes.size();
    if (size < n)
        return false;
    if (n == 0)
        return true;
    const char first = bytes[0];
    const char *rest = bytes.data() + 1;
    for (const char *p = text, *last = text + (size - n); p <= last; ++p)
        if (*p == first && std::memcmp(p + 1, rest, n - 1) == 0)
            return true;
    return false;
}

void Prefilter::matchingRows(const char *text, const uint32_t *ends, size_t rows, std::vector<uint32_t> &out) const
{
    if (bytes.empty() || !text) {
        // Every row holds the empty text; none holds more than that in an empty buffer.
        for (size_t r = 0; r < rows; ++r)
            if (admits(text ? text + ends[r] : "", ends[r + 1] - ends[r]))
                out.push_back(uint32_t(r));
        return;
    }
    const size_t n = bytes.size();
    const size_t total = ends[rows];
    size_t at = 0;
    size_t r = 0; // the row `at` lies in (or before)
    while (at + n <= total) {
        const void *hit = memmem(text + at, total - at, bytes.data(), n);
        if (!hit)
            break;
        const size_t offset = size_t(static_cast<const char *>(hit) - text);
        // The row holding the hit's first byte: the first whose end lies beyond it.
        r = size_t(std::upper_bound(ends + r + 1, ends + rows + 1, uint32_t(offset)) - ends) - 1;
        const size_t rowEnd = ends[r + 1];
        // A hit running past its row's end is two rows' text, and so is every later start in
        // that row: the search goes on at the next row.
        if (offset + n <= rowEnd && (!whole || (offset == ends[r] && rowEnd - offset == n)))
            out.push_back(uint32_t(r));
        at = rowEnd;
        ++r;
    }
}

template <class Code>
void Prefilter::listCoded(const char *text, const uint32_t *ends, size_t texts, const Code *codes, size_t rows,
                          std::vector<uint32_t> &out) const
{
    std::vector<uint32_t> hits;
    matchingRows(text, ends, texts, hits);
    if (hits.empty())
        return;
    std::vector<unsigned char> passed(texts, 0);
    for (uint32_t v : hits)
        passed[v] = 1;
    for (size_t r = 0; r < rows; ++r)
        if (passed[codes[r]])
            out.push_back(uint32_t(r));
}

void Prefilter::matchingCodedRows(const char *text, const uint32_t *ends, size_t texts, const uint16_t *codes,
                                  size_t rows, std::vector<uint32_t> &out) const
{
    listCoded(text, ends, texts, codes, rows, out);
}

void Prefilter::matchingCodedRows(const char *text, const uint32_t *ends, size_t texts, const uint32_t *codes,
                                  size_t rows, std::vector<uint32_t> &out) const
{
    listCoded(text, ends, texts, codes, rows, out);
}

} // namespace jetvtab
