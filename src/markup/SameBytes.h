#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "markup/AlwaysInline.h"

// Are the sizeof(Word) bytes at a and at b the same? One load from each, whatever alignment.
template <typename Word>
KORV_ALWAYS_INLINE bool SameWord(const char* a, const char* b)
{
    Word x;
    Word y;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    return x == y;
}

// Are the n bytes at a and at b the same? For the short names of a document, where a call to
// memcmp with a length known only at run time costs more than the comparison: 8 bytes at a
// time, then the rest below 8 as two words of 4 or 2 bytes that overlap (the first and the
// last of the rest), or one byte. Reads no byte outside the two ranges.
KORV_ALWAYS_INLINE bool SameBytes(const char* a, const char* b, std::size_t n)
{
    for (; n >= 8; n -= 8, a += 8, b += 8) {
        if (!SameWord<std::uint64_t>(a, b)) {
            return false;
        }
    }
    if (n >= 4) {
        return SameWord<std::uint32_t>(a, b) && SameWord<std::uint32_t>(a + n - 4, b + n - 4);
    }
    if (n >= 2) {
        return SameWord<std::uint16_t>(a, b) && SameWord<std::uint16_t>(a + n - 2, b + n - 2);
    }
    return n == 0 || *a == *b;
}
