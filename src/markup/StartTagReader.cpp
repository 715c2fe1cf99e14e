#include "markup/StartTagReader.h"

#include <cstring>
#include <string_view>
#include <unordered_map>

#include "markup/MarkupScanner.h"
#include "markup/SameBytes.h"
#include "markup/ScanCursor.h"
#include "markup/StopSearch.h"
#include "markup/TextDecoder.h"
#include "markup/WordReader.h"

namespace {

// Up to this many names, each value is found by a plain scan of the words; beyond it, by a
// table of the first position of every word, so that a tag with a great many attributes
// costs time in proportion to its length.
constexpr std::size_t kScanNames = 8;

// Tags with more attributes than this are left to the general reading, whose value table
// keeps a great many attributes linear.
constexpr std::size_t kPlainAttributes = 16;

bool EndsTag(const char* text, std::int32_t start)
{
    const char first = text[start];
    return first == '>' || first == '/' || first == '?';
}

bool EndsTagName(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '/' || c == '>';
}

}  // namespace

void CStartTagReader::Reset(const char* text)
{
    m_pText = text;
    m_bWantedRead = false;
    m_bWordsRead = false;
    m_bAttributesRead = false;
    m_bPlain = false;
    m_words.clear();
    m_attributes.clear();
}

void CStartTagReader::Begin(const char* text, std::int32_t offset)
{
    Reset(text);
    m_nTextLength = -1;

    // Most tags have their name right after the '<'.
    const std::int32_t nameEnd = UnquotedWordAt(text, offset + 1);
    if (nameEnd >= 0) {
        m_bTagName = true;
        m_tagName = SWord{offset + 1, nameEnd - offset - 1, false};
        m_nAfterName = nameEnd;
        return;
    }
    ScanCursor cursor;
    cursor.text = text;
    cursor.next = offset + 1;
    m_bTagName = ScanWord(cursor);
    m_tagName = SWord{cursor.wordStart, cursor.WordLength(), cursor.quoted};
    m_nAfterName = cursor.next;
}

std::int32_t CStartTagReader::ReadTag(ScanCursor& cursor, MarkupToken& token, const SWants& wants)
{
    m_wants = wants;
    m_nTextLength = cursor.length;
    switch (wants.what) {
    case EWants::kAttributes:
        if (ReadPlainTag<false>(cursor, token)) {
            return TOK_START_TAG;
        }
        break;
    case EWants::kNamedValues:
        if (wants.count <= kMostWanted && ReadPlainTag<true>(cursor, token)) {
            return TOK_START_TAG;
        }
        break;
    case EWants::kTagName: break;
    }
    const std::int32_t offset = cursor.next;
    const std::int32_t type = ScanStartTag(cursor, token);
    Begin(cursor.text, offset);
    m_nTextLength = cursor.length;
    return type;
}

