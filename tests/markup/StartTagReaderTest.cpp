// CStartTagReader::ReadTag reads a start tag of the common shape once, finding its end and its
// attributes (or only the values it is told will be asked for) together. It must give the token the tokenizer gives (type, extent, empty flag,
// name, where the next scan starts) and the attributes the general reading gives, for every
// tag, of that shape or not.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "markup/MarkupScanner.h"
#include "markup/MarkupToken.h"
#include "markup/ScanCursor.h"
#include "markup/StartTagReader.h"

namespace {

struct SRead {
    std::int32_t type = 0;
    std::int32_t offset = 0;
    std::int32_t length = 0;
    std::uint32_t flags = 0;
    std::string name;
    std::int32_t next = 0;
    std::string tagName;
    std::vector<std::string> attributes;  // name '=' decoded value, or the name alone
    std::string fieldName;                // FindValue("FieldName"), "-" when none

    bool operator==(const SRead&) const = default;
};

void ReadAttributes(CStartTagReader& reader, SRead& read)
{
    read.tagName = reader.TagName();
    for (const CStartTagReader::SAttribute& a : reader.Attributes()) {
        std::string entry(reader.Text() + a.nameStart, static_cast<std::size_t>(a.nameLength));
        if (a.valueStart >= 0) {
            entry += "=" + reader.Decode(a.valueStart, a.valueLength);
        }
        read.attributes.push_back(entry);
    }
    std::int32_t start = 0;
    std::int32_t length = 0;
    read.fieldName =
        reader.FindValue("FieldName", start, length) ? reader.Decode(start, length) : "-";
}

// The tokenizer, then the reader begun at the tag: what the element table and the
// navigator's reading of the tag give.
// What one reading gave: the token, then (for a start tag) the reader's attributes; a reader
// that did not read the tag itself is begun at it first.
SRead Recorded(const std::string& text, std::int32_t type, const MarkupToken& token,
               const ScanCursor& cursor, CStartTagReader& reader, bool bBeginReader)
{
    SRead read;
    read.type = type;
    if (read.type == TOK_ERROR) {
        read.name = token.text;
    }
    if (read.type == TOK_START_TAG) {
        read.offset = token.offset;
        read.length = token.length;
        read.flags = token.flags;
        read.name = std::string(token.Name(text.c_str()));
        read.next = cursor.next;
        if (bBeginReader) {
            reader.Begin(text.c_str(), 0);
        }
        ReadAttributes(reader, read);
    }
    return read;
}

ScanCursor CursorOver(const std::string& text)
{
    ScanCursor cursor;
    cursor.text = text.c_str();
    cursor.length = static_cast<std::int32_t>(text.size());
    return cursor;
}

SRead TwoReadings(const std::string& text)
{
    ScanCursor cursor = CursorOver(text);
    MarkupToken token;
    const std::int32_t type = ScanToken(cursor, token);
    CStartTagReader reader;
    return Recorded(text, type, token, cursor, reader, true);
}

constexpr std::string_view kWantedNames[] = {"Name", "FieldName"};

// One reading told what will be asked: the wanted values first, then everything else.
SRead OneReading(const std::string& text, const CStartTagReader::SWants& wants)
{
    ScanCursor cursor = CursorOver(text);
    MarkupToken token;
    CStartTagReader reader;
    const std::int32_t type = reader.ReadTag(cursor, token, wants);
    std::string wanted;
    if (type == TOK_START_TAG && wants.what == CStartTagReader::EWants::kNamedValues) {
        std::int32_t start = 0;
        std::int32_t length = 0;
        const bool found = reader.WantedValue(1, start, length);
        wanted = found ? reader.Decode(start, length) : "-";
        // Asked again after the whole reading below, as a consumer may.
        EXPECT_EQ(reader.WantedValue(0, start, length), reader.FindValue("Name", start, length));
    }
    SRead read = Recorded(text, type, token, cursor, reader, false);
    if (type == TOK_START_TAG && wants.what == CStartTagReader::EWants::kNamedValues) {
        EXPECT_EQ(wanted, read.fieldName) << "the wanted value differs from FindValue's";
    }
    return read;
}

void ExpectOneReadingAsTwo(const std::string& text)
{
    using EWants = CStartTagReader::EWants;
    SCOPED_TRACE(text);
    ASSERT_TRUE(StartsStartTag(text.c_str()));
    const SRead two = TwoReadings(text);
    EXPECT_TRUE(OneReading(text, {EWants::kAttributes}) == two);
    EXPECT_TRUE(OneReading(text, {EWants::kNamedValues, kWantedNames, 2}) == two);
    EXPECT_TRUE(OneReading(text, {EWants::kTagName}) == two);
}

TEST(StartTagReaderTest, TagsAtTheEdgesOfTheCommonShapeReadAsTheTokenizerAndTheWordReader)
{
    for (const char* text : {
             "<a>",
             "<a/>",
             "<a/ >",
             "<a >",
             "<a\t\n/>",
             "<P Name=\"x\"/>",
             "<P Name = 'x' >",
             "<P a=\"1\" a=\"2\" b='3'/>",
             "<P a=\"1\"b=\"2\">",
             "<P a=\">\" b='/>'/>",
             "<P a=\"'\" b='\"'>",
             "<P a=\"1\" / b=\"2\">",
             "<P a=\"1\" ? b=\"2\">",
             "<P a=\"1\"?>",
             "<ROOT?>",
             "<ROOT=x>",
             "<ROOT\\ a=\"1\">",
             "<Text! a=\"1\">",
             "<P a[b=\"1\" a=\"2\">",
             "<P a\"b=\"1\">",
             "<P x' a=\"1\">",
             "<P a=1 b=\"2\">",
             "<P a b=\"2\">",
             "<P a=\"1\" <b=\"2\">",
             "<P a=\"unterminated",
             "<P a=\"1\"",
             "<P a='1' / b=\">",
             "<P \xD6\xD0=\"\xD6\xD0\"/>",
             "<\xD6\xD0 a=\"1\"/>",
             "<a\x81>",
             "<a\x81/>",
             "<P a\x81=\"1\">",
             "<P a=\"\x81\">",
             "<F FieldValue=\"v\" FieldName=\"n&amp;\" FieldName=\"m\"/>",
             "<F FieldName[1=\"x\" FieldName=\"y\"/>",
         }) {
        ExpectOneReadingAsTwo(text);
    }
    // Past the number of attributes the single pass takes.
    std::string wide = "<P";
    for (int i = 0; i < 20; ++i) {
        wide += " a" + std::to_string(i % 5) + "=\"" + std::to_string(i) + "\"";
        ExpectOneReadingAsTwo(wide + ">");
    }
}

TEST(StartTagReaderTest, RandomTagsReadAsTheTokenizerAndTheWordReader)
{
    std::mt19937 rng(936);
    static const char* const kParts[] = {
        " ",     "\t",    "a",        "Name", "FieldName", "=",   "\"",     "'",
        "\"v\"", "'v'",   "/",        "?",    ">",         "[",   "\\",     "!",
        "<",     "&amp;", "\xD6\xD0", "\x81", "\xB1\x5C",  " = ", "x\"y\"", "/>"};
    for (int i = 0; i < 20000 && !testing::Test::HasFailure(); ++i) {
        std::string text = i % 2 ? "<P" : "<F";
        const int parts = 1 + static_cast<int>(rng() % 12);
        for (int k = 0; k < parts; ++k) {
            text += kParts[rng() % (sizeof kParts / sizeof kParts[0])];
        }
        ExpectOneReadingAsTwo(text + (rng() % 3 ? ">" : ""));
    }
}

}  // namespace
