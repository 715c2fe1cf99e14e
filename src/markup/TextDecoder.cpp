#include "markup/TextDecoder.h"

#include <array>
#include <climits>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "markup/AlwaysInline.h"
#include "platform/CodePage936.h"

namespace {

// The entity whose name (the bytes after '&', ';' included) is `name`, when it lies at i + 1
// and ends inside the range: appends its character and returns the offset after its ';', or
// returns 0. The comparison of a literal of known length compiles to a few loads, not a call.
template <std::size_t N>
std::int32_t EntityAt(const char* text, std::int32_t i, std::int32_t end, const char (&name)[N],
                      char character, char*& out)
{
    constexpr auto length = static_cast<std::int32_t>(N - 1);
    if (i + length >= end || std::memcmp(text + i + 1, name, N - 1) != 0) {
        return 0;
    }
    *out++ = character;
    return i + length + 1;
}

// At most this many bytes may lie between "&#" (or "&#x") and the ';'.
constexpr std::int32_t kMaxReferenceDigits = 7;

// A byte's value as a hexadecimal digit, 99 for any other byte: one load per digit of a
// reference instead of three range tests.
constexpr std::array<unsigned char, 256> kDigitValues = [] {
    std::array<unsigned char, 256> values{};
    for (int c = 0; c < 256; ++c) {
        values[c] = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : 99;
    }
    return values;
}();

int DigitValue(char c)
{
    return kDigitValues[static_cast<unsigned char>(c)];
}

// Reads a number the way strtol does (leading white space, a sign, "0x" in base 16, then
// digits up to the first non-digit), but under fixed rules rather than the process's locale.
// The caller has seen the ';', so the digits never run past it.
long ReadNumber(const char* p, int base)
{
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16) {
        p += 2;
    }
    long value = 0;
    for (int digit = DigitValue(*p); digit < base; digit = DigitValue(*++p)) {
        value = value * base + digit;
    }
    return negative ? -value : value;
}

// The code page conversion of one UTF-16 unit goes through the system's converter, which
// costs far more than the rest of decoding a reference; documents repeat the same few
// characters, so the last conversions are remembered per thread (direct-mapped by unit).
int ConvertUnit(char16_t unit, char* bytes)
{
    struct SConverted {
        char16_t unit = 0;  // 0 is never converted (it has no character), so it marks empty
        signed char count = 0;
        char bytes[cp936::kMaxCharBytes] = {};
    };
    static thread_local SConverted s_cache[256];
    SConverted& slot = s_cache[(unit ^ (unit >> 8)) & 0xFF];
    if (unit == 0 || slot.unit != unit) {
        slot.count = static_cast<signed char>(cp936::FromUtf16(unit, slot.bytes));
        slot.unit = unit;
    }
    bytes[0] = slot.bytes[0];
    bytes[1] = slot.bytes[1];
    return slot.count;
}

// "&#" at i: appends the character and returns the offset after the ';', or returns 0 when
// the reference stays as written. The ';' must lie inside the range (before end): a value
// that ends in an unterminated reference keeps it as written rather than borrowing a ';'
// from the markup that follows.
std::int32_t DecodeCharacterReference(const char* text, std::int32_t i, std::int32_t end,
                                      char*& out)
{
    std::int32_t digits = i + 2;
    int base = 10;
    if (text[digits] == 'x') {
        base = 16;
        ++digits;
    }
    // Most references are digits right up to the ';': those are read in one loop. Anything
    // else (space, a sign, "0x", other bytes before the ';') takes the general reading.
    long value = 0;
    std::int32_t semicolon = digits;
    const std::int32_t last =
        end - digits < kMaxReferenceDigits ? end : digits + kMaxReferenceDigits;
    for (int digit = 0; semicolon < last && (digit = DigitValue(text[semicolon])) < base;
         ++semicolon) {
        value = value * base + digit;
    }
    if (semicolon >= end || text[semicolon] != ';' || semicolon - digits > kMaxReferenceDigits) {
        semicolon = digits;
        for (;;) {
            if (semicolon >= end || text[semicolon] == '\0' ||
                semicolon - digits > kMaxReferenceDigits) {
                return 0;
            }
            if (text[semicolon] == ';') {
                break;
            }
            semicolon += static_cast<std::int32_t>(cp936::CharLength(text + semicolon));
        }
        value = ReadNumber(text + digits, base);
    }
    // The low 16 bits make one UTF-16 code unit; 0 has no character and stays as written.
    const char16_t unit = static_cast<char16_t>(static_cast<unsigned long>(value) & 0xFFFF);
    char bytes[cp936::kMaxCharBytes];
    const int count = ConvertUnit(unit, bytes);
    if (count <= 0 || value == 0) {
        return 0;
    }
    // "&#N;" is at least 4 bytes, more than any character it gives: both of the room's bytes
    // may be written, whatever the count.
    static_assert(cp936::kMaxCharBytes == 2);
    out[0] = bytes[0];
    out[1] = bytes[1];
    out += count;
    return semicolon + 1;
}

