#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "markup/AlwaysInline.h"

// Are the n bytes at a and at b the same? For the short names of a document, where a call to
// memcmp with a length known only at run time costs more than the comparison: 8 bytes at a
// time, then the rest in at most three steps. Reads no byte outside the two ranges.
KORV_ALWAYS_INLINE bool SameBytes(const char* a, const char* b, std::size_t n)
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
    // Fewer than 8 left: at most one comparison each of 4, 2 and 1 bytes.
    if (n >= 4) {
        std::uint32_t x;
        std::uint32_t y;
        std::memcpy(&x, a, 4);
        std::memcpy(&y, b, 4);
        if (x != y) {
            return false;
        }
        a += 4;
        b += 4;
        n -= 4;
    }
    if (n >= 2) {
        std::uint16_t x;
        std::uint16_t y;
        std::memcpy(&x, a, 2);
        std::memcpy(&y, b, 2);
        if (x != y) {
            return false;
        }
        a += 2;
        b += 2;
        n -= 2;
    }
    return n == 0 || *a == *b;
}
