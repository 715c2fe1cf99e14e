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

// What the parse has decided: kWellFormed (1) when the text is well-formed, kNoRoot (0) when
// it holds no element (error "Root element not found"), kMalformed (-1) on any other error.
inline constexpr std::int32_t kWellFormed = 1;
inline constexpr std::int32_t kNoRoot = 0;
inline constexpr std::int32_t kMalformed = -1;
// Not decided by the token just read: the parse reads on.
inline constexpr std::int32_t kReadOn = 2;

}  // namespace markup_parse

// The parse of one text. Its state (the open start tags, the depth, whether the root was
// seen, the tag reader) lives in the object, so that the loop over the tokens and what each
// kind of token does can be apart: the loop stays small, and the load takes about 7 % fewer
// instructions than with the whole parse in one function.
template <class Consumer>
class CMarkupParse {
public:
    CMarkupParse(Consumer& consumer, std::int32_t start)
        : m_consumer(consumer), m_stack(markup_parse::kInitialStackSlots), m_nStart(start)
    {}

    // The text, `length` bytes before its NUL, from the start offset: the verdict
    // (markup_parse::kWellFormed, kNoRoot or kMalformed); on an error its message in error.
    std::int32_t Run(const char* text, std::int32_t length, std::string& error)
    {
        using namespace markup_parse;
        ScanCursor cursor;
        cursor.text = text;
        cursor.length = length;
        cursor.next = m_nStart;
        for (;;) {
            // Character data and white space are tokens the parse only steps over, and the
            // first '<' (or the end of the text) ends every run of them: one search passes
            // them all, instead of a token each.
            if (cursor.text[cursor.next] != '<' && cursor.text[cursor.next] != '\0') {
                cursor.next = FindStop(cursor.text, cursor.length, cursor.next + 1, StopsMarkup);
                continue;
            }
            MarkupToken& token = m_stack[m_nDepth];
            if (m_nDepth > 0 && EndsOpenElement(cursor, m_stack[m_nDepth - 1], token)) {
                --m_nDepth;
                m_consumer.OnEndTag(token);
                --m_nLevel;
                continue;
            }
            std::int32_t type;
            if constexpr (Consumer::ReadsAttributes()) {
                type = StartsStartTag(cursor.text + cursor.next)
                           ? m_reader.ReadTag(cursor, token, m_consumer.NextTagWants())
                           : ScanToken(cursor, token);
            } else {
                type = ScanToken(cursor, token);
            }
            const std::int32_t result = Take(type, token, cursor);
            if (result != kReadOn) {
                if (result != kWellFormed) {
                    error = m_strError;
                }
                return result;
            }
        }
    }

private:
    std::int32_t Fail(std::string message)
    {
        m_strError = std::move(message);
        return markup_parse::kMalformed;
    }

    // Reports a token; the verdict when it decides one, else kReadOn.
    std::int32_t Take(std::int32_t type, MarkupToken& token, const ScanCursor& cursor)
    {
        using namespace markup_parse;
        switch (type) {
        case TOK_START_TAG: {
            if (m_nLevel > ELEM_MAX_LEVEL) {
                return Fail(FillMessage(MSG_TOO_DEEP, {token.Name(cursor.text), token.offset}));
            }
            if (!m_bRoot) {
                m_bRoot = true;
            } else if (m_nDepth == 0) {
                return Fail(
                    FillMessage(MSG_SIBLING_TO_ROOT, {token.Name(cursor.text), token.offset}));
            }
            m_consumer.OnStartTag(token, m_reader);
            if ((token.flags & TOKEN_EMPTY_TAG) == 0) {
                ++m_nDepth;
                ++m_nLevel;
                if (m_nDepth == m_stack.size()) {
                    m_stack.resize(2 * m_stack.size() + kInitialStackSlots);
                }
            }
            return kReadOn;
        }
        case TOK_END_TAG: {
            const std::string_view name(cursor.Word(), static_cast<size_t>(cursor.WordLength()));
            if (m_nDepth == 0) {
                return Fail(FillMessage(MSG_NO_START_TAG, {name, token.offset}));
            }
            --m_nDepth;
            const MarkupToken& start = m_stack[m_nDepth];
            m_consumer.OnEndTag(token);
            if (!NameMatches(name.data(), static_cast<std::int32_t>(name.size()),
                             start.Name(cursor.text))) {
                return Fail(FillMessage(MSG_TAG_MISMATCH, {name, token.offset + 1,
                                                           start.Name(cursor.text), start.offset}));
            }
            --m_nLevel;
            return kReadOn;
        }
        case TOK_ERROR: return Fail(token.text);
        case TOK_EOF:
            if (m_nDepth > 0) {
                const MarkupToken& open = m_stack[m_nDepth - 1];
                return Fail(FillMessage(MSG_NOT_ENDED, {open.Name(cursor.text), open.offset}));
            }
            if (!m_bRoot) {
                m_strError = MSG_NO_ROOT;
                return kNoRoot;
            }
            return kWellFormed;
        default:
            // Character data, white space, comments, processing instructions, CDATA sections
            // and document type declarations are only stepped over.
            return kReadOn;
        }
    }

    Consumer& m_consumer;
    // One slot per open start tag, holding its name for the end tag; the next token is
    // scanned into the slot just above them.
    std::vector<MarkupToken> m_stack;
    std::size_t m_nDepth = 0;
    std::int32_t m_nLevel = 0;
    bool m_bRoot = false;
    CStartTagReader m_reader;
    std::int32_t m_nStart = 0;
    std::string m_strError;
};

namespace markup_parse {

// The parse of a whole text from cursor.next: kWellFormed, kNoRoot or kMalformed, the
// message in error.
template <class Consumer>
std::int32_t ParseElements(ScanCursor& cursor, Consumer& consumer, std::string& error)
{
    CMarkupParse<Consumer> parse(consumer, cursor.next);
    return parse.Run(cursor.text, cursor.length, error);
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
