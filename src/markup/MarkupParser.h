#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "markup/ElementEntry.h"
#include "markup/MarkupMessage.h"
#include "markup/MarkupScanner.h"
#include "markup/MarkupToken.h"
#include "markup/SameBytes.h"
#include "markup/ScanCursor.h"
#include "markup/StartTagReader.h"
#include "markup/StopSearch.h"
#include "markup/WordReader.h"

// The one-pass parse of a document text: it checks that the text is well-formed with one
// root element and reports each start tag and each end tag to a consumer as it reads them.
// The element table (CXmlDoc) and the patient document builder are both consumers; the
// verdict and the error texts are this parse's alone, so the two can never disagree on which
// texts are accepted.
//
// A consumer provides:
//   static constexpr bool ReadsAttributes();
//       true: each start tag comes with a CStartTagReader that holds its tag name and its
//       attributes as the navigator enumerates them. Tags of the common shape are read once,
//       their attributes found while the tag's end is searched for; any other tag is scanned
//       by the tokenizer and its words read by the reader's general rules.
//   CStartTagReader::SWants NextTagWants() const;   (only with ReadsAttributes)
//       what the consumer will ask the reader about the next start tag, given what it has
//       been told so far; the reading on the way to the tag's end keeps just that.
//   void OnStartTag(const MarkupToken& tag, CStartTagReader& reader);
//       a start tag (TOKEN_EMPTY_TAG in its flags for an empty-element tag, which gets no
//       end tag of its own). Without ReadsAttributes the reader is not set.
//   void OnEndTag(const MarkupToken& tag);
//       the end tag of the innermost open element, reported before its name is checked
//       against the start tag's.
// When the parse fails, the consumer has seen part of the document; what it built from it
// is for the caller to discard.
namespace markup_parse {

// Open start tags at first; the stack grows to 2 * capacity + 6 slots.
inline constexpr std::size_t kInitialStackSlots = 6;

// The end tag of the open element at cursor.next, written "</name>" with the start tag's
// name: read into token as the tokenizer would read it, with no search. False, with nothing
// read, for any other end tag or token; the tokenizer then reads it.
inline bool EndsOpenElement(ScanCursor& cursor, const MarkupToken& open, MarkupToken& token)
{
    const char* text = cursor.text;
    const std::int32_t nameAt = cursor.next + 2;
    const std::int32_t close = nameAt + open.nameLength;
    if (text[cursor.next] != '<' || text[cursor.next + 1] != '/' || close >= cursor.length ||
        text[close] != '>' ||
        !SameBytes(text + nameAt, text + open.nameStart,
                   static_cast<std::size_t>(open.nameLength))) {
        return false;
    }
    token.type = TOK_END_TAG;
    token.offset = cursor.next;
    token.length = close - cursor.next + 1;
    token.flags = 0;
    cursor.wordStart = nameAt;
    cursor.wordEnd = close - 1;
    cursor.next = close + 1;
    return true;
}

// The root element's index above 0 when the text is well-formed, 0 when it holds no element
// (error "Root element not found"), -1 on any other error; the message goes to error.
template <class Consumer>
std::int32_t ParseElements(ScanCursor& cursor, Consumer& consumer, std::string& error)
{
    // One slot per open start tag, holding its name for the end tag; the next token is
    // scanned into the slot just above them.
    std::vector<MarkupToken> stack(kInitialStackSlots);
    std::size_t depth = 0;
    std::int32_t level = 0;
    bool bRoot = false;
    CStartTagReader reader;
    auto fail = [&error](std::string message) {
        error = std::move(message);
        return -1;
    };

    for (;;) {
        // Character data and white space are tokens the parse only steps over, and the
        // first '<' (or the end of the text) ends every run of them: one search passes them
        // all, instead of a token each.
        if (cursor.text[cursor.next] != '<' && cursor.text[cursor.next] != '\0') {
            cursor.next = FindStop(cursor.text, cursor.length, cursor.next + 1, StopsMarkup);
            continue;
        }
        MarkupToken& token = stack[depth];
        if (depth > 0 && EndsOpenElement(cursor, stack[depth - 1], token)) {
            --depth;
            consumer.OnEndTag(token);
            --level;
            continue;
        }
        std::int32_t type;
        if constexpr (Consumer::ReadsAttributes()) {
            type = StartsStartTag(cursor.text + cursor.next)
                       ? reader.ReadTag(cursor, token, consumer.NextTagWants())
                       : ScanToken(cursor, token);
        } else {
            type = ScanToken(cursor, token);
        }
        switch (type) {
        case TOK_START_TAG: {
            if (level > ELEM_MAX_LEVEL) {
                return fail(FillMessage(MSG_TOO_DEEP, {token.Name(cursor.text), token.offset}));
            }
            if (!bRoot) {
                bRoot = true;
            } else if (depth == 0) {
                return fail(
                    FillMessage(MSG_SIBLING_TO_ROOT, {token.Name(cursor.text), token.offset}));
            }
            consumer.OnStartTag(token, reader);
            if ((token.flags & TOKEN_EMPTY_TAG) == 0) {
                ++depth;
                ++level;
                if (depth == stack.size()) {
                    stack.resize(2 * stack.size() + kInitialStackSlots);
                }
            }
            break;
        }
        case TOK_END_TAG: {
            const std::string_view name(cursor.Word(), static_cast<size_t>(cursor.WordLength()));
            if (depth == 0) {
                return fail(FillMessage(MSG_NO_START_TAG, {name, token.offset}));
            }
            --depth;
            const MarkupToken& start = stack[depth];
            consumer.OnEndTag(token);
            if (!NameMatches(name.data(), static_cast<std::int32_t>(name.size()),
                             start.Name(cursor.text))) {
                return fail(FillMessage(MSG_TAG_MISMATCH, {name, token.offset + 1,
                                                           start.Name(cursor.text), start.offset}));
            }
            --level;
            break;
        }
        case TOK_ERROR: return fail(token.text);
        case TOK_EOF:
            if (depth > 0) {
                const MarkupToken& open = stack[depth - 1];
                return fail(FillMessage(MSG_NOT_ENDED, {open.Name(cursor.text), open.offset}));
            }
            if (!bRoot) {
                error = MSG_NO_ROOT;
                return 0;
            }
            return 1;
        default:
            // Character data, white space, comments, processing instructions, CDATA sections
            // and document type declarations are only stepped over.
            break;
        }
    }
}

}  // namespace markup_parse

// Parses a NUL-terminated text of `length` bytes: true when it is well-formed with one root
// element; otherwise error says why. Empty text and text that 32-bit offsets cannot address
// are refused before anything is reported.
template <class Consumer>
bool ParseMarkup(const char* text, std::size_t length, Consumer& consumer, std::string& error)
{
    error.clear();
    if (length > static_cast<std::size_t>(INT32_MAX)) {
        error = MSG_DOCUMENT_TOO_LARGE;
        return false;
    }
    if (length == 0) {
        error = MSG_EMPTY_DOCUMENT;
        return false;
    }
    ScanCursor cursor;
    cursor.text = text;
    cursor.next = 0;
    cursor.length = static_cast<std::int32_t>(length);
    return markup_parse::ParseElements(cursor, consumer, error) > 0;
}