// The common shape of ReadPlainAttributes, read once with the tokenizer's rules beside the
// word reader's. Where the two could see the tag differently the general reading decides:
// a tag name that the word reader ends elsewhere than the tokenizer (at '=', '\\', ...), a
// quote inside an attribute name (the tokenizer would open a value there), anything after the
// name but white space, names, '=' and quoted values before the '>', '/' or '?' that ends the
// attributes. After a '/' or '?' only the tokenizer's search for the closing '>' is left.
template <bool bNamed>
bool CStartTagReader::ReadPlainTag(ScanCursor& cursor, MarkupToken& token)
{
    const char* text = cursor.text;
    const std::int32_t offset = cursor.next;
    Reset(text);
    if constexpr (bNamed) {
        for (std::size_t k = 0; k < m_wants.count; ++k) {
            m_wanted[k] = SRange{-1, 0};
        }
    }
    // The tag name's first character never ends a word.
    const std::int32_t nameEnd = UnquotedWordEnd(text, cursor.length, offset + 1);
    if (!EndsTagName(text[nameEnd])) {
        return false;
    }
    std::int32_t p = nameEnd;
    std::int32_t close = -1;
    for (;;) {
        p = SkipSpace(text, p);
        const char c = text[p];
        if (c == '>') {
            close = p;
            break;
        }
        if (c == '/' || c == '?') {
            close = FindTagClose(text, cursor.length, p);
            break;
        }
        if (!bNamed && m_attributes.size() == kPlainAttributes) {
            break;
        }
        // A name ends at once at the NUL or a byte that ends words, and is refused at a quote.
        const std::int32_t attrName = p;
        std::size_t wantedIndex = kMostWanted;  // none of the wanted names
        if constexpr (bNamed) {
            wantedIndex = WantedNameAt(text, cursor.length, p);
        }
        if (wantedIndex < kMostWanted) {
            p += static_cast<std::int32_t>(m_wants.names[wantedIndex].size());
        } else {
            p = PlainNameEnd(text, cursor.length, p);
            if (p <= attrName) {
                break;
            }
        }
        const std::int32_t attrNameLength = p - attrName;
        p = SkipSpace(text, p);
        if (text[p] != '=') {
            break;
        }
        p = SkipSpace(text, p + 1);
        const char quote = text[p];
        if (quote != '"' && quote != '\'') {
            break;
        }
        const std::int32_t valueStart = p + 1;
        p = quote == '"' ? FindStop(text, cursor.length, valueStart, StopsDouble)
                         : FindStop(text, cursor.length, valueStart, StopsSingle);
        if (text[p] == '\0') {
            break;
        }
        if constexpr (bNamed) {
            // The first attribute of a wanted name gives its value, as FindValue would.
            if (wantedIndex < kMostWanted && m_wanted[wantedIndex].start < 0) {
                m_wanted[wantedIndex] = SRange{valueStart, p - valueStart};
            }
        } else {
            AddPlainAttribute(SAttribute{attrName, attrNameLength, valueStart, p - valueStart});
        }
        ++p;
    }
    if (close < 0) {
        m_attributes.clear();
        return false;
    }
    m_bTagName = true;
    m_tagName = SWord{offset + 1, nameEnd - offset - 1, false};
    m_nAfterName = nameEnd;
    // Kept only the wanted values: any other question reads the attributes afresh.
    m_bAttributesRead = !bNamed;
    m_bPlain = !bNamed;
    m_bWantedRead = bNamed;
    token.type = TOK_START_TAG;
    token.offset = offset;
    token.length = close - offset + 1;
    token.flags = text[close - 1] == '/' ? TOKEN_EMPTY_TAG : 0;
    token.nameStart = offset + 1;
    token.nameLength = nameEnd - offset - 1;
    cursor.next = close + 1;
    return true;
}

// A wanted name is written at pos when its bytes are there and the next one ends words (or is
// the NUL): the word reader ends the name at that byte, since the wanted names are of bytes
// that are characters of their own. Tried first, this spares the name's reading and its
// comparison with every wanted name. (A longer name that starts with a wanted one is not
// taken for it, so it stays on the one-pass reading; taken, it would fail the '=' test that
// follows and send the tag to the general reading, which reads it right too.)
std::size_t CStartTagReader::WantedNameAt(const char* text, std::int32_t length,
                                          std::int32_t pos) const
{
    for (std::size_t k = 0; k < m_wants.count; ++k) {
        const std::string_view& wanted = m_wants.names[k];
        const std::int32_t end = pos + static_cast<std::int32_t>(wanted.size());
        if (end <= length && SameBytes(text + pos, wanted.data(), wanted.size()) &&
            (text[end] == '\0' || EndsWord(static_cast<unsigned char>(text[end])))) {
            return k;
        }
    }
    return kMostWanted;
}

void CStartTagReader::AddPlainAttribute(SAttribute attribute)
{
    // Names differ mostly in length or first byte: those are tested before the bytes.
    const char first = m_pText[attribute.nameStart];
    for (const SAttribute& earlier : m_attributes) {
        if (earlier.nameLength == attribute.nameLength && m_pText[earlier.nameStart] == first &&
            SameBytes(m_pText + earlier.nameStart, m_pText + attribute.nameStart,
                      static_cast<std::size_t>(attribute.nameLength))) {
            attribute.valueStart = earlier.valueStart;
            attribute.valueLength = earlier.valueLength;
            break;
        }
    }
    m_attributes.push_back(attribute);
}

std::string CStartTagReader::TagName() const
{
    return std::string(m_pText + m_tagName.start, static_cast<std::size_t>(m_tagName.length));
}

bool CStartTagReader::TagNameIs(std::string_view name) const
{
    return name.size() == static_cast<std::size_t>(m_tagName.length) &&
           std::memcmp(m_pText + m_tagName.start, name.data(), name.size()) == 0;
}

