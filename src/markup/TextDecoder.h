#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "markup/AlwaysInline.h"

// Copies `length` bytes of the NUL-terminated text from start, replacing the entity references
// "&lt;", "&amp;", "&gt;", "&apos;", "&quot;" and the character references "&#N;" and "&#xH;"
// (converted to code page 936) by their characters. Anything that is not a complete reference
// stays as written; a reference counts only when its ';' lies inside the range. The result is
// never longer than the range.
std::string DecodeText(const char* text, std::int32_t start, std::int32_t length);
// The same, written to pOut, which has room for `length` bytes; returns the bytes written.
std::size_t DecodeTextInto(const char* text, std::int32_t start, std::int32_t length, char* pOut);

// Room DecodeValueInto may write past the decoded bytes.
inline constexpr std::size_t kDecodeSlack = 16;

// DecodeTextInto for a text whose `textLength` bytes before the NUL are known, into pOut with
// room for `length` + kDecodeSlack bytes: the bytes between references are copied 16 at a time
// while they are searched for '&', and what is written past the result is left undefined.
std::size_t DecodeValueInto(const char* text, std::int32_t textLength, std::int32_t start,
                            std::int32_t length, char* pOut);

// The common value of a document, at most 16 bytes without a '&', is its own decoding: it is
// copied and searched as one block, without a call, into room for `length` + kDecodeSlack
// bytes. False (nothing decided, the block may be written) for a longer value, one holding a
// '&', or one whose block would reach the NUL.
KORV_ALWAYS_INLINE bool CopyShortPlainValue(const char* text, std::int32_t textLength,
                                            std::int32_t start, std::int32_t length, char* pOut)
{
#if defined(__SSE2__)
    static_assert(kDecodeSlack >= 16, "the block is written whole, whatever the length");
    if (length < 0 || length > 16 || textLength - start < 16) {
        return false;
    }
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + start));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut), block);
    const auto ampMask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8('&'))));
    return (ampMask & ((1u << length) - 1u)) == 0;
#else
    (void)text, (void)textLength, (void)start, (void)length, (void)pOut;
    return false;
#endif
}
