#include "markup/WordReader.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/CodePage936.h"

namespace {

// What each byte is to the word loop, so that the bytes of a name cost one load each. The
// NUL ends a word too.
enum : unsigned char { kNameByte, kWordEnd, kBracket, kQuote, kLeadByte };
struct SByteClasses {
    unsigned char of[256] = {};
    constexpr SByteClasses()
    {
        for (int c = 0; c < 256; ++c) {
            // Bytes below 0x81 are characters of their own; only a lead byte may take two.
            of[c] = c == '[' ? kBracket : c >= 0x81 ? kLeadByte : kNameByte;
            if (c == '"' || c == '\'') {
                of[c] = kQuote;
            }
        }
        of[0] = kWordEnd;
        for (const char* p = " \t\n\r<>=\\/?!"; *p != '\0'; ++p) {
            of[static_cast<unsigned char>(*p)] = kWordEnd;
        }
    }
};
constexpr SByteClasses kByteClasses;

std::int32_t CharAt(const char* text, std::int32_t pos)
{
    return static_cast<std::int32_t>(cp936::CharLength(text + pos));
}

// Which characters make the word loop give up with -1.
enum WordRefusal { kRefuseNothing, kRefuseBracket, kRefuseBracketOrQuote };

// The word loop of UnquotedWordEnd and its variants.
template <WordRefusal kRefuse>
std::int32_t WordEnd(const char* text, std::int32_t pos)
{
    for (;;) {
        unsigned char byteClass;
        while ((byteClass = kByteClasses.of[static_cast<unsigned char>(text[pos])]) == kNameByte) {
            ++pos;
        }
        switch (byteClass) {
        case kWordEnd: return pos;
        case kBracket:
            if (kRefuse != kRefuseNothing) {
                return -1;
            }
            ++pos;
            break;
        case kQuote:
            if (kRefuse == kRefuseBracketOrQuote) {
                return -1;
            }
            ++pos;
            break;
        default: pos += CharAt(text, pos); break;
        }
    }
}

// WordEnd with the runs of plain name bytes passed 16 at a time. A block's bytes from 0x40 to
// 0x7F, but for '[' and '\\', are characters of a name of their own; any other byte is looked
// at alone: a name byte or a whole character is stepped over, anything else is left to the
// word loop, which decides there as it would have after stepping byte by byte.
template <WordRefusal kRefuse>
std::int32_t BlockWordEnd(const char* text, std::int32_t length, std::int32_t pos)
{
    // Most names are short: their first bytes are looked at one by one.
    for (int n = 0; n < 8; ++n) {
        const unsigned char byteClass = kByteClasses.of[static_cast<unsigned char>(text[pos])];
        if (byteClass == kWordEnd) {
            return pos;
        }
        if (byteClass != kNameByte) {
            return WordEnd<kRefuse>(text, pos);
        }
        ++pos;
    }
#if defined(__SSE2__)
    const __m128i below = _mm_set1_epi8(0x40);  // signed: bytes 0x80 and up count as below
    const __m128i bracket = _mm_set1_epi8('[');
    const __m128i backslash = _mm_set1_epi8('\\');
    while (length - pos >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + pos));
        const __m128i looked = _mm_or_si128(
            _mm_cmplt_epi8(block, below),
            _mm_or_si128(_mm_cmpeq_epi8(block, bracket), _mm_cmpeq_epi8(block, backslash)));
        const int mask = _mm_movemask_epi8(looked);
        if (mask == 0) {
            pos += 16;
            continue;
        }
        pos += __builtin_ctz(static_cast<unsigned>(mask));
        const unsigned char byteClass = kByteClasses.of[static_cast<unsigned char>(text[pos])];
        if (byteClass == kNameByte) {
            ++pos;
        } else if (byteClass == kLeadByte) {
            pos += CharAt(text, pos);
        } else if (byteClass == kWordEnd) {
            return pos;  // what the word loop would return at once
        } else {
            break;
        }
    }
#else
    (void)length;
#endif
    return WordEnd<kRefuse>(text, pos);
}

}  // namespace

bool EndsWord(unsigned char c)
{
    return c != '\0' && kByteClasses.of[c] == kWordEnd;
}

std::int32_t UnquotedWordEnd(const char* text, std::int32_t pos)
{
    return WordEnd<kRefuseNothing>(text, pos);
}

std::int32_t UnquotedNameEnd(const char* text, std::int32_t pos)
{
    return WordEnd<kRefuseBracket>(text, pos);
}

