#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "DataFolder.h"
#include "TempDataFolder.h"

using korv::server::CDataFolder;
using korv::server::FileLookup;
using korv::test::CTempDataFolder;

namespace {

TEST(DataFolderNameTest, OnlyPlainEntryNamesAreSafe)
{
    EXPECT_TRUE(CDataFolder::IsSafeName("img001.png"));
    EXPECT_TRUE(CDataFolder::IsSafeName("a..b"));
    EXPECT_TRUE(CDataFolder::IsSafeName("\xd5\xc5\xce\xb0.png"));
    for (const std::string& name :
         {std::string(), std::string("."), std::string(".."), std::string(".hidden"),
          std::string("../x"), std::string("a/b"), std::string("/etc/passwd"), std::string("a\\b"),
          std::string("..\\x"), std::string("a\0b", 3)}) {
        EXPECT_FALSE(CDataFolder::IsSafeName(name)) << name;
    }
}

class DataFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        data.Write("patients", "P1.xml", "<ROOT/>");
        data.Write("thumbs", "t.png", std::string(100, 't'));
        data.Write("images", "i.png", std::string(300, 'i'));
        std::string error;
        ASSERT_TRUE(folder.Open(data.Path(), error)) << error;
    }

    CTempDataFolder data;
    CDataFolder folder;
    CTempDataFolder outside;
};

TEST_F(DataFolderTest, FindsFilesInTheirSubfolders)
{
    FileLookup patient = folder.OpenPatient("P1");
    EXPECT_EQ(patient.status, FileLookup::Status::Found);
    EXPECT_EQ(patient.size, 7u);
    EXPECT_EQ(folder.OpenThumb("t.png").size, 100u);
    EXPECT_EQ(folder.OpenImage("i.png").size, 300u);
    // Each kind only looks in its own folder.
    EXPECT_EQ(folder.OpenImage("t.png").status, FileLookup::Status::Missing);
    EXPECT_EQ(folder.OpenPatient("P1.xml").status, FileLookup::Status::Missing);
}

TEST_F(DataFolderTest, RefusesNamesThatLeaveTheFolder)
{
    EXPECT_EQ(folder.OpenThumb("../patients/P1.xml").status, FileLookup::Status::Refused);
    EXPECT_EQ(folder.OpenPatient("../thumbs/t").status, FileLookup::Status::Refused);
    EXPECT_EQ(folder.OpenImage("/etc/hostname").status, FileLookup::Status::Refused);
    EXPECT_EQ(folder.OpenImage("").status, FileLookup::Status::Refused);
}

TEST_F(DataFolderTest, RefusesLinksAndNonRegularFiles)
{
    const std::string secret = outside.Write("", "secret.png", "secret");
    ASSERT_EQ(::symlink(secret.c_str(), (data.Path() + "/images/link.png").c_str()), 0);
    ASSERT_EQ(::symlink("i.png", (data.Path() + "/images/alias.png").c_str()), 0);
    std::filesystem::create_directory(data.Path() + "/images/folder.png");
    EXPECT_EQ(folder.OpenImage("link.png").status, FileLookup::Status::Refused);
    EXPECT_EQ(folder.OpenImage("alias.png").status, FileLookup::Status::Refused);
    EXPECT_EQ(folder.OpenImage("folder.png").status, FileLookup::Status::Refused);
}

TEST(DataFolderOpenTest, MissingFolderOrSubfolderIsReportedByName)
{
    CDataFolder folder;
    std::string error;
    EXPECT_FALSE(folder.Open("/nonexistent/korv-data", error));
    EXPECT_NE(error.find("/nonexistent/korv-data"), std::string::npos) << error;

    CTempDataFolder data;
    std::filesystem::remove(data.Path() + "/images");
    error.clear();
    EXPECT_FALSE(folder.Open(data.Path(), error));
    EXPECT_NE(error.find("images"), std::string::npos) << error;
}

}  // namespace
