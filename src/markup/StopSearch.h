#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Searches of the tokenizer: the first byte at or after a position that belongs to a set of
// stop bytes, or the terminating NUL. Every stop byte is below 0x40 and so never the trail
// byte of a code page 936 character: a search by bytes stops exactly where stepping by whole
// characters would.

enum StopSet : unsigned {
    StopsText = 1u << 0,      // '<' '>'
    StopsName = 1u << 1,      // white space, '/', '>'
    StopsBody = 1u << 2,      // '"', '\'', '>'
    StopsDouble = 1u << 3,    // '"'
    StopsSingle = 1u << 4,    // '\''
    StopsEnd = 1u << 5,       // '>'
    StopsSpaceRun = 1u << 6,  // anything but white space
    StopsMarkup = 1u << 7,    // '<'
};

struct StopTable {
    unsigned char sets[256] = {};

    constexpr StopTable()
    {
        for (auto& set : sets) {
            set = StopsSpaceRun;
        }
        // Indexed through unsigned char: plain char may be signed.
        auto at = [this](char c) -> unsigned char& { return sets[static_cast<unsigned char>(c)]; };
        sets[0] = 0xFF;
        at('<') = StopsText | StopsSpaceRun | StopsMarkup;
        at('>') = StopsText | StopsName | StopsBody | StopsEnd | StopsSpaceRun;
        at(' ') = at('\t') = at('\n') = at('\r') = StopsName;  // and no StopsSpaceRun
        at('/') = StopsName | StopsSpaceRun;
        at('"') = StopsBody | StopsDouble | StopsSpaceRun;
        at('\'') = StopsBody | StopsSingle | StopsSpaceRun;
    }
};

inline constexpr StopTable kStops;

#if defined(__SSE2__)
// Bit i set when byte i of the block is in the set.
inline int StopMask(__m128i block, unsigned set)
{
    auto is = [block](char c) { return _mm_cmpeq_epi8(block, _mm_set1_epi8(c)); };
    __m128i space = _mm_or_si128(_mm_or_si128(is(' '), is('\t')), _mm_or_si128(is('\n'), is('\r')));
    __m128i hits;
    switch (set) {
    case StopsText: hits = _mm_or_si128(is('<'), is('>')); break;
    case StopsName: hits = _mm_or_si128(space, _mm_or_si128(is('/'), is('>'))); break;
    case StopsBody: hits = _mm_or_si128(is('"'), _mm_or_si128(is('\''), is('>'))); break;
    case StopsDouble: hits = is('"'); break;
    case StopsSingle: hits = is('\''); break;
    case StopsEnd: hits = is('>'); break;
    case StopsMarkup: hits = is('<'); break;
    default: return ~_mm_movemask_epi8(space) & 0xFFFF;
    }
    return _mm_movemask_epi8(hits);
}
#endif

// First byte at or after p that is in the set or the NUL. length is the number of bytes
// before the NUL when the caller knows it (otherwise -1): then whole 16-byte blocks that lie
// before the NUL are tested at once, and nothing past the NUL is ever read.
inline std::int32_t FindStop(const char* text, std::int32_t length, std::int32_t p, unsigned set)
{
#if defined(__SSE2__)
    while (length - p >= 16) {
        const int mask = StopMask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p)), set);
        if (mask != 0) {
            return p + __builtin_ctz(static_cast<unsigned>(mask));
        }
        p += 16;
    }
#else
    (void)length;
#endif
    // Byte by byte, four a round; each test comes after the one before it, so a stop (the
    // NUL at the latest) ends the search before anything beyond it is read.
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (;;) {
        if (kStops.sets[bytes[p]] & set) {
            return p;
        }
        if (kStops.sets[bytes[p + 1]] & set) {
            return p + 1;
        }
        if (kStops.sets[bytes[p + 2]] & set) {
            return p + 2;
        }
        if (kStops.sets[bytes[p + 3]] & set) {
            return p + 3;
        }
        p += 4;
    }
}

// The '>' that closes a start tag whose body is read from p on, outside any quoted value: a
// '"' or '\'' opens a value that only the same quote closes. -1 when the text ends first.
inline std::int32_t FindTagClose(const char* text, std::int32_t length, std::int32_t p)
{
    // Most tags that come here end right away ("/>").
    if (text[p] == '>') {
        return p;
    }
    if (text[p] != '"' && text[p] != '\'' && text[p] != '\0' && text[p + 1] == '>') {
        return p + 1;
    }
#if defined(__SSE2__)
    // Blocks without a single quote in them are read whole: a byte lies inside a value when an
    // odd number of double quotes comes before it (the running parity of the block's quote
    // bits, carried from block to block), and the first '>' outside one ends the tag. The
    // first block with a single quote, and the bytes near the end, go to the loop below.
    unsigned inside = 0;  // 0xFFFF while the block starts inside a double-quoted value
    while (length - p >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p));
        if (StopMask(block, StopsSingle) != 0) {
            break;
        }
        auto parity = static_cast<unsigned>(StopMask(block, StopsDouble));
        parity ^= parity << 1;
        parity ^= parity << 2;
        parity ^= parity << 4;
        parity ^= parity << 8;
        parity = (parity ^ inside) & 0xFFFFu;
        const unsigned closes = static_cast<unsigned>(StopMask(block, StopsEnd)) & ~parity;
        if (closes != 0) {
            return p + __builtin_ctz(closes);
        }
        inside = (parity & 0x8000u) != 0 ? 0xFFFFu : 0;
        p += 16;
    }
    if (inside != 0) {
        // The loop below starts outside any value: first the one open here is closed.
        p = FindStop(text, length, p, StopsDouble);
        if (text[p] == '\0') {
            return -1;
        }
        ++p;
    }
#endif
    for (;;) {
        p = FindStop(text, length, p, StopsBody);
        const char c = text[p];
        if (c == '>') {
            return p;
        }
        if (c == '\0') {
            return -1;
        }
        // Each search with a set known here, so that its block test is compiled for it.
        p = c == '"' ? FindStop(text, length, p + 1, StopsDouble)
                     : FindStop(text, length, p + 1, StopsSingle);
        if (text[p] == '\0') {
            return -1;
        }
        ++p;
    }
}
