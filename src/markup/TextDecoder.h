#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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
