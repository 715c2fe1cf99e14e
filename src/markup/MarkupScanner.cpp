#include "markup/MarkupScanner.h"

#include <cstring>

#include "markup/MarkupMessage.h"
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

    TokenScan(ScanCursor& c, MarkupToken& t) : cursor(c), token(t), text(c.text), errorOffset(t.offset) {}

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
        if (p <= terminatorLength || previous != p - 1 || (before == 2 && beforePrevious != p - 2)) {
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
            return Fail(MSG_UNTERMINATED, UnterminatedWord(type, (state & InDoctype) != 0), token.offset);
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

} // namespace

std::int32_t ScanToken(ScanCursor& cursor, MarkupToken& token)
{
    token.offset = cursor.next;
    token.flags = 0;
    if (cursor.text[cursor.next] == '\0') {
        token.type = TOK_EOF;
        token.length = 0;
        return TOK_EOF;
    }
    TokenScan scan(cursor, token);
    return scan.Run();
}
