// Code page 936: character boundaries and conversion from UTF-16.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/CodePage936.h"

namespace {

std::string Convert(char16_t unit)
{
    char bytes[cp936::kMaxCharBytes] = {};
    const int count = cp936::FromUtf16(unit, bytes);
    EXPECT_GE(count, 0);
    EXPECT_LE(count, cp936::kMaxCharBytes);
    return std::string(bytes, static_cast<size_t>(count < 0 ? 0 : count));
}

TEST(CodePage936Test, LeadAndTrailBytes)
{
    EXPECT_FALSE(cp936::IsLeadByte(0x80));
    EXPECT_TRUE(cp936::IsLeadByte(0x81));
    EXPECT_TRUE(cp936::IsLeadByte(0xFE));
    EXPECT_FALSE(cp936::IsLeadByte(0xFF));
    EXPECT_FALSE(cp936::IsLeadByte('<'));
    EXPECT_FALSE(cp936::IsTrailByte(0x3F));
    EXPECT_TRUE(cp936::IsTrailByte(0x40));
    EXPECT_TRUE(cp936::IsTrailByte('\\'));
    EXPECT_TRUE(cp936::IsTrailByte('['));
    EXPECT_TRUE(cp936::IsTrailByte(']'));
    EXPECT_FALSE(cp936::IsTrailByte(0x7F));
    EXPECT_TRUE(cp936::IsTrailByte(0xFE));
    EXPECT_FALSE(cp936::IsTrailByte(0xFF));
    EXPECT_FALSE(cp936::IsTrailByte('\0'));
}

TEST(CodePage936Test, CharLengthInNulTerminatedText)
{
    EXPECT_EQ(cp936::CharLength(""), 0u);
    EXPECT_EQ(cp936::CharLength("a"), 1u);
    EXPECT_EQ(cp936::CharLength("\xD6\xD0"), 2u);
    EXPECT_EQ(cp936::CharLength("\xB1\x5C"), 2u);
    EXPECT_EQ(cp936::CharLength("\x81"), 1u) << "never steps over the terminator";
    EXPECT_EQ(cp936::CharLength("\x81\""), 1u) << "a quote is no trail byte";
    EXPECT_EQ(cp936::CharLength("\x80\x40"), 1u) << "0x80 leads nothing";
}

TEST(CodePage936Test, CharLengthInCountedText)
{
    const char text[] = {'\xD6', '\xD0', '\xD6', '\xD0'};
    EXPECT_EQ(cp936::CharLength(text, 0, 4), 2u);
    EXPECT_EQ(cp936::CharLength(text, 2, 3), 1u) << "the trail byte lies past the end";
    EXPECT_EQ(cp936::CharLength(text, 4, 4), 0u);
    EXPECT_EQ(cp936::CharLength(text, 5, 4), 0u);
}

TEST(CodePage936Test, ConvertsUtf16Units)
{
    EXPECT_EQ(Convert(u'A'), "A");
    EXPECT_EQ(Convert(0x7F), "\x7F");
    EXPECT_EQ(Convert(0x4E2D), "\xD6\xD0");
    EXPECT_EQ(Convert(0x6587), "\xCE\xC4");
    EXPECT_EQ(Convert(0x76F6), "\xB1\x5C");
    EXPECT_EQ(Convert(0x3000), "\xA1\xA1");
}

TEST(CodePage936Test, UnitsWithoutCharacter)
{
    EXPECT_EQ(Convert(0), "");
    EXPECT_EQ(Convert(0xD800), "") << "a lone high surrogate";
    EXPECT_EQ(Convert(0xDC00), "") << "a lone low surrogate";
    EXPECT_EQ(Convert(0xAC00), "") << "Hangul is outside the code page";
    // A failure leaves no state behind for the next unit.
    EXPECT_EQ(Convert(0x4E2D), "\xD6\xD0");
}

TEST(CodePage936Test, ConcurrentConversions)
{
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (size_t t = 0; t < failures.size(); ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 2000; ++i) {
                char bytes[cp936::kMaxCharBytes] = {};
                const char16_t unit = (i + static_cast<int>(t)) % 2 == 0 ? 0x4E2D : 0xD800;
                const int count = cp936::FromUtf16(unit, bytes);
                const bool ok = unit == 0x4E2D
                                    ? (count == 2 && bytes[0] == '\xD6' && bytes[1] == '\xD0')
                                    : count == 0;
                if (!ok) {
                    ++failures[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int count : failures) {
        EXPECT_EQ(count, 0);
    }
}

}  // namespace
