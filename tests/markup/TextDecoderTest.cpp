// Entity and character references in attribute values.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

#include "markup/TextDecoder.h"

namespace {

// Decodes the whole string, as for a value that fills the range.
std::string Decode(const std::string& text)
{
    return DecodeText(text.c_str(), 0, static_cast<std::int32_t>(text.size()));
}

TEST(TextDecoderTest, FiveEntities)
{
    EXPECT_EQ(Decode("a&lt;b&amp;c"), "a<b&c");
    EXPECT_EQ(Decode("&lt;&gt;&amp;&apos;&quot;"), "<>&'\"");
    EXPECT_EQ(Decode("&amp;lt;"), "&lt;") << "decoded once, left to right";
}

TEST(TextDecoderTest, UnknownOrIncompleteEntitiesStay)
{
    EXPECT_EQ(Decode("&bogus;"), "&bogus;");
    EXPECT_EQ(Decode("a & b"), "a & b");
    EXPECT_EQ(Decode("&"), "&");
    EXPECT_EQ(Decode("&lt"), "&lt");
    EXPECT_EQ(Decode("&LT;"), "&LT;");
}

TEST(TextDecoderTest, EntityMustEndInsideTheRange)
{
    const std::string text = "x&lt;y";
    EXPECT_EQ(DecodeText(text.c_str(), 0, 4), "x&lt") << "the ';' lies outside the range";
    EXPECT_EQ(DecodeText(text.c_str(), 0, 5), "x<");
    EXPECT_EQ(DecodeText(text.c_str(), 2, 3), "lt;");
}

TEST(TextDecoderTest, DecimalAndHexadecimalReferences)
{
    EXPECT_EQ(Decode("&#65;&#x42;"), "AB");
    EXPECT_EQ(Decode("&#x6a;&#x6A;"), "jj");
    EXPECT_EQ(Decode("&#20013;"), "\xD6\xD0");
    EXPECT_EQ(Decode("&#x4E2D;&#x4e2d;"), "\xD6\xD0\xD6\xD0");
    // Conversions are remembered by unit; two units that share a memory slot (0x4E2D and
    // 0x63) each keep their own character.
    EXPECT_EQ(Decode("&#x4E2D;&#99;&#x4E2D;&#99;"), "\xD6\xD0"
                                                    "c"
                                                    "\xD6\xD0"
                                                    "c");
    EXPECT_EQ(Decode("&#0000065;"), "A") << "seven digits are in reach";
}

TEST(TextDecoderTest, ReferenceDigitsReadLikeStrtol)
{
    EXPECT_EQ(Decode("&# 65;"), "A") << "leading white space";
    EXPECT_EQ(Decode("&#+65;"), "A");
    EXPECT_EQ(Decode("&#65x;"), "A") << "stops at the first non-digit";
    EXPECT_EQ(Decode("&#x0x41;"), "A") << "base 16 takes a 0x prefix";
    EXPECT_EQ(Decode("&#X41;"), "&#X41;") << "only a lower-case x means hexadecimal";
    EXPECT_EQ(Decode("&#;"), "&#;");
    EXPECT_EQ(Decode("&#x;"), "&#x;");
    EXPECT_EQ(Decode("&#abc;"), "&#abc;");
}

TEST(TextDecoderTest, LowSixteenBitsAreConverted)
{
    EXPECT_EQ(Decode("&#65601;"), "A") << "0x10041";
    EXPECT_EQ(Decode("&#-65471;"), "A") << "-65471 is 0x...0041 in its low bits";
}

TEST(TextDecoderTest, ZeroAndUnconvertibleStay)
{
    EXPECT_EQ(Decode("&#0;"), "&#0;");
    EXPECT_EQ(Decode("&#x0;"), "&#x0;");
    EXPECT_EQ(Decode("&#65536;"), "&#65536;") << "low bits 0 never write a NUL";
    EXPECT_EQ(Decode("&#xD800;"), "&#xD800;") << "a lone surrogate";
    EXPECT_EQ(Decode("&#xAC00;"), "&#xAC00;") << "not in the code page";
}

TEST(TextDecoderTest, SemicolonOutOfReach)
{
    EXPECT_EQ(Decode("&#00000065;"), "&#00000065;") << "eight bytes before the ';'";
    EXPECT_EQ(Decode("&#x0000041;"), "A");
    EXPECT_EQ(Decode("&#x00000041;"), "&#x00000041;");
    EXPECT_EQ(Decode("&#65"), "&#65");
    EXPECT_EQ(Decode("&#"), "&#");
    EXPECT_EQ(Decode("&#x"), "&#x");
}

TEST(TextDecoderTest, SemicolonIsSoughtOnlyInsideTheRange)
{
    // A ';' after the range belongs to other markup: the reference stays as written.
    const std::string text = "&#65\";";
    EXPECT_EQ(DecodeText(text.c_str(), 0, 4), "&#65");
    EXPECT_EQ(DecodeText(text.c_str(), 0, 6), "A") << "the same reference, ';' inside";
    const std::string tail = "x&#20013\">;";
    EXPECT_EQ(DecodeText(tail.c_str(), 0, 8), "x&#20013");
}

TEST(TextDecoderTest, ReferenceToCharacterWithBracketTrailByte)
{
    EXPECT_EQ(Decode("&#30453;&#x76F6;&#x76f7;"), "\xB1\x5B\xB1\x5C\xB1\x5D");
}

TEST(TextDecoderTest, MultibyteCharactersCopiedWhole)
{
    EXPECT_EQ(Decode("\xD6\xD0&amp;\xB1\x5C"), "\xD6\xD0&\xB1\x5C");
    // A lead byte at the end of the range is copied alone, never with a byte past it.
    const std::string text = "a\xD6\xD0";
    EXPECT_EQ(DecodeText(text.c_str(), 0, 2), "a\xD6");
}

// The block decoding gives what the byte decoding gives for every range of texts made of
// references, broken references and two-byte characters around block edges and the text's
// end, and writes nothing past the room it is given; so does the one-block copy of a short
// value without references.
TEST(TextDecoderTest, BlockDecodingGivesWhatByteDecodingGivesForEveryRange)
{
    const char* const parts[] = {"a",  "&amp;",    "&lt;",   "&#20013;", "&#x4e2d;",      "&", "&#",
                                 "b;", "\xD6\xD0", "&quot;", "&apos;",   "0123456789abcd"};
    std::mt19937 random(7);
    for (int n = 0; n < 400; ++n) {
        std::string text;
        for (int k = static_cast<int>(random() % 16); k > 0; --k) {
            text += parts[random() % std::size(parts)];
        }
        const auto size = static_cast<std::int32_t>(text.size());
        for (std::int32_t start = 0; start <= size; ++start) {
            for (std::int32_t length = 0; start + length <= size; ++length) {
                const std::string expected = DecodeText(text.c_str(), start, length);
                const std::size_t room = static_cast<std::size_t>(length) + kDecodeSlack;
                std::string out(room + 8, '\x01');
                const std::size_t used =
                    DecodeValueInto(text.c_str(), size, start, length, out.data());
                ASSERT_EQ(out.substr(0, used), expected)
                    << text << " from " << start << ", " << length << " bytes";
                ASSERT_EQ(out.substr(room), std::string(8, '\x01')) << "written past the room";

                // The one-block copy of a short value: taken exactly where the value is at
                // most 16 bytes with no '&' and the block ends before the NUL, and then the
                // value as written, which is its decoding.
                std::string copied(room + 8, '\x01');
                const bool bCopied =
                    CopyShortPlainValue(text.c_str(), size, start, length, copied.data());
                const std::string value =
                    text.substr(static_cast<size_t>(start), static_cast<size_t>(length));
                ASSERT_EQ(bCopied, length <= 16 && size - start >= 16 &&
                                       value.find('&') == std::string::npos)
                    << text << " from " << start << ", " << length << " bytes";
                if (bCopied) {
                    ASSERT_EQ(copied.substr(0, static_cast<size_t>(length)), expected);
                }
                ASSERT_EQ(copied.substr(room), std::string(8, '\x01')) << "copied past the room";
            }
        }
    }
}

TEST(TextDecoderTest, EmptyRange)
{
    EXPECT_EQ(DecodeText("abc", 1, 0), "");
    EXPECT_EQ(DecodeText("", 0, 0), "");
}

}  // namespace
