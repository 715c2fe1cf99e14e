#include <gtest/gtest.h>

#include <set>

#include "SafeFileName.h"
#include "UniqueFileNames.h"

using korv::cli::CUniqueFileNames;
using korv::cli::MakeSafeFileName;

namespace {

// What fetch does with each image name: sanitise, then claim a file in the folder.
std::vector<std::string> Claim(const std::vector<std::string>& names)
{
    CUniqueFileNames files;
    std::vector<std::string> out;
    for (const std::string& name : names) {
        out.push_back(files.Claim(MakeSafeFileName(name)));
    }
    return out;
}

TEST(UniqueFileNamesTest, NamesThatSanitiseAlikeGetTheirOwnFiles)
{
    EXPECT_EQ(Claim({"a/b.png", "a_b.png", "a\\b.png"}),
              (std::vector<std::string>{"a_b.png", "a_b~2.png", "a_b~3.png"}));
    // Case alone does not separate files on Windows or macOS.
    EXPECT_EQ(Claim({"Scan.PNG", "scan.png"}),
              (std::vector<std::string>{"Scan.PNG", "scan~2.png"}));
    // Nor beyond ASCII: the letters with case that code page 936 names can hold (fullwidth
    // Ａ/ａ, Greek Ω/ω, Cyrillic Ж/ж and Ё/ё, Roman numerals Ⅳ/ⅳ); Chinese has no case.
    EXPECT_EQ(Claim({"\xef\xbc\xa1.png", "\xef\xbd\x81.png", "\xce\xa9", "\xcf\x89", "\xd0\x96",
                     "\xd0\xb6", "\xd0\x81", "\xd1\x91", "\xe2\x85\xa3", "\xe2\x85\xb3",
                     "\xe5\x9b\xbe", "\xe5\x9b\xbe"}),
              (std::vector<std::string>{"\xef\xbc\xa1.png", "\xef\xbd\x81~2.png", "\xce\xa9",
                                        "\xcf\x89~2", "\xd0\x96", "\xd0\xb6~2", "\xd0\x81",
                                        "\xd1\x91~2", "\xe2\x85\xa3", "\xe2\x85\xb3~2",
                                        "\xe5\x9b\xbe", "\xe5\x9b\xbe~2"}));
    EXPECT_EQ(Claim({"\xce\xb1", "\xce\xb2", "\xd0\xb0", "\xd0\xb1"}),
              (std::vector<std::string>{"\xce\xb1", "\xce\xb2", "\xd0\xb0", "\xd0\xb1"}));
    EXPECT_EQ(Claim({"noext", "noext", ".png", "/png"}),
              (std::vector<std::string>{"noext", "noext~2", "_png", "_png~2"}));
}

TEST(UniqueFileNamesTest, ASuffixNeverLandsOnANameAlreadyGiven)
{
    // The server's own "a_b~2.png" comes first; the collision must skip past it, and a later
    // real "a_b~3.png" must not take the suffixed file either.
    const std::vector<std::string> files = Claim({"a_b~2.png", "a_b.png", "a/b.png", "a_b~3.png"});
    EXPECT_EQ(files,
              (std::vector<std::string>{"a_b~2.png", "a_b.png", "a_b~3.png", "a_b~3~2.png"}));
    EXPECT_EQ(std::set<std::string>(files.begin(), files.end()).size(), files.size());
}

}  // namespace