// '&' at i, not followed by '#': appends the entity's character and returns the offset after
// its ';', or returns 0. An entity counts only when it ends inside the range.
std::int32_t DecodeEntityReference(const char* text, std::int32_t i, std::int32_t end, char*& out)
{
    // The five entities, told apart by their first letter.
    switch (text[i + 1]) {
    case 'l': return EntityAt(text, i, end, "lt;", '<', out);
    case 'g': return EntityAt(text, i, end, "gt;", '>', out);
    case 'q': return EntityAt(text, i, end, "quot;", '"', out);
    case 'a': {
        const std::int32_t after = EntityAt(text, i, end, "amp;", '&', out);
        return after != 0 ? after : EntityAt(text, i, end, "apos;", '\'', out);
    }
    default: return 0;
    }
}

// The reference at i ('&'): its character, or the '&' as written. Inlined into the decoding
// loops: a call costs more than the common entity itself.
KORV_ALWAYS_INLINE std::int32_t DecodeReference(const char* text, std::int32_t i, std::int32_t end,
                                                char*& out)
{
    const std::int32_t after = text[i + 1] == '#' ? DecodeCharacterReference(text, i, end, out)
                                                  : DecodeEntityReference(text, i, end, out);
    if (after > 0) {
        return after;
    }
    *out++ = '&';
    return i + 1;
}

}  // namespace

std::size_t DecodeTextInto(const char* text, std::int32_t start, std::int32_t length, char* pOut)
{
    if (length <= 0) {
        return 0;
    }
    char* out = pOut;
    // Decoding stops at the text's NUL: the range is cut there first, so nothing past the text
    // is read. '&' and NUL are below 0x40 and never a trail byte, so a byte search finds them
    // where stepping by characters would.
    const std::int32_t end =
        start + static_cast<std::int32_t>(strnlen(text + start, static_cast<size_t>(length)));
    for (std::int32_t i = start; i < end;) {
        if (text[i] != '&') {
            // A run without references is copied whole.
            const void* amp = std::memchr(text + i, '&', static_cast<size_t>(end - i));
            const std::int32_t stop =
                amp != nullptr ? static_cast<std::int32_t>(static_cast<const char*>(amp) - text)
                               : end;
            std::memcpy(out, text + i, static_cast<size_t>(stop - i));
            out += stop - i;
            i = stop;
            continue;
        }
        i = DecodeReference(text, i, end, out);
    }
    return static_cast<std::size_t>(out - pOut);
}

std::size_t DecodeValueInto(const char* text, std::int32_t textLength, std::int32_t start,
                            std::int32_t length, char* pOut)
{
    if (length <= 0) {
        return 0;
    }
#if defined(__SSE2__)
    char* out = pOut;
    // Decoding stops at the text's NUL, as DecodeTextInto's does.
    const std::int32_t end = start + length < textLength ? start + length : textLength;
    std::int32_t i = start;
    const __m128i amp = _mm_set1_epi8('&');
    // A block is read only where it lies before the NUL; writing it whole stays inside the
    // room, since the output never runs ahead of the input.
    while (i < end && textLength - i >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
        const int ampMask = _mm_movemask_epi8(_mm_cmpeq_epi8(block, amp));
        const std::int32_t firstAmp =
            ampMask != 0 ? __builtin_ctz(static_cast<unsigned>(ampMask)) : INT32_MAX;
        if (firstAmp < end - i) {
            out += firstAmp;
            i = DecodeReference(text, i + firstAmp, end, out);
            continue;
        }
        const std::int32_t step = end - i < 16 ? end - i : 16;
        out += step;
        i += step;
    }
    if (i < end) {
        out += DecodeTextInto(text, i, end - i, out);
    }
    return static_cast<std::size_t>(out - pOut);
#else
    (void)textLength;
    return DecodeTextInto(text, start, length, pOut);
#endif
}

std::string DecodeText(const char* text, std::int32_t start, std::int32_t length)
{
    std::string out;
    if (length <= 0) {
        return out;
    }
    out.resize(static_cast<size_t>(length));
    out.resize(DecodeTextInto(text, start, length, out.data()));
    return out;
}
