#pragma once

#include <cstddef>

// Code page 936, the server's code page. The library reads and writes its text in it on every
// platform, whatever locale the host process runs under: a byte from 0x81 to 0xFE leads a
// two-byte character, every other byte is a character of its own.
namespace cp936 {

// The longest character: a lead byte and its trail byte.
inline constexpr int kMaxCharBytes = 2;

constexpr bool IsLeadByte(unsigned char byte)
{
    return byte >= 0x81 && byte <= 0xFE;
}

constexpr bool IsTrailByte(unsigned char byte)
{
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}

// Bytes of the character at text[pos] in a text of `length` bytes: 0 at or past the end, 2 for
// a lead byte followed by a trail byte, 1 otherwise. A lead byte whose follower is missing or
// is no trail byte (a quote, a '>', the terminator) counts alone, so a reader that steps by
// characters never leaves the text and never swallows an ASCII delimiter.
constexpr std::size_t CharLength(const char* text, std::size_t pos, std::size_t length)
{
    if (pos >= length) {
        return 0;
    }
    if (pos + 1 < length && IsLeadByte(static_cast<unsigned char>(text[pos])) &&
        IsTrailByte(static_cast<unsigned char>(text[pos + 1]))) {
        return 2;
    }
    return 1;
}

// The same for NUL-terminated text: 0 on the terminating NUL itself.
constexpr std::size_t CharLength(const char* p)
{
    if (*p == '\0') {
        return 0;
    }
    // A NUL is no trail byte, so the test never looks past the terminator.
    if (IsLeadByte(static_cast<unsigned char>(p[0])) &&
        IsTrailByte(static_cast<unsigned char>(p[1]))) {
        return 2;
    }
    return 1;
}

// Converts one UTF-16 code unit to code page 936 and writes its bytes to out, which has room
// for kMaxCharBytes. Returns the number of bytes written: 0 for the unit 0 and for a unit the
// code page has no character for (a lone surrogate, for one). Safe to call from any thread.
int FromUtf16(char16_t unit, char* out);

}  // namespace cp936