// The words the navigator's attribute searches read: the tag name, then every word up to
// (not including) the first unquoted one that ends the tag, or up to the end of the text.
void CStartTagReader::ReadWords()
{
    if (m_bWordsRead) {
        return;
    }
    m_bWordsRead = true;
    m_words.clear();
    if (!m_bTagName || (!m_tagName.quoted && EndsTag(m_pText, m_tagName.start))) {
        return;
    }
    m_words.push_back(m_tagName);
    ScanCursor cursor;
    cursor.text = m_pText;
    cursor.next = m_nAfterName;
    while (ScanWord(cursor)) {
        if (!cursor.quoted && EndsTag(m_pText, cursor.wordStart)) {
            break;
        }
        m_words.push_back(SWord{cursor.wordStart, cursor.WordLength(), cursor.quoted});
    }
}

// A word a named search may stop at: unquoted, not the '=' between name and value, and not
// the tag name itself.
bool CStartTagReader::IsCandidate(const SWord& word) const
{
    return !word.quoted && m_pText[word.start] != '=';
}

std::int32_t CStartTagReader::FirstMatch(const char* name) const
{
    for (std::size_t k = 1; k < m_words.size(); ++k) {
        const SWord& word = m_words[k];
        if (IsCandidate(word) && NameMatches(m_pText + word.start, word.length, name)) {
            return static_cast<std::int32_t>(k);
        }
    }
    return -1;
}

// After the name at word k come '=' (or any word that does not end the tag) and the value,
// which counts only when quoted.
std::int32_t CStartTagReader::ValueWordAfter(std::int32_t k) const
{
    const auto value = static_cast<std::size_t>(k) + 2;
    if (k < 0 || value >= m_words.size() || !m_words[value].quoted) {
        return -1;
    }
    return static_cast<std::int32_t>(value);
}

// The common shape: after the tag name, attributes `name="value"` or `name='value'` (spaces
// allowed around the '='), each name without '[', until '>', '/' or '?'. For such a tag the
// words are the tag name, then name, '=', value for every attribute, so the general reading
// takes every unquoted word but '=' as a name, a name matches only a word equal to it, and
// every attribute carries the value of the first attribute of its name. That is what this
// reading gives, without keeping the words.
bool CStartTagReader::ReadPlainAttributes()
{
    const char* text = m_pText;
    if (!m_bTagName || m_tagName.quoted ||
        EndsWord(static_cast<unsigned char>(text[m_tagName.start]))) {
        return false;
    }
    // Any other shape: the general reading starts afresh.
    auto otherShape = [this] {
        m_attributes.clear();
        return false;
    };
    m_attributes.clear();
    std::int32_t p = m_nAfterName;
    for (;;) {
        p = SkipSpace(text, p);
        const char c = text[p];
        if (c == '>' || c == '/' || c == '?') {
            break;
        }
        if (c == '\0' || c == '"' || c == '\'' || EndsWord(static_cast<unsigned char>(c)) ||
            m_attributes.size() == kPlainAttributes) {
            return otherShape();
        }
        const std::int32_t nameStart = p;
        p = UnquotedNameEnd(text, p);
        if (p < 0) {
            return otherShape();
        }
        const std::int32_t nameLength = p - nameStart;
        p = SkipSpace(text, p);
        if (text[p] != '=') {
            return otherShape();
        }
        p = SkipSpace(text, p + 1);
        const char quote = text[p];
        // A quote is below 0x40 and so never a trail byte: a byte search finds the closing
        // one where stepping by characters would.
        const char* pClose =
            quote == '"' || quote == '\'' ? std::strchr(text + p + 1, quote) : nullptr;
        if (pClose == nullptr) {
            return otherShape();
        }
        const auto valueStart = p + 1;
        p = static_cast<std::int32_t>(pClose - text);
        AddPlainAttribute(SAttribute{nameStart, nameLength, valueStart, p - valueStart});
        ++p;
    }
    return true;
}

void CStartTagReader::ReadAttributesOnce()
{
    if (m_bAttributesRead || m_bWordsRead) {
        return;
    }
    if (ReadPlainAttributes()) {
        m_bAttributesRead = true;
        m_bPlain = true;
    }
}

