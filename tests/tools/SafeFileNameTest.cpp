#include <gtest/gtest.h>

#include "SafeFileName.h"

using korv::cli::MakeSafeFileName;

namespace {

TEST(SafeFileNameTest, PlainNamesStayAsTheyAre) {
  EXPECT_EQ(MakeSafeFileName("P10001_CT_1_1.png"), "P10001_CT_1_1.png");
  EXPECT_EQ(MakeSafeFileName("\xe5\xbc\xa0.png"), "\xe5\xbc\xa0.png");
}

TEST(SafeFileNameTest, NamesThatWouldLeaveTheFolderAreDefused) {
  for (const std::string& name : {std::string("../../etc/passwd"), std::string("/abs"), std::string(".."),
                                  std::string("."), std::string(""), std::string("a\\..\\b"),
                                  std::string("x\ny"), std::string(".hidden")}) {
    const std::string safe = MakeSafeFileName(name);
    EXPECT_FALSE(safe.empty()) << name;
    EXPECT_NE(safe.front(), '.') << name;
    EXPECT_EQ(safe.find_first_of("/\\\n"), std::string::npos) << name;
  }
}

TEST(SafeFileNameTest, LongNamesAreCutOnACharacterBoundary) {
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
