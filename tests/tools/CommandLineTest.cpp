#include <gtest/gtest.h>

#include "CommandLine.h"
#include "KorvanelleClient.h"

using korv::cli::CCommandLine;
using korv::cli::CliOptions;
using korv::cli::Command;

namespace {

class CommandLineTest : public ::testing::Test {
protected:
    bool Parse(const std::vector<std::string>& args)
    {
        options = CliOptions{};
        error.clear();
        return CCommandLine::Parse(args, options, error);
    }

    CliOptions options;
    std::string error;
};

TEST_F(CommandLineTest, ShowWithConnectionOptionsAndJson)
{
    ASSERT_TRUE(Parse(
        {"--host", "localhost", "--port", "9000", "--lib", "/x/lib.so", "show", "P1", "--json"}))
        << error;
    EXPECT_EQ(options.command, Command::Show);
    EXPECT_EQ(options.host, "localhost");
    EXPECT_EQ(options.port, 9000);
    EXPECT_EQ(options.library, "/x/lib.so");
    EXPECT_EQ(options.target, "P1");
    EXPECT_TRUE(options.json);
}

TEST_F(CommandLineTest, OutputCommandsTakeTheirTargetAndOutput)
{
    ASSERT_TRUE(Parse({"thumb", "a.png", "-o", "out.png"})) << error;
    EXPECT_EQ(options.command, Command::Thumb);
    EXPECT_EQ(options.output, "out.png");
    ASSERT_TRUE(Parse({"image", "-o", "out.png", "b.png"})) << error;
    EXPECT_EQ(options.command, Command::Image);
    EXPECT_EQ(options.target, "b.png");
    ASSERT_TRUE(Parse({"fetch", "P1", "--output", "dir", "--port", "1"})) << error;
    EXPECT_EQ(options.command, Command::Fetch);
    EXPECT_EQ(options.output, "dir");
    EXPECT_EQ(options.port, 1);
}

TEST_F(CommandLineTest, DoubleDashLetsATargetStartWithADash)
{
    ASSERT_TRUE(Parse({"show", "--", "-P1"})) << error;
    EXPECT_EQ(options.target, "-P1");
}

TEST_F(CommandLineTest, OptionsTakeTheirValueAfterAnEqualsSign)
{
    ASSERT_TRUE(Parse({"--port=7771", "--host=h", "--lib=/x/a=b.so", "fetch", "P1", "--output=d"}))
        << error;
    EXPECT_EQ(options.port, 7771);
    EXPECT_EQ(options.host, "h");
    EXPECT_EQ(options.library, "/x/a=b.so");
    EXPECT_EQ(options.output, "d");
    // A target after "--" is never split, and flags take no value.
    ASSERT_TRUE(Parse({"show", "--", "--x=y"})) << error;
    EXPECT_EQ(options.target, "--x=y");
    EXPECT_FALSE(Parse({"show", "P1", "--json=yes"}));
    EXPECT_NE(error.find("--json takes no value"), std::string::npos) << error;
    EXPECT_FALSE(Parse({"--port=", "show", "P1"}));
    EXPECT_FALSE(Parse({"--port=70000", "show", "P1"}));
}

TEST_F(CommandLineTest, VersionNeedsNoCommand)
{
    ASSERT_TRUE(Parse({"--version"})) << error;
    EXPECT_EQ(options.command, Command::Version);
    EXPECT_EQ(std::string(CCommandLine::VersionText()),
              "korvanelle " KORVANELLE_VERSION_STRING "\n");
}

TEST_F(CommandLineTest, HelpWinsAnywhere)
{
    ASSERT_TRUE(Parse({"show", "--help"}));
    EXPECT_EQ(options.command, Command::Help);
    ASSERT_TRUE(Parse({"-h"}));
    EXPECT_EQ(options.command, Command::Help);
}

TEST_F(CommandLineTest, IncompleteOrContradictoryCommandsAreRefused)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"show"},
        {"show", ""},
        {"frobnicate", "x"},
        {"show", "P1", "P2"},
        {"thumb", "a.png"},
        {"image", "a.png", "-o"},
        {"fetch", "P1"},
        {"fetch", "P1", "-o", "d", "--json"},
        {"show", "P1", "-o", "file"},
        {"--port", "0", "show", "P1"},
        {"--port", "70000", "show", "P1"},
        {"--port", "80x", "show", "P1"},
        {"--host", "show", "P1"},
        {"--bogus", "show", "P1"},
    };
    for (const auto& args : bad) {
        EXPECT_FALSE(Parse(args)) << ::testing::PrintToString(args);
        EXPECT_FALSE(error.empty()) << ::testing::PrintToString(args);
    }
}

TEST_F(CommandLineTest, UsageListsEveryExitCode)
{
    const std::string usage = CCommandLine::Usage();
    for (const char* code : {"  0  ", "  1  ", "  2  ", "  3  ", "  4  ", "  5  "}) {
        EXPECT_NE(usage.find(code), std::string::npos) << code;
    }
}

}  // namespace
