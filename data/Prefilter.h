#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace jetvtab {

// A test that a row must pass for a constraint of the statement to hold: a run of bytes its
// text must hold (LIKE) or be (=). It only skips rows that cannot match; SQLite still evaluates
// the constraint itself on the rows that pass, so its rules (and errors) stay whole. Built only
// from characters that match nothing but themselves (jettext::matchesOnlyItself), whose bytes
// stand as they are in every value that matches.
struct Prefilter
{
    int column = 0;
    bool whole = false; // = : the text is exactly `bytes`
    std::string bytes;
    // The test decides the constraint by itself, both ways: `= text` always, `LIKE pattern` when
    // the pattern is "%", the run, "%" (a row holds the run exactly when it matches). SQLite may
    // then leave the constraint to the table.
    bool exact = false;

    // For `LIKE pattern`: the longest run of such characters between its wildcards. False when
    // there is none, or the pattern holds "[" (a character list: not plain text).
    bool forLike(const std::string &pattern);
    // For `= text`: false unless the text is made of such characters only.
    bool forEquals(const std::string &text);

    bool admits(const char *text, size_t size) const;

    // The rows among `rows` whose text admits the test, ascending, appended to `out`. Row r's
    // text is text[ends[r], ends[r + 1]): the texts lie back to back, and one search runs over
    // all of them, each hit taken for the row it starts in when it also ends there.
    void matchingRows(const char *text, const uint32_t *ends, size_t rows, std::vector<uint32_t> &out) const;
    // The same for a column kept as `texts` distinct texts (laid out as above) and a code a row
    // into them: each text is tested once, then the rows whose code passed are listed.
    void matchingCodedRows(const char *text, const uint32_t *ends, size_t texts, const uint16_t *codes, size_t rows,
                           std::vector<uint32_t> &out) const;
    void matchingCodedRows(const char *text, const uint32_t *ends, size_t texts, const uint32_t *codes, size_t rows,
                           std::vector<uint32_t> &out) const;

private:
    template <class Code>
    void listCoded(const char *text, const uint32_t *ends, size_t texts, const Code *codes, size_t rows,
                   std::vector<uint32_t> &out) const;
};

} // namespace jetvtab
