#include "markup/MarkupScanner.h"

#include <cstring>

#include "markup/MarkupMessage.h"
#include "markup/StopSearch.h"
#include "platform/CodePage936.h"

namespace {

// What has been seen of the token so far.
enum ScanState : unsigned {
    AfterLt = 1u << 0,
    AfterBang = 1u << 1,
    AfterDash = 1u << 2,
    AfterBracket = 1u << 3,
    InDoctype = 1u << 4,
    InSpace = 1u << 5,
    InDouble = 1u << 6,
    InSingle = 1u << 7,
};

bool IsSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool StartsTagName(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c > 0x60;
}

bool EndsTagName(unsigned char c)
{
    return IsSpace(c) || c == '/' || c == '>';
}

const char* UnterminatedWord(std::int32_t type, bool inDoctype)
{
    if (inDoctype) {
        return "Doctype";
    }
    switch (type) {
    case TOK_START_TAG: return "Element tag";
    case TOK_END_TAG: return "Element end tag";
    case TOK_CDATA: return "CDATA Section";
    case TOK_PI: return "Processing instruction";
    case TOK_COMMENT: return "Comment";
    default: return "tag";
    }
}

// The per-token state of one ScanToken call.
struct TokenScan {
    ScanCursor& cursor;
    MarkupToken& token;
    const char* text;
    std::int32_t type = TOK_ERROR;     // -1 until the first characters decide
    const char* terminator = nullptr;  // what closes the token's body, once known
    std::int32_t terminatorLength = 0;
    std::int32_t nameStart = -1;
    std::int32_t errorOffset;
    unsigned state = 0;
    // Starts of the last two characters, so that a terminator is matched on whole characters
    // and a trail byte equal to ']' never completes "]]>".
    std::int32_t previous = -1;
    std::int32_t beforePrevious = -1;

    TokenScan(ScanCursor& c, MarkupToken& t)
        : cursor(c), token(t), text(c.text), errorOffset(t.offset)
    {}

    std::int32_t End(std::int32_t end)
    {
        token.type = type;
        token.length = end - token.offset + 1;
        cursor.next = end + 1;
        if (type == TOK_ERROR) {
            // Only "<!E", "<!A" or "<!N" outside a document type declaration ends this way.
            token.text = FillMessage(MSG_STRAY_DECLARATION, {token.offset});
        }
        return type;
    }

    std::int32_t Fail(const char* pattern, const char* word, std::int32_t offset)
    {
        token.type = TOK_ERROR;
        token.length = 0;
        token.text = FillMessage(pattern, {word, offset});
        return TOK_ERROR;
    }

    void Expect(std::int32_t tokenType, const char* closing, std::int32_t closingLength)
    {
        type = tokenType;
        terminator = closing;
        terminatorLength = closingLength;
    }

    void EndName(std::int32_t p)
    {
        if (type == TOK_END_TAG) {
            cursor.wordStart = nameStart;
            cursor.wordEnd = p - 1;
        } else {
            token.text.assign(text + nameStart, static_cast<size_t>(p - nameStart));
        }
        nameStart = -1;
    }

    // The closing '>' of the body at p: does it complete the terminator?
    bool CompletesTerminator(std::int32_t p) const
    {
        if (terminatorLength == 1) {
            return true;
        }
        const std::int32_t before = terminatorLength - 1;
        if (p <= terminatorLength || previous != p - 1 ||
            (before == 2 && beforePrevious != p - 2)) {
            return false;
        }
        return std::memcmp(text + p - before, terminator, static_cast<size_t>(before)) == 0;
    }

