#include <gtest/gtest.h>

#include "SafeFileName.h"

using korv::cli::MakeSafeFileName;

namespace {

TEST(SafeFileNameTest, PlainNamesStayAsTheyAre)
{
    EXPECT_EQ(MakeSafeFileName("P10001_CT_1_1.png"), "P10001_CT_1_1.png");
    EXPECT_EQ(MakeSafeFileName("\xe5\xbc\xa0.png"), "\xe5\xbc\xa0.png");
}

TEST(SafeFileNameTest, NamesThatWouldLeaveTheFolderAreDefused)
{
    for (const std::string& name :
         {std::string("../../etc/passwd"), std::string("/abs"), std::string(".."), std::string("."),
          std::string(""), std::string("a\\..\\b"), std::string("x\ny"), std::string(".hidden")}) {
        const std::string safe = MakeSafeFileName(name);
        EXPECT_FALSE(safe.empty()) << name;
        EXPECT_NE(safe.front(), '.') << name;
        EXPECT_EQ(safe.find_first_of("/\\\n"), std::string::npos) << name;
    }
}

// On Windows "C:x" joined to the output folder is a path on drive C, "x:y" a stream of x,
// and CON or nul.png a device; the fetched files must land in the folder as plain files.
TEST(SafeFileNameTest, NamesWindowsWouldTakeElsewhereAreDefused)
{
    EXPECT_EQ(MakeSafeFileName("C:evil.png"), "C_evil.png");
    EXPECT_EQ(MakeSafeFileName("img.png:stream"), "img.png_stream");
    EXPECT_EQ(MakeSafeFileName("a*b?c\"<d>|e.png"), "a_b_c__d__e.png");
    EXPECT_EQ(MakeSafeFileName("CON"), "_CON");
    EXPECT_EQ(MakeSafeFileName("nul.png"), "_nul.png");
    EXPECT_EQ(MakeSafeFileName("com7.tar.gz"), "_com7.tar.gz");
    EXPECT_EQ(MakeSafeFileName("name."), "name_");
    EXPECT_EQ(MakeSafeFileName("name "), "name_");
    EXPECT_EQ(MakeSafeFileName("CONSOLE.png"), "CONSOLE.png");
    EXPECT_EQ(MakeSafeFileName("COM0.png"), "COM0.png");
}

TEST(SafeFileNameTest, LongNamesAreCutOnACharacterBoundary)
{
    std::string name;
    for (int i = 0; i < 100; ++i) {
        name += "\xe5\xbc\xa0";  // three bytes each
    }
    const std::string safe = MakeSafeFileName(name);
    EXPECT_LE(safe.size(), 200u);
    EXPECT_GT(safe.size(), 150u);
    EXPECT_EQ(safe.size() % 3, 0u);
    EXPECT_EQ(name.compare(0, safe.size(), safe), 0);
}

}  // namespace
