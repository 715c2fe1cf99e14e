#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Are the n bytes at a and at b the same? For the short names of a document, where a call to
// memcmp with a length known only at run time costs more than the comparison: 8 bytes at a
// time, then the rest one by one. Reads no byte outside the two ranges.
inline bool SameBytes(const char* a, const char* b, std::size_t n)
{
    for (; n >= 8; n -= 8, a += 8, b += 8) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, a, 8);
        std::memcpy(&y, b, 8);
        if (x != y) {
            return false;
        }
    }
    for (; n > 0; --n, ++a, ++b) {
        if (*a != *b) {
            return false;
        }
    }
    return true;
}