    // Rule for a token whose body is being read. Returns true when the token ends at p.
    bool InBody(std::int32_t p, unsigned char c)
    {
        if (c == '>' && (state & (InDouble | InSingle)) == 0) {
            errorOffset = p;
            if (!CompletesTerminator(p)) {
                return false;
            }
            if (terminatorLength == 1 && type == TOK_START_TAG && text[p - 1] == '/') {
                token.flags |= TOKEN_EMPTY_TAG;
            }
            terminator = nullptr;
            terminatorLength = 0;
            // Inside a document type declaration only a nested construct is over.
            return (state & InDoctype) == 0;
        }
        if (type == TOK_START_TAG) {
            if (c == '"' && (state & InSingle) == 0) {
                state ^= InDouble;
            } else if (c == '\'' && (state & InDouble) == 0) {
                state ^= InSingle;
            }
        }
        return false;
    }

    std::int32_t Run();
};

std::int32_t TokenScan::Run()
{
    std::int32_t p = token.offset;
    for (;;) {
        const unsigned char c = static_cast<unsigned char>(text[p]);
        if (c == '\0') {
            if (type == TOK_TEXT || type == TOK_SPACE) {
                return End(p - 1);
            }
            return Fail(MSG_UNTERMINATED, UnterminatedWord(type, (state & InDoctype) != 0),
                        token.offset);
        }
        if (nameStart >= 0) {
            if (!EndsTagName(c)) {
                beforePrevious = previous;
                previous = p;
                ++p;
                continue;
            }
            EndName(p);
        }

        if (terminatorLength != 0) {
            if (c == '<' && type == TOK_TEXT) {
                return End(p - 1);
            }
            if (InBody(p, c)) {
                return End(p);
            }
        } else if (state == 0) {
            if (c == '<') {
                state = AfterLt;
            } else if (IsSpace(c)) {
                type = TOK_SPACE;
                state = InSpace;
            } else {
                Expect(TOK_TEXT, "<", 1);
            }
        } else if (state & InSpace) {
            if (c == '<') {
                return End(p - 1);
            }
            if (!IsSpace(c)) {
                state &= ~InSpace;
                Expect(TOK_TEXT, "<", 1);
            }
        } else if (state & AfterLt) {
            state &= ~AfterLt;
            if (StartsTagName(c)) {
                Expect(TOK_START_TAG, ">", 1);
                nameStart = p;
            } else if (c == '/') {
                Expect(TOK_END_TAG, ">", 1);
                nameStart = p + 1;
            } else if (c == '!') {
                state |= AfterBang;
            } else if (c == '?') {
                Expect(TOK_PI, "?>", 2);
                nameStart = p + 1;
            } else {
                return Fail(MSG_INCORRECT, "tag name character", errorOffset);
            }
        } else if (state & AfterBang) {
            state &= ~AfterBang;
            if (c == '-') {
                state |= AfterDash;
            } else if (c == '[') {
                if ((state & InDoctype) == 0) {
                    state |= AfterBracket;
                }
            } else if (c == 'D') {
                state |= InDoctype;
            } else if (c == 'E' || c == 'A' || c == 'N') {
                // A markup declaration: at home in a document type's internal subset only.
                Expect(TOK_ERROR, ">", 1);
            } else {
                return Fail(MSG_INCORRECT, "! tag", errorOffset);
            }
        } else if (state & AfterDash) {
            state &= ~AfterDash;
            if (c != '-') {
                return Fail(MSG_INCORRECT, "comment tag", errorOffset);
            }
            Expect(TOK_COMMENT, "-->", 3);
        } else if (state & AfterBracket) {
            state &= ~AfterBracket;
            if (c != 'C') {
                return Fail(MSG_INCORRECT, "tag", errorOffset);
            }
            Expect(TOK_CDATA, "]]>", 3);
        } else if (state & InDoctype) {
            if (c == '<') {
                state |= AfterLt;
            } else if (c == '>') {
                type = TOK_DOCTYPE;
                return End(p);
            }
        }

        beforePrevious = previous;
        previous = p;
        // A name is read byte by byte; everything else by whole characters.
        p += nameStart >= 0 ? 1 : static_cast<std::int32_t>(cp936::CharLength(text + p));
    }
}

// The common tokens, character data and element tags, take the shortcuts below; they give
// the same tokens, offsets and messages as the state steps of TokenScan, which read every
// character, but search for the next byte that matters (see StopSearch.h).

std::int32_t EndToken(ScanCursor& cursor, MarkupToken& token, std::int32_t type, std::int32_t end)
{
    token.type = type;
    token.length = end - token.offset + 1;
    cursor.next = end + 1;
    return type;
}

std::int32_t FailUnterminated(MarkupToken& token, const char* word)
{
    token.type = TOK_ERROR;
    token.length = 0;
    token.text = FillMessage(MSG_UNTERMINATED, {word, token.offset});
    return TOK_ERROR;
}

// White space and character data. The first character that is no white space is taken
// unseen; after it a '>' ends the text (and belongs to it), a '<' or the end of the text
// ends it before them.
std::int32_t ScanCharacterData(ScanCursor& cursor, MarkupToken& token)
{
    const char* text = cursor.text;
    std::int32_t p = token.offset;
    if (IsSpace(static_cast<unsigned char>(text[p]))) {
        p = FindStop(text, cursor.length, p + 1, StopsSpaceRun);
        if (text[p] == '<' || text[p] == '\0') {
            return EndToken(cursor, token, TOK_SPACE, p - 1);
        }
    }
    const std::int32_t stop = FindStop(text, cursor.length, p + 1, StopsText);
    return EndToken(cursor, token, TOK_TEXT, text[stop] == '>' ? stop : stop - 1);
}

// A start tag ("<" and a name character) or an end tag ("</"). The name runs to white space,
// '/' or '>'; a start tag then ends at the first '>' outside quoted values, an end tag at the
// first '>'.
std::int32_t ScanElementTag(ScanCursor& cursor, MarkupToken& token, bool isEnd)
{
    const char* text = cursor.text;
    const char* word = isEnd ? "Element end tag" : "Element tag";
    const std::int32_t nameStart = token.offset + (isEnd ? 2 : 1);
    // The first name character of a start tag never ends the name.
    std::int32_t p = isEnd ? nameStart : nameStart + 1;
    p = FindStop(text, cursor.length, p, StopsName);
    if (text[p] == '\0') {
        return FailUnterminated(token, word);
    }
    if (isEnd) {
        // The name stays the cursor's word, even when the tag turns out unterminated.
        cursor.wordStart = nameStart;
        cursor.wordEnd = p - 1;
        const std::int32_t close = FindStop(text, cursor.length, p, StopsEnd);
        if (text[close] == '\0') {
            return FailUnterminated(token, word);
        }
        return EndToken(cursor, token, TOK_END_TAG, close);
    }
    token.nameStart = nameStart;
    token.nameLength = p - nameStart;
    const std::int32_t close = FindTagClose(text, cursor.length, p);
    if (close < 0) {
        return FailUnterminated(token, word);
    }
    if (text[close - 1] == '/') {
        token.flags |= TOKEN_EMPTY_TAG;
    }
    return EndToken(cursor, token, TOK_START_TAG, close);
}

}  // namespace

std::int32_t ScanToken(ScanCursor& cursor, MarkupToken& token)
{
    token.offset = cursor.next;
    token.flags = 0;
    const char* at = cursor.text + cursor.next;
    if (at[0] == '\0') {
        token.type = TOK_EOF;
        token.length = 0;
        return TOK_EOF;
    }
    if (at[0] != '<') {
        return ScanCharacterData(cursor, token);
    }
    if (StartsTagName(static_cast<unsigned char>(at[1]))) {
        return ScanElementTag(cursor, token, false);
    }
    if (at[1] == '/') {
        return ScanElementTag(cursor, token, true);
    }
    // Comments, processing instructions, CDATA sections, document types and errors.
    TokenScan scan(cursor, token);
    return scan.Run();
}

std::int32_t ScanStartTag(ScanCursor& cursor, MarkupToken& token)
{
    token.offset = cursor.next;
    token.flags = 0;
    return ScanElementTag(cursor, token, false);
}
