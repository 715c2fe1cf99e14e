#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "markup/MarkupToken.h"
#include "markup/ScanCursor.h"
#include "markup/TextDecoder.h"

// Reads one start tag's words once and answers what the navigator's AttributeName (for every
// index) and AttributeValue (for every name) would answer, without rescanning the tag per
// question. The words are read by the same word reader, from the byte after the '<' up to
// the first unquoted word that ends the tag ('>', '/' or '?') or the end of the text.
class CStartTagReader {
public:
    // One attribute as the navigator enumerates it: the name word and, when the name has a
    // quoted value, the value word (undecoded) of the first attribute that matches the name.
    struct SAttribute {
        std::int32_t nameStart;
        std::int32_t nameLength;
        std::int32_t valueStart;  // -1 when there is no value
        std::int32_t valueLength;
    };

    // What the consumer of a start tag is going to ask, so that the reading on the way to the
    // tag's end keeps just that. Every question is answered whatever was said here; one that
    // was not said reads the tag again.
    enum class EWants : std::uint8_t {
        kAttributes,   // Attributes(): every attribute is kept on the way
        kNamedValues,  // WantedValue(k) for each of names[0 .. count): their values are kept
        kTagName,      // only the tag name
    };
    static constexpr std::size_t kMostWanted = 4;
    struct SWants {
        EWants what = EWants::kAttributes;
        // kNamedValues: the names, NUL-terminated as FindValue takes them, at most kMostWanted;
        // each of ASCII letters and digits, which the word reader takes one byte at a time.
        const std::string_view* names = nullptr;
        std::size_t count = 0;
    };

    // Reads the tag whose '<' is at offset; the text is NUL-terminated. Only the tag name is
    // read here; the other words on the first question that needs them.
    void Begin(const char* text, std::int32_t offset);

    // Scans the start tag at cursor.next (where StartsStartTag holds) as ScanToken would, into
    // token and the cursor, and begins reading it as Begin would. A tag of the common shape
    // (see ReadPlainAttributes) is read once: what `wants` names is found on the way to its
    // end. Any other is scanned by the tokenizer and its words are read when asked for. The
    // names that `wants` points to must outlive the questions about this tag.
    std::int32_t ReadTag(ScanCursor& cursor, MarkupToken& token, const SWants& wants);
    std::int32_t ReadTag(ScanCursor& cursor, MarkupToken& token)
    {
        return ReadTag(cursor, token, SWants{});
    }

    // FindValue of wants.names[k] of the last ReadTag, for k below its wants.count.
    bool WantedValue(std::size_t k, std::int32_t& start, std::int32_t& length)
    {
        if (m_bWantedRead) {
            start = m_wanted[k].start;
            length = m_wanted[k].length;
            return m_wanted[k].start >= 0;
        }
        return FindValue(m_wants.names[k].data(), m_wants.names[k].size(), start, length);
    }

    // The tag name: the first word after the '<'.
    std::string TagName() const;
    bool TagNameIs(std::string_view name) const;
    // The same for a literal, whose length is known: the length decides most tags.
    template <std::size_t N>
    bool TagNameIs(const char (&name)[N]) const
    {
        return m_tagName.length == static_cast<std::int32_t>(N - 1) &&
               std::memcmp(m_pText + m_tagName.start, name, N - 1) == 0;
    }

    // Every attribute in enumeration order (AttributeName index 0, 1, ... up to the first
    // empty name), each with the value AttributeValue gives for its name.
    const std::vector<SAttribute>& Attributes();

    // The decoded value AttributeValue(name) gives; empty when there is none. For names that
    // hold no space, '=', '/' or '[' (the loader's fixed names).
    std::string ValueOf(const char* name);

    // The undecoded value word AttributeValue(name) reads, as ValueOf; false when none.
    bool FindValue(const char* name, std::int32_t& start, std::int32_t& length)
    {
        return FindValue(name, std::strlen(name), start, length);
    }
    // The same for a name whose length is known, as a literal's is.
    template <std::size_t N>
    bool FindValue(const char (&name)[N], std::int32_t& start, std::int32_t& length)
    {
        return FindValue(name, N - 1, start, length);
    }

    // Decodes a value range of the text (entity and character references).
    std::string Decode(std::int32_t start, std::int32_t length) const;
    // The same into pOut, which has room for `length` bytes; returns the bytes written.
    std::size_t DecodeInto(std::int32_t start, std::int32_t length, char* pOut) const;
    // The same into room for `length` + kDecodeSlack bytes, for a tag ReadTag read: faster.
    KORV_ALWAYS_INLINE std::size_t DecodeValueInto(std::int32_t start, std::int32_t length,
                                                   char* pOut) const
    {
        if (CopyShortPlainValue(m_pText, m_nTextLength, start, length, pOut)) {
            return static_cast<std::size_t>(length);
        }
        return DecodeAnyValueInto(start, length, pOut);
    }
    const char* Text() const { return m_pText; }
    // Where the tag name lies in the text.
    std::int32_t TagNameStart() const { return m_tagName.start; }
    std::int32_t TagNameLength() const { return m_tagName.length; }

private:
    std::size_t DecodeAnyValueInto(std::int32_t start, std::int32_t length, char* pOut) const;

    struct SWord {
        std::int32_t start;
        std::int32_t length;
        bool quoted;
    };

    void Reset(const char* text);
    // ReadTag's single pass; false, with nothing kept, for a tag of any other shape. With
    // bNamed it keeps the values of m_wants.names, otherwise every attribute.
    template <bool bNamed>
    bool ReadPlainTag(ScanCursor& cursor, MarkupToken& token);
    // The index of the wanted name written at pos, or kMostWanted.
    std::size_t WantedNameAt(const char* text, std::int32_t length, std::int32_t pos) const;
    // Takes the attribute as the next one, with the value of the first of its name.
    void AddPlainAttribute(SAttribute attribute);
    void ReadWords();
    bool FindValue(const char* name, std::size_t nameLength, std::int32_t& start,
                   std::int32_t& length);
    // Reads the attributes of a tag of the common shape in one pass (see the definition);
    // false, with no attributes, for any other tag.
    bool ReadPlainAttributes();
    // Tries the one-pass reading before the first question about attributes.
    void ReadAttributesOnce();
    // Index of the first word the search for `name` stops at, or -1. A name matches a word
    // when it is that word, or starts with it and goes on with '['.
    std::int32_t FirstMatch(const char* name) const;
    bool IsCandidate(const SWord& word) const;
    // The value word for a name matched at word k, or -1.
    std::int32_t ValueWordAfter(std::int32_t k) const;

    struct SRange {
        std::int32_t start;  // -1: none
        std::int32_t length;
    };

    const char* m_pText = "";
    std::int32_t m_nTextLength = -1;  // the bytes before the NUL, when ReadTag read the tag
    SWants m_wants;
    bool m_bWantedRead = false;  // m_wanted holds the values of m_wants.names
    SRange m_wanted[kMostWanted] = {};
    std::int32_t m_nAfterName = 0;
    SWord m_tagName{0, 0, false};
    bool m_bTagName = false;
    bool m_bWordsRead = false;
    bool m_bAttributesRead = false;
    bool m_bPlain = false;       // the attributes came from the one-pass reading; no words kept
    std::vector<SWord> m_words;  // word 0 is the tag name
    std::vector<SAttribute> m_attributes;
};
