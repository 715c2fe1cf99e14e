#include <gtest/gtest.h>

#include "LibraryLocator.h"

using korv::cli::CLibraryLocator;

namespace {

TEST(LibraryLocatorTest, CommandLineBeatsEnvironmentBeatsDefault)
{
    EXPECT_EQ(CLibraryLocator::Find("/a/lib.so", "/b/lib.so"), "/a/lib.so");
    EXPECT_EQ(CLibraryLocator::Find("", "/b/lib.so"), "/b/lib.so");
    const std::string fallback = CLibraryLocator::Find("", "");
    EXPECT_EQ(fallback, CLibraryLocator::Find("", nullptr));
    const std::string fileName = "libKorvanelleClient.so";
    ASSERT_GE(fallback.size(), fileName.size());
    EXPECT_EQ(fallback.substr(fallback.size() - fileName.size()), fileName);
    EXPECT_EQ(fallback.front(), '/') << "the default is found from the executable's folder";
}

}  // namespace
