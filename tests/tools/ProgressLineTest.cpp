#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "ProgressLine.h"

using korv::cli::CProgressLine;

namespace {

// 胸部正位片.png in UTF-8: five wide characters and four narrow ones, 14 columns.
const std::string kChineseName = "\xe8\x83\xb8\xe9\x83\xa8\xe6\xad\xa3\xe4\xbd\x8d\xe7\x89\x87.png";

TEST(ProgressLineTest, TextNamesTheImageTheBytesAndTheRate)
{
    EXPECT_EQ(CProgressLine::Text(3, 12, "a.png", 1536, 2.0, 200),
              "image 3 of 12  a.png  1.5 KiB  768 B/s");
    EXPECT_EQ(CProgressLine::Text(1, 2, "a.png", 0, 0.5, 200), "image 1 of 2  a.png  0 B");
    EXPECT_EQ(CProgressLine::Text(1, 2, "a.png", 3u << 30, 1.0, 200),
              "image 1 of 2  a.png  3.0 GiB  3.0 GiB/s");
}

TEST(ProgressLineTest, WideCharactersTakeTwoColumnsAndLongNamesAreCutToFit)
{
    EXPECT_EQ(CProgressLine::Width(kChineseName), 14u);
    EXPECT_EQ(CProgressLine::Width("abc"), 3u);
    for (std::size_t columns : {80u, 40u, 33u, 30u, 20u, 5u}) {
        const std::string text =
            CProgressLine::Text(7, 9, kChineseName + kChineseName, 99, 1.0, columns);
        EXPECT_LT(CProgressLine::Width(text), columns) << text;
        // Never half a character: the text is still UTF-8 that decodes to whole characters.
        std::size_t continuation = 0;
        for (char c : text) {
            continuation += (static_cast<unsigned char>(c) & 0xC0) == 0x80 ? 1 : 0;
        }
        EXPECT_EQ(continuation % 2, 0u) << text;
    }
    const std::string cut = CProgressLine::Text(7, 9, kChineseName, 99, 1.0, 34);
    EXPECT_EQ(cut, "image 7 of 9  \xe8\x83\xb8...  99 B  99 B/s");
}

std::string Captured(const std::function<void(CProgressLine&)>& draw, std::size_t columns)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = ::open_memstream(&buffer, &size);
    {
        CProgressLine line(out, columns);
        draw(line);
    }
    std::fclose(out);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

TEST(ProgressLineTest, RedrawBlanksWhatALongerLineLeftAndClearBlanksTheLine)
{
    const std::string drawn = Captured(
        [](CProgressLine& line) {
            line.Show(1, 2, "long-name.png", 0, 0);
            line.Show(2, 2, "b.png", 0, 0);
            line.Clear();
            line.Clear();
        },
        80);
    EXPECT_EQ(drawn, "\rimage 1 of 2  long-name.png  0 B"
                     "\rimage 2 of 2  b.png  0 B        \rimage 2 of 2  b.png  0 B"
                     "\r                        \r");
    // Without a terminal nothing at all.
    EXPECT_EQ(Captured(
                  [](CProgressLine& line) {
                      line.Show(1, 2, "a.png", 5, 1);
                      line.Clear();
                  },
                  0),
              "");
}

}  // namespace
