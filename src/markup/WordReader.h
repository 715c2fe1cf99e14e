#pragma once

#include <cstdint>
#include <string_view>

#include "markup/ScanCursor.h"

// Reading the words of a tag (names, '=', quoted values) straight from the document text.
// Every reader steps whole code page 936 characters and stops at the terminating NUL.

// Offset of the first byte at or after pos that is not a space, tab, line feed or carriage
// return.
inline std::int32_t SkipSpace(const char* text, std::int32_t pos)
{
    // Most calls find no space at all: any byte above ' ' decides in one comparison.
    constexpr std::uint64_t kSpaces =
        (1ull << ' ') | (1ull << '\t') | (1ull << '\n') | (1ull << '\r');
    for (;;) {
        const auto c = static_cast<unsigned char>(text[pos]);
        if (c > ' ' || ((kSpaces >> c) & 1u) == 0) {
            return pos;
        }
        ++pos;
    }
}

// Offset of the first character at or after pos that is ch, or of the terminating NUL.
std::int32_t SkipToChar(const char* text, std::int32_t pos, char ch);

// Does this byte end an unquoted word (a space or one of < > = \\ / ? !)? False for the NUL.
bool EndsWord(unsigned char c);

// Offset just past the unquoted word that starts at pos, on a byte that does not end a word.
std::int32_t UnquotedWordEnd(const char* text, std::int32_t pos);
// The same, or -1 when a character of the word is '['.
std::int32_t UnquotedNameEnd(const char* text, std::int32_t pos);
// The same, or -1 when a character of the word is '[' or a quote (which the tokenizer would
// take for the start of a value).
std::int32_t PlainNameEnd(const char* text, std::int32_t pos);
// UnquotedWordEnd and PlainNameEnd for a text whose `length` bytes before the NUL are known:
// 16 bytes are tested at a time where they lie before the NUL.
std::int32_t UnquotedWordEnd(const char* text, std::int32_t length, std::int32_t pos);
std::int32_t PlainNameEnd(const char* text, std::int32_t length, std::int32_t pos);
// When an unquoted word starts right at pos (no space, quote or word-ending byte there), the
// offset just past it, as ScanWord would read it; otherwise -1.
std::int32_t UnquotedWordAt(const char* text, std::int32_t pos);

// Reads the next word from cursor.next: a quoted value (quotes excluded, quoted set), a run of
// characters up to a delimiter, or a delimiter on its own. False, with an empty word, at the
// end of the text.
bool ScanWord(ScanCursor& cursor);

// Does a name of `length` bytes read from the text match the wanted name? The wanted name must
// start with those bytes and then end or go on with a space, '=', '/' or '[' that is a
// character of its own (not the trail byte of a character the name would split).
bool NameMatches(const char* name, std::int32_t length, const char* wanted);
// The same for a wanted name that is a range of some text rather than NUL-terminated.
bool NameMatches(const char* name, std::int32_t length, std::string_view wanted);

// Reads words from a cursor placed after a tag's '<', looking for an attribute. With a wanted
// name: true when its quoted value is found, left as the cursor's word. Without one (null or
// empty): true at the next attribute name, left as the cursor's word. False at the end of the
// tag or of the text.
bool FindAttribute(ScanCursor& cursor, const char* wanted);
