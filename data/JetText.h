#pragma once

#include <cstddef>
#include <string>

namespace jet4text {

// Jet 4 text as UTF-8: UTF-16LE, or, after the marker FF FE, runs of one-byte characters and of
// UTF-16 units, each 00 byte switching between the two. A surrogate without its partner becomes
// U+FFFD. `out` is replaced; its capacity is kept, so a reused string is sized once.
void decode(const unsigned char *p, size_t len, std::string &out);

} // namespace jet4text