const std::vector<CStartTagReader::SAttribute>& CStartTagReader::Attributes()
{
    ReadAttributesOnce();
    if (m_bAttributesRead) {
        return m_attributes;
    }
    m_bAttributesRead = true;
    ReadWords();

    // The names: each search starts after the previous name and counts its words from 0, so
    // its first word is never taken (the tag name for the first search).
    std::vector<std::int32_t> nameWords;
    std::size_t count = 0;
    for (std::size_t k = 0; k < m_words.size(); ++k, ++count) {
        if (count > 0 && IsCandidate(m_words[k])) {
            nameWords.push_back(static_cast<std::int32_t>(k));
            count = static_cast<std::size_t>(-1);
        }
    }

    // The values: the search for a name stops at the first word that matches it, which may
    // lie before the name's own word (a repeated name, or a name that continues with '[').
    std::unordered_map<std::string_view, std::int32_t> firstAt;
    const bool useTable = nameWords.size() > kScanNames;
    if (useTable) {
        firstAt.reserve(m_words.size());
        for (std::size_t k = 1; k < m_words.size(); ++k) {
            const SWord& word = m_words[k];
            if (IsCandidate(word)) {
                firstAt.try_emplace(
                    std::string_view(m_pText + word.start, static_cast<std::size_t>(word.length)),
                    static_cast<std::int32_t>(k));
            }
        }
    }

    m_attributes.reserve(nameWords.size());
    std::string name;
    for (const std::int32_t nameWord : nameWords) {
        const SWord& word = m_words[static_cast<std::size_t>(nameWord)];
        name.assign(m_pText + word.start, static_cast<std::size_t>(word.length));
        std::int32_t match = -1;
        if (!useTable) {
            match = FirstMatch(name.c_str());
        } else {
            // The words that can match: the name itself and its parts before each '['.
            const std::string_view whole(name);
            std::size_t cut = whole.find('[');
            for (;;) {
                auto it = firstAt.find(whole.substr(0, cut));
                if (it != firstAt.end() && (match < 0 || it->second < match)) {
                    const SWord& candidate = m_words[static_cast<std::size_t>(it->second)];
                    if (NameMatches(m_pText + candidate.start, candidate.length, name.c_str())) {
                        match = it->second;
                    }
                }
                if (cut == std::string_view::npos) {
                    break;
                }
                cut = whole.find('[', cut + 1);
            }
        }
        const std::int32_t value = ValueWordAfter(match);
        SAttribute attribute{word.start, word.length, -1, 0};
        if (value >= 0) {
            attribute.valueStart = m_words[static_cast<std::size_t>(value)].start;
            attribute.valueLength = m_words[static_cast<std::size_t>(value)].length;
        }
        m_attributes.push_back(attribute);
    }
    return m_attributes;
}

std::string CStartTagReader::ValueOf(const char* name)
{
    std::int32_t start = 0;
    std::int32_t length = 0;
    return FindValue(name, start, length) ? Decode(start, length) : std::string();
}

bool CStartTagReader::FindValue(const char* name, std::size_t nameLength, std::int32_t& start,
                                std::int32_t& length)
{
    ReadAttributesOnce();
    if (m_bPlain) {
        // The wanted name holds no space, '=', '/' or '[', so only an equal name matches.
        for (const SAttribute& attribute : m_attributes) {
            if (static_cast<std::size_t>(attribute.nameLength) == nameLength &&
                SameBytes(m_pText + attribute.nameStart, name, nameLength)) {
                start = attribute.valueStart;
                length = attribute.valueLength;
                return true;
            }
        }
        return false;
    }
    ReadWords();
    const std::int32_t value = ValueWordAfter(FirstMatch(name));
    if (value < 0) {
        return false;
    }
    const SWord& word = m_words[static_cast<std::size_t>(value)];
    start = word.start;
    length = word.length;
    return true;
}

std::size_t CStartTagReader::DecodeInto(std::int32_t start, std::int32_t length, char* pOut) const
{
    return DecodeTextInto(m_pText, start, length, pOut);
}

std::size_t CStartTagReader::DecodeAnyValueInto(std::int32_t start, std::int32_t length,
                                                char* pOut) const
{
    return m_nTextLength >= 0 ? ::DecodeValueInto(m_pText, m_nTextLength, start, length, pOut)
                              : DecodeTextInto(m_pText, start, length, pOut);
}

std::string CStartTagReader::Decode(std::int32_t start, std::int32_t length) const
{
    return DecodeText(m_pText, start, length);
}
