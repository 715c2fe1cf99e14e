// The word reader on its own: words, delimiters, quotes and the end of the text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "markup/WordReader.h"

namespace {

class WordReaderTest : public ::testing::Test {
protected:
    std::vector<std::string> Words(const std::string& source)
    {
        text = source;
        cursor = ScanCursor{};
        cursor.text = text.c_str();
        std::vector<std::string> words;
        while (ScanWord(cursor)) {
            std::string word(cursor.Word(), static_cast<size_t>(cursor.WordLength()));
            words.push_back(cursor.quoted ? "q:" + word : word);
        }
        EXPECT_EQ(cursor.WordLength(), 0);
        EXPECT_EQ(cursor.next, static_cast<std::int32_t>(text.size()));
        return words;
    }

    std::string text;
    ScanCursor cursor;
};

using WordList = std::vector<std::string>;

TEST_F(WordReaderTest, DelimitersAreWordsOfTheirOwn)
{
    EXPECT_EQ(Words("a<b>c=d\\e/f?g!h"), (WordList{"a", "<", "b", ">", "c", "=", "d", "\\", "e",
                                                   "/", "f", "?", "g", "!", "h"}));
    EXPECT_EQ(Words(" \t\r\nx\n"), WordList{"x"});
}

TEST_F(WordReaderTest, QuotedWords)
{
    EXPECT_EQ(Words("a='x y' b=\"\" c=\"it's\""),
              (WordList{"a", "=", "q:x y", "b", "=", "q:", "c", "=", "q:it's"}));
}

TEST_F(WordReaderTest, UnclosedQuoteRunsToTheEnd)
{
    EXPECT_EQ(Words("a='x y"), (WordList{"a", "=", "q:x y"}));
}

TEST_F(WordReaderTest, EmptyWordAtTheEnd)
{
    text = "   ";
    cursor.text = text.c_str();
    EXPECT_FALSE(ScanWord(cursor));
    EXPECT_EQ(cursor.wordStart, 3);
    EXPECT_EQ(cursor.wordEnd, 2);
    EXPECT_EQ(cursor.next, 3);
}

TEST_F(WordReaderTest, WholeCharactersOnly)
{
    EXPECT_EQ(Words("\xB1\x5C\xB1\x5C/\xD6\xD0"), (WordList{"\xB1\x5C\xB1\x5C", "/", "\xD6\xD0"}));
    // A lead byte before a delimiter or at the end counts alone.
    EXPECT_EQ(Words("a\x81/b\x81"), (WordList{"a\x81", "/", "b\x81"}));
    EXPECT_EQ(Words("'\xB1\x27"), (WordList{"q:\xB1"})) << "0x27 is no trail byte";
}

TEST_F(WordReaderTest, SkipHelpers)
{
    EXPECT_EQ(SkipSpace(" \t\r\nx", 0), 4);
    EXPECT_EQ(SkipSpace("x", 0), 0);
    EXPECT_EQ(SkipToChar("\xB1\x5C\\", 0, '\\'), 2);
    EXPECT_EQ(SkipToChar("abc", 0, '\\'), 3);
}

// The block reading of a word's end must stop where the byte loop stops, wherever the stop
// falls in a block, after whole characters that straddle a block, and near the text's end.
TEST(WordEndTest, BlocksStopWhereTheByteLoopStops)
{
    const std::vector<std::string> stops = {
        "=",        " ",        ">",    "/", "?", "!", "\\",   "<",    "[",
        "\"",       "'",        "\x81",                                      // the lead byte alone
        "\xD6\xD0", "\xB1\x5C", "0",    "#", "@", "~", "\x80", "\xFF", ""};  // NUL
    for (std::size_t before = 0; before < 40; ++before) {
        for (const std::string& stop : stops) {
            for (const std::string& after : {std::string("x=\"1\">"), std::string()}) {
                std::string text = "<";
                for (std::size_t i = 0; i < before; ++i) {
                    text +=
                        i % 7 == 3 ? "\xD6\xD0" : std::string(1, static_cast<char>('a' + i % 26));
                }
                text += stop + after;
                SCOPED_TRACE(testing::Message()
                             << before << " bytes, then [" << stop << after << "]");
                const auto length = static_cast<std::int32_t>(std::strlen(text.c_str()));
                EXPECT_EQ(PlainNameEnd(text.c_str(), length, 1), PlainNameEnd(text.c_str(), 1));
                EXPECT_EQ(UnquotedWordEnd(text.c_str(), length, 1),
                          UnquotedWordEnd(text.c_str(), 1));
            }
        }
    }
}

TEST(NameMatchesTest, Rule)
{
    EXPECT_TRUE(NameMatches("ROOT", 4, "ROOT"));
    EXPECT_TRUE(NameMatches("ROOT", 4, "ROOT x"));
    EXPECT_TRUE(NameMatches("ROOT", 4, "ROOT=1"));
    EXPECT_TRUE(NameMatches("ROOT", 4, "ROOT/"));
    EXPECT_TRUE(NameMatches("ROOT", 4, "ROOT[2]"));
    EXPECT_FALSE(NameMatches("ROOT", 4, "ROOTS"));
    EXPECT_FALSE(NameMatches("ROOT", 4, "ROO"));
    EXPECT_FALSE(NameMatches("ROOT", 4, "root"));
    EXPECT_FALSE(NameMatches("ROOTX", 5, "ROOT"));
    EXPECT_FALSE(NameMatches("ROOT", 4, "ROOT\t"));
    EXPECT_TRUE(NameMatches("", 0, "")) << "nothing matches nothing";
    EXPECT_FALSE(NameMatches("", 0, "a"));
    EXPECT_FALSE(NameMatches("a\x81", 2, "a\x81[")) << "'[' is the trail of 0x81 here";
    EXPECT_TRUE(NameMatches("a\xB1\x5B", 3, "a\xB1\x5B["));
}

TEST(FindAttributeTest, ValueIsTheQuotedWordTwoAfterTheName)
{
    // Words are counted, not parsed: for a, the quoted word two after it is 'y'.
    const std::string tag = "<P a 'x' 'y' b='z'>";
    ScanCursor cursor;
    cursor.text = tag.c_str();
    cursor.next = 1;
    ASSERT_TRUE(FindAttribute(cursor, "a"));
    EXPECT_EQ(std::string(cursor.Word(), static_cast<size_t>(cursor.WordLength())), "y");
    EXPECT_TRUE(cursor.quoted);

    cursor.next = 1;
    ASSERT_TRUE(FindAttribute(cursor, "b"));
    EXPECT_EQ(std::string(cursor.Word(), static_cast<size_t>(cursor.WordLength())), "z");

    cursor.next = 1;
    EXPECT_FALSE(FindAttribute(cursor, "c"));
}

TEST(FindAttributeTest, EndsAtTagEndOrTextEnd)
{
    for (const char* tag : {"<P ? a='1'>", "<P/ a='1'>", "<P a", "<P a=", "<P a = "}) {
        ScanCursor cursor;
        cursor.text = tag;
        cursor.next = 1;
        EXPECT_FALSE(FindAttribute(cursor, "a")) << tag;
    }
}

}  // namespace
