#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What ScanToken found. The values are bit-like so that callers could test sets of them.
enum MarkupTokenType : std::int32_t {
    TOK_EOF = -2,       // the scan started at the end of the text
    TOK_ERROR = -1,     // malformed markup; the message is in the token's text
    TOK_END_TAG = 0,    // "</" to the first '>'
    TOK_START_TAG = 1,  // '<' to the first '>' outside quotes, empty-element tags included
    TOK_TEXT = 2,       // character data
    TOK_SPACE = 4,      // spaces, tabs, line feeds and carriage returns
    TOK_CDATA = 8,      // "<![C" to "]]>"
    TOK_PI = 16,        // "<?" to "?>"
    TOK_COMMENT = 32,   // "<!--" to "-->"
    TOK_DOCTYPE = 64,   // "<!D" to its closing '>'
};

// flags: a start tag closed by "/>".
inline constexpr std::uint32_t TOKEN_EMPTY_TAG = 0x10000;

// One scanned token. The parser keeps one per open start tag, so the tag's name stays at hand
// for matching its end tag: as a range of the text, which outlives the parse, not a copy.
struct MarkupToken {
    std::int32_t type = TOK_EOF;
    std::int32_t offset = 0;
    std::int32_t length = 0;
    std::uint32_t flags = 0;
    std::int32_t nameStart = 0;  // a start tag's name in the text
    std::int32_t nameLength = 0;
    std::string text;  // a processing instruction's name, or the error message

    std::string_view Name(const char* pText) const
    {
        return {pText + nameStart, static_cast<std::size_t>(nameLength)};
    }
};
