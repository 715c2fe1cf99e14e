#include <gtest/gtest.h>

#include "Log.h"

using korv::server::Printable;

namespace {

TEST(LogTest, NetworkTextCannotForgeOrFloodLogLines)
{
    EXPECT_EQ(Printable("img.png"), "\"img.png\"");
    EXPECT_EQ(Printable("a\nb\"\\\xd5"), "\"a\\x0ab\\x22\\x5c\\xd5\"");
    const std::string shown = Printable(std::string(70000, 'n'));
    EXPECT_LT(shown.size(), 200u);
    EXPECT_NE(shown.find("(70000 bytes)"), std::string::npos) << shown;
}

}  // namespace