std::int32_t PlainNameEnd(const char* text, std::int32_t pos)
{
    return WordEnd<kRefuseBracketOrQuote>(text, pos);
}

std::int32_t UnquotedWordEnd(const char* text, std::int32_t length, std::int32_t pos)
{
    return BlockWordEnd<kRefuseNothing>(text, length, pos);
}

std::int32_t PlainNameEnd(const char* text, std::int32_t length, std::int32_t pos)
{
    return BlockWordEnd<kRefuseBracketOrQuote>(text, length, pos);
}

std::int32_t UnquotedWordAt(const char* text, std::int32_t pos)
{
    const char c = text[pos];
    if (c == '"' || c == '\'' || kByteClasses.of[static_cast<unsigned char>(c)] == kWordEnd) {
        return -1;
    }
    return WordEnd<kRefuseNothing>(text, pos);
}

std::int32_t SkipToChar(const char* text, std::int32_t pos, char ch)
{
    // A byte below 0x40 is never a trail byte: a plain byte search finds it where stepping by
    // characters would, and the C library searches many bytes at a time.
    if (ch != '\0' && static_cast<unsigned char>(ch) < 0x40) {
        const char* hit = std::strchr(text + pos, ch);
        return hit != nullptr ? static_cast<std::int32_t>(hit - text)
                              : pos + static_cast<std::int32_t>(std::strlen(text + pos));
    }
    while (text[pos] != '\0' && text[pos] != ch) {
        pos += CharAt(text, pos);
    }
    return pos;
}

bool ScanWord(ScanCursor& cursor)
{
    const char* text = cursor.text;
    cursor.quoted = false;
    std::int32_t p = SkipSpace(text, cursor.next);
    const char c = text[p];
    if (c == '\0') {
        cursor.wordStart = p;
        cursor.wordEnd = p - 1;
        cursor.next = p;
        return false;
    }
    if (c == '"' || c == '\'') {
        cursor.quoted = true;
        cursor.wordStart = p + 1;
        const std::int32_t close = SkipToChar(text, p + 1, c);
        cursor.wordEnd = close - 1;
        cursor.next = text[close] == '\0' ? close : close + 1;
        return true;
    }
    cursor.wordStart = p;
    if (EndsWord(static_cast<unsigned char>(c))) {
        cursor.wordEnd = p;
        cursor.next = p + 1;
        return true;
    }
    p = UnquotedWordEnd(text, p);
    cursor.wordEnd = p - 1;
    cursor.next = p;
    return true;
}

bool NameMatches(const char* name, std::int32_t length, std::string_view wanted)
{
    const auto count = static_cast<std::size_t>(length);
    if (count > wanted.size()) {
        return false;
    }
    unsigned char highBits = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (wanted[i] != name[i]) {
            return false;
        }
        highBits |= static_cast<unsigned char>(name[i]);
    }
    // Only a lead byte (0x81 and up) starts a two-byte character; without one, every byte
    // is a character and the boundary is the length.
    if (highBits & 0x80) {
        std::size_t boundary = 0;
        while (boundary < count) {
            boundary += cp936::CharLength(wanted.data(), boundary, wanted.size());
        }
        if (boundary != count) {
            return false;
        }
    }
    if (count == wanted.size()) {
        return true;
    }
    const char after = wanted[count];
    return after == ' ' || after == '=' || after == '/' || after == '[';
}

bool NameMatches(const char* name, std::int32_t length, const char* wanted)
{
    // Only the wanted name's bytes up to one past the length decide.
    return NameMatches(
        name, length,
        std::string_view(wanted, strnlen(wanted, static_cast<std::size_t>(length) + 1)));
}

bool FindAttribute(ScanCursor& cursor, const char* wanted)
{
    const bool anyName = wanted == nullptr || *wanted == '\0';
    bool nameFound = false;
    std::int32_t nameCount = 0;
    if (!ScanWord(cursor)) {
        return false;
    }
    for (std::int32_t count = 0;; ++count) {
        if (!cursor.quoted) {
            const char first = cursor.text[cursor.wordStart];
            if (first == '>' || first == '/' || first == '?') {
                return false;
            }
            // The tag name (count 0) is never an attribute; '=' only links name and value.
            if (first != '=' && count > 0 && !nameFound) {
                if (anyName) {
                    return true;
                }
                if (NameMatches(cursor.Word(), cursor.WordLength(), wanted)) {
                    nameFound = true;
                    nameCount = count;
                }
            }
        } else if (nameFound && count == nameCount + 2) {
            return true;
        }
        if (!ScanWord(cursor)) {
            return false;
        }
    }
}
