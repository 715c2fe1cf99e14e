// korvanelle as a process, for what it decides before it loads the client library.
#include <gtest/gtest.h>

#include "KorvanelleClient.h"

#include <cstdio>
#include <dlfcn.h>

#include "TestProcess.h"

using namespace korv::test;

namespace {

ProcessResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {})
{
    std::vector<std::string> argv{KORV_CLI_EXECUTABLE};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, std::chrono::seconds(20), env);
}

TEST(CliProcessTest, HelpDocumentsCommandsAndExitCodes)
{
    const ProcessResult result = RunCli({"--help"});
    ASSERT_EQ(result.exitCode, 0);
    for (const char* text :
         {"show ID", "thumb NAME -o FILE", "image NAME -o FILE", "fetch ID -o DIR", "Exit codes",
          "3  cannot connect", "4  patient not found", "5  thumbnail or image not available"}) {
        EXPECT_NE(result.out.find(text), std::string::npos) << text;
    }
}

TEST(CliProcessTest, BadArgumentsExitWithTwoAndOneLine)
{
    for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                  {"show"},
                                                                  {"fetch", "P1"},
                                                                  {"frobnicate"},
                                                                  {"--port", "x", "show", "P1"},
                                                                  {"--port=x", "show", "P1"}}) {
        const ProcessResult result = RunCli(args);
        EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(result.err.rfind("korvanelle: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find("korvanelle --help"), std::string::npos) << result.err;
    }
}

TEST(CliProcessTest, BothToolsPrintTheirVersionAndAOneLineHint)
{
    const ProcessResult cli = RunCli({"--version"});
    EXPECT_EQ(cli.exitCode, 0);
    EXPECT_EQ(cli.out, "korvanelle " KORVANELLE_VERSION_STRING "\n");
    const ProcessResult server =
        RunProcess({KORV_SERVER_EXECUTABLE, "--version"}, std::chrono::seconds(10));
    EXPECT_EQ(server.exitCode, 0);
    EXPECT_EQ(server.out, "korvanelle-server " KORVANELLE_VERSION_STRING "\n");
    // A bad argument: one line naming it, and where to look, not the whole usage.
    const ProcessResult bad = RunProcess({KORV_SERVER_EXECUTABLE, "--data", "d", "--frobnicate"},
                                         std::chrono::seconds(10));
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(
        bad.err,
        "korvanelle-server: unknown argument '--frobnicate' (see korvanelle-server --help)\n");
}

TEST(CliProcessTest, UnloadableLibraryExitsWithOne)
{
    const ProcessResult fromOption =
        RunCli({"--lib", "/nonexistent/libKorvanelleClient.so", "show", "P1"});
    EXPECT_EQ(fromOption.exitCode, 1);
    EXPECT_NE(fromOption.err.find("/nonexistent/libKorvanelleClient.so"), std::string::npos)
        << fromOption.err;

    const ProcessResult fromEnvironment =
        RunCli({"show", "P1"}, {"KORVANELLE_LIB=/nonexistent/env/lib.so"});
    EXPECT_EQ(fromEnvironment.exitCode, 1);
    EXPECT_NE(fromEnvironment.err.find("/nonexistent/env/lib.so"), std::string::npos)
        << fromEnvironment.err;
}

TEST(CliProcessTest, LibraryWithoutTheExportsIsRefused)
{
    // The C library is loadable but exports none of the seventeen functions.
    Dl_info info{};
    ASSERT_NE(::dladdr(reinterpret_cast<void*>(&std::fclose), &info), 0);
    const ProcessResult result = RunCli({"--lib", info.dli_fname, "show", "P1"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("Connect"), std::string::npos) << result.err;
}

}  // namespace
