#pragma once

#include <cstdint>

#include "markup/MarkupToken.h"
#include "markup/ScanCursor.h"

// Reads one token from cursor.next into token and returns its type. A token that ends moves
// cursor.next past it; a failed scan returns TOK_ERROR with the message in token.text. The
// name of an end tag is left as the cursor's word, so the open start tags on the parser's
// stack keep their names. Steps whole code page 936 characters and never reads past the
// text's terminating NUL.
std::int32_t ScanToken(ScanCursor& cursor, MarkupToken& token);

// Does a start tag begin at `at` ('<' and a character that may start a tag name)?
inline bool StartsStartTag(const char* at)
{
    // at[1] is read only after a '<', so never past the terminating NUL.
    if (at[0] != '<') {
        return false;
    }
    const auto c = static_cast<unsigned char>(at[1]);
    return (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c > 0x60;
}
// ScanToken for a text at whose cursor.next StartsStartTag holds.
std::int32_t ScanStartTag(ScanCursor& cursor, MarkupToken& token);
