// The tokenizer tests 16 bytes at a time when it knows the text's length, and byte by byte
// when it does not; both must give the same tokens, names, flags and messages, wherever a
// stop byte falls within a block and wherever the text ends.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "markup/MarkupScanner.h"
#include "markup/SameBytes.h"
#include "markup/StopSearch.h"

namespace {

// Every token of text as one line, up to the end or the first failure.
std::vector<std::string> Scan(const std::string& text, bool lengthKnown)
{
    ScanCursor cursor;
    cursor.text = text.c_str();
    if (lengthKnown) {
        cursor.length = static_cast<std::int32_t>(text.size());
    }
    MarkupToken token;
    std::vector<std::string> lines;
    for (;;) {
        const std::int32_t type = ScanToken(cursor, token);
        std::string line = std::to_string(type) + ":" + std::to_string(token.offset) + ":" +
                           std::to_string(token.length) + ":" + std::to_string(token.flags) + ":" +
                           token.text + ":" + std::to_string(cursor.next);
        if (type == TOK_START_TAG) {
            line += ":" + std::string(token.Name(text.c_str()));
        }
        if (type == TOK_END_TAG) {
            line += ":" + std::string(cursor.Word(), static_cast<size_t>(cursor.WordLength()));
        }
        lines.push_back(line);
        if (type == TOK_EOF || type == TOK_ERROR) {
            return lines;
        }
    }
}

void ExpectSameTokens(const std::string& text)
{
    EXPECT_EQ(Scan(text, true), Scan(text, false)) << "text: " << text;
}

std::string Repeat(char c, std::size_t n)
{
    return std::string(n, c);
}

TEST(BlockSearchTest, RunsOfEveryLengthAroundABlockGiveTheSameTokens)
{
    for (std::size_t n = 0; n <= 40; ++n) {
        // Character data, white space, names and quoted values of n bytes.
        ExpectSameTokens("<r>" + Repeat('t', n) + "</r>");
        ExpectSameTokens("<r>" + Repeat(' ', n) + "x" + Repeat('\n', n) + "</r>");
        ExpectSameTokens("<" + Repeat('n', n + 1) + " a=\"" + Repeat('v', n) + "\" b='" +
                         Repeat('w', n) + "'/>");
        ExpectSameTokens("<r a=\"" + Repeat('v', n) + ">'\"" + Repeat(' ', n) + "/></r" +
                         Repeat(' ', n) + ">");
        ExpectSameTokens("<r>" + Repeat('t', n) + ">" + Repeat('u', n) + "</" + Repeat('r', n) +
                         "\t>");
    }
}

TEST(BlockSearchTest, TextEndingInsideATokenFailsTheSameWay)
{
    const std::string longValue = Repeat('\xd5', 37);
    const std::vector<std::string> texts{
        "<r a=\"" + longValue,   "<r a='" + longValue,
        "<" + Repeat('n', 33),   "</" + Repeat('n', 33),
        "</r" + Repeat(' ', 33), "<r" + Repeat(' ', 33) + "a=\"x\"" + Repeat(' ', 20),
        "   " + Repeat('t', 40)};
    for (const std::string& text : texts) {
        ExpectSameTokens(text);
    }
}

TEST(BlockSearchTest, CodePage936TextAroundStopsGivesTheSameTokens)
{
    // Lead bytes right before quotes, '>' and '<'; trail bytes that look like '\\' or '@'.
    const std::string pieces[] = {"\xd5\xc5", "\x81", "\x81\x5c", "\xfe\x40", "\"", "'",
                                  ">",        "<",    "/",        " ",        "\n", "=",
                                  "a",        "<x ",  "</x>",     "&lt;"};
    std::mt19937 random(2024);
    for (int i = 0; i < 2000; ++i) {
        std::string text = "<r ";
        const int count = static_cast<int>(random() % 60);
        for (int k = 0; k < count; ++k) {
            text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        }
        ExpectSameTokens(text);
    }
}

// The end of a start tag from p: the first '>' outside quoted values, or -1 at the end of the
// text; byte by byte, as the tokenizer's rules say it.
std::int32_t TagCloseByBytes(const std::string& text, std::int32_t p)
{
    for (;;) {
        const char c = text.c_str()[p];
        if (c == '>') {
            return p;
        }
        if (c == '\0') {
            return -1;
        }
        if (c == '"' || c == '\'') {
            const std::size_t quote = text.find(c, static_cast<std::size_t>(p) + 1);
            if (quote == std::string::npos) {
                return -1;
            }
            p = static_cast<std::int32_t>(quote);
        }
        ++p;
    }
}

TEST(BlockSearchTest, TagCloseIsTheFirstGreaterThanOutsideQuotesFromEveryStart)
{
    // Short texts reach the quick answers for a '>' at or right after the start; longer ones
    // the block search, with quotes that open right before a '>'.
    // Half the texts have no single quote: their blocks are read whole, with the running
    // parity of the double quotes; in the others a single quote sends a block to the loop.
    const char pieces[] = {'a', '/', '?', ' ', '\xd5', '"', '>', '\''};
    std::mt19937 random(77);
    for (int i = 0; i < 6000; ++i) {
        const std::size_t kinds = i % 2 == 0 ? sizeof pieces : sizeof pieces - 1;
        std::string text;
        const int count = 1 + static_cast<int>(random() % 80);
        for (int k = 0; k < count; ++k) {
            // Mostly name and value bytes, so that quotes and '>' fall anywhere in a block.
            text += random() % 3 == 0 ? pieces[random() % kinds] : pieces[random() % 5];
        }
        const auto length = static_cast<std::int32_t>(text.size());
        for (std::int32_t p = 0; p <= length; ++p) {
            ASSERT_EQ(FindTagClose(text.c_str(), length, p), TagCloseByBytes(text, p))
                << "text: " << text << ", from " << p;
        }
    }
}

// Names are compared 8, 4, 2 and 1 bytes at a time: for every length up to three words, a
// difference at any position is found, equal ranges are equal, and no byte past either range
// decides (the bytes after them differ).
TEST(BlockSearchTest, SameBytesAgreesWithMemcmpAtEveryLengthAndPosition)
{
    for (std::size_t n = 0; n <= 24; ++n) {
        std::string a(n + 1, 'x');
        std::string b(n + 1, 'y');
        for (std::size_t i = 0; i < n; ++i) {
            a[i] = b[i] = static_cast<char>('a' + i);
        }
        ASSERT_TRUE(SameBytes(a.data(), b.data(), n)) << n << " equal bytes";
        for (std::size_t i = 0; i < n; ++i) {
            std::string c = b;
            c[i] = static_cast<char>(c[i] ^ 0x80);
            ASSERT_FALSE(SameBytes(a.data(), c.data(), n)) << n << " bytes, differing at " << i;
            ASSERT_EQ(std::memcmp(a.data(), c.data(), n) == 0, SameBytes(a.data(), c.data(), n));
        }
    }
}

}  // namespace
