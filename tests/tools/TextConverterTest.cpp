#include <gtest/gtest.h>

#include "TextConverter.h"

using korv::cli::CTextConverter;

namespace {

// 张伟 in code page 936 and in UTF-8.
const std::string kNameCp936 = "\xd5\xc5\xce\xb0";
const std::string kNameUtf8 = "\xe5\xbc\xa0\xe4\xbc\x9f";
const std::string kReplacement = "\xef\xbf\xbd";

TEST(TextConverterTest, ConvertsChineseBothWays)
{
    EXPECT_EQ(CTextConverter::ToUtf8(kNameCp936), kNameUtf8);
    EXPECT_EQ(CTextConverter::FromUtf8(kNameUtf8), kNameCp936);
    EXPECT_EQ(CTextConverter::ToUtf8("P10001 " + kNameCp936 + " CT"),
              "P10001 " + kNameUtf8 + " CT");
}

TEST(TextConverterTest, BadBytesBecomeReplacementCharacters)
{
    EXPECT_EQ(CTextConverter::ToUtf8("a\xff"
                                     "b"),
              "a" + kReplacement + "b");
    // A lead byte cut off at the end of the text.
    EXPECT_EQ(CTextConverter::ToUtf8("ab\xd5"), "ab" + kReplacement);
    EXPECT_EQ(CTextConverter::ToUtf8(""), "");
}

TEST(TextConverterTest, LongTextIsConvertedWhole)
{
    std::string cp936;
    std::string utf8;
    for (int i = 0; i < 1000; ++i) {
        cp936 += kNameCp936;
        utf8 += kNameUtf8;
    }
    EXPECT_EQ(CTextConverter::ToUtf8(cp936), utf8);
}

TEST(TextConverterTest, TextThatCodePage936CannotHoldIsRefused)
{
    EXPECT_FALSE(CTextConverter::FromUtf8("\xf0\x9f\x98\x80"));  // an emoji
    EXPECT_FALSE(CTextConverter::FromUtf8("a\xff"));             // not UTF-8
    EXPECT_EQ(CTextConverter::FromUtf8("plain.png"), "plain.png");
}

}  // namespace
