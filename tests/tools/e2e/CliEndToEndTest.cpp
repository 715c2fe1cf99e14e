// korvanelle against korvanelle-server through the client library, as a host would run it.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <set>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "JsonValue.h"
#include "PtyProcess.h"
#include "ServerProcess.h"
#include "TempDataFolder.h"
#include "TestProcess.h"

using namespace korv::test;

namespace {

const std::string kSampleData = KORV_SAMPLE_DATA;
// 张伟, the sample patient P10001, in UTF-8.
const std::string kName = "\xe5\xbc\xa0\xe4\xbc\x9f";

// Empty when the client library can serve these tests, otherwise why not.
std::string LibraryProblem()
{
    const std::string path = KORV_CLIENT_LIBRARY;
    if (path.empty()) {
        return "the build has no client library target";
    }
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = ::dlerror();
        return "cannot load " + path + ": " + (error != nullptr ? error : "unknown error");
    }
    // Left loaded: unloading a library that may have started threads is not worth the risk here.
    return ::dlsym(handle, "Connect") != nullptr ? "" : path + " does not export Connect yet";
}

// A port on which nothing listens (bound and released again).
int ClosedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// What a terminal shows after the output: '\r' returns to the line's start, '\n' starts a
// new line, any other byte overwrites the one under the cursor. The lines, "\n"-terminated.
std::string Screen(const std::string& output)
{
    std::vector<std::string> lines(1);
    std::size_t column = 0;
    for (char c : output) {
        if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            lines.emplace_back();
        } else if (column < lines.back().size()) {
            lines.back()[column++] = c;
        } else {
            lines.back() += c;
            ++column;
        }
    }
    std::string screen;
    for (std::string& line : lines) {
        line.erase(line.find_last_not_of(' ') + 1);
        screen += line + "\n";
    }
    return screen;
}

class CliEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string problem = LibraryProblem(); !problem.empty()) {
            GTEST_SKIP() << "needs the client library's exports: " << problem;
        }
        out = std::filesystem::temp_directory_path() / ("korv-cli-" + std::to_string(::getpid()));
        std::filesystem::remove_all(out);
    }

    void TearDown() override
    {
        server.Stop();
        std::error_code ignored;
        std::filesystem::remove_all(out, ignored);
    }

    void StartServer(const std::vector<std::string>& options = {})
    {
        ASSERT_TRUE(server.Start(kSampleData, options)) << server.Log();
    }

    // Runs the host with the build's default library location (no --lib, no KORVANELLE_LIB).
    ProcessResult Cli(std::vector<std::string> args, int port = 0)
    {
        args.insert(args.begin(), {KORV_CLI_EXECUTABLE, "--port",
                                   std::to_string(port != 0 ? port : server.Port())});
        return RunProcess(args, std::chrono::seconds(40), {"KORVANELLE_LIB="});
    }

    PtyResult CliOnTerminal(std::vector<std::string> args)
    {
        args.insert(args.begin(), {KORV_CLI_EXECUTABLE, "--port", std::to_string(server.Port())});
        return RunInPty(args, 200, std::chrono::seconds(40), {"KORVANELLE_LIB="});
    }

    CServerProcess server;
    std::filesystem::path out;
};

TEST_F(CliEndToEndTest, ShowPrintsThePatientTreeInUtf8)
{
    StartServer();
    const ProcessResult result = Cli({"show", "P10001"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Patient P10001: " + kName), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("  Modality CT\n"), std::string::npos) << result.out;
    EXPECT_NE(
        result.out.find("    Study \xe5\xa4\xb4\xe9\xa2\x85\xe5\xb9\xb3\xe6\x89\xab 2023-03-14"),
        std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("P10001_CT_1_1.png  [image]"), std::string::npos) << result.out;
}

TEST_F(CliEndToEndTest, ShowJsonParsesBackWithDecodedValues)
{
    StartServer();
    const ProcessResult result = Cli({"show", "P10001", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto json = CJsonValue::Parse(result.out);
    ASSERT_TRUE(json) << result.out;
    EXPECT_EQ((*json)["id"].Str(), "P10001");
    EXPECT_EQ((*json)["name"].Str(), kName);
    const auto& modalities = (*json)["modalities"].Items();
    ASSERT_EQ(modalities.size(), 3u);
    EXPECT_EQ(modalities[0]["name"].Str(), "CT");
    EXPECT_EQ(modalities[1]["name"].Str(), "MR");
    EXPECT_EQ(modalities[2]["name"].Str(), "DX");
    const CJsonValue& head = modalities[0]["studies"].Items().at(0);
    const auto& fields = head["fields"].Items();
    ASSERT_EQ(fields.size(), 5u);
    // "&amp;" in the markup arrives decoded.
    EXPECT_EQ(fields[2]["value"].Str(),
              "\xe8\x85\x94\xe9\x9a\x99\xe6\x80\xa7\xe8\x84\x91\xe6\xa2\x97\xe6\xad\xbb & "
              "\xe8\x84\x91\xe7\x99\xbd\xe8\xb4\xa8\xe5\x8f\x98\xe6\x80\xa7");
    EXPECT_EQ(fields[3]["type"].Str(), "image");
    EXPECT_EQ(fields[3]["value"].Str(), "P10001_CT_1_1.png");
    EXPECT_EQ(fields[0]["type"].Str(), "text");
}

TEST_F(CliEndToEndTest, FetchWritesByteIdenticalFiles)
{
    StartServer({"--image-order", "shuffle", "--chunk-size", "8000"});
    const ProcessResult result = Cli({"fetch", "P10001", "-o", out.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    const std::vector<std::string> images = {"P10001_CT_1_1.png", "P10001_CT_1_2.png",
                                             "P10001_CT_2_1.png", "P10001_MR_1_1.png",
                                             "P10001_DX_1_1.png"};
    for (const std::string& name : images) {
        for (const std::string kind : {"thumbs", "images"}) {
            const auto written = CTempDataFolder::ReadFile((out / kind / name).string());
            EXPECT_FALSE(written.empty()) << kind << "/" << name;
            EXPECT_EQ(written, CTempDataFolder::ReadFile(kSampleData + "/" + kind + "/" + name))
                << kind << "/" << name;
        }
    }
    // One progress line per file written.
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'),
              static_cast<long>(1 + 2 * images.size()))
        << result.out;
    const ProcessResult show = Cli({"show", "P10001", "--json"});
    ASSERT_EQ(show.exitCode, 0);
    // patient.json is show's JSON plus the list of the files written for each image name.
    const auto written = CTempDataFolder::ReadFile((out / "patient.json").string());
    const std::string json(written.begin(), written.end());
    const std::string showBody = show.out.substr(0, show.out.rfind("\n}"));
    EXPECT_EQ(json.substr(0, showBody.size()), showBody);
    EXPECT_EQ(json.compare(showBody.size(), 13, ",\n  \"files\": "), 0)
        << json.substr(showBody.size());
}

// On a terminal fetch keeps one line updated while it works, and leaves on the screen exactly
// the list it prints into a pipe; --quiet leaves the line out.
TEST_F(CliEndToEndTest, FetchOnATerminalShowsOneProgressLineThatLeavesTheListAsItIs)
{
    StartServer({"--chunk-size", "8000"});
    const ProcessResult piped = Cli({"fetch", "P10001", "-o", out.string()});
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.out.find('\r'), std::string::npos);
    EXPECT_EQ(piped.err, "");

    const PtyResult shown = CliOnTerminal({"fetch", "P10001", "-o", out.string()});
    ASSERT_EQ(shown.exitCode, 0) << shown.output;
    for (const char* line :
         {"\rimage 1 of 5  P10001_CT_1_1.png  ", "\rimage 5 of 5  P10001_DX_1_1.png  "}) {
        EXPECT_NE(shown.output.find(line), std::string::npos) << line << "\n" << shown.output;
    }
    // The list with the line gone: the last line is cleared, so the screen ends blank.
    EXPECT_EQ(Screen(shown.output), piped.out + "\n");

    const PtyResult quiet = CliOnTerminal({"fetch", "P10001", "-o", out.string(), "--quiet"});
    ASSERT_EQ(quiet.exitCode, 0) << quiet.output;
    std::string expected;
    for (char c : piped.out) {
        expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    EXPECT_EQ(quiet.output, expected);
}

// Image names that all sanitise to the file a_b.png (case aside): each must land in a file
// of its own, listed in patient.json, and none may overwrite another.
TEST_F(CliEndToEndTest, FetchNeverWritesTwoNamesToOneFile)
{
    const std::vector<std::string> names = {"a_b.png", "A_B.png",
                                            "a\x01"
                                            "b.png",
                                            "a\x7f"
                                            "b.png"};
    std::string markup =
        "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<ROOT><Patient Name=\"X\" ID=\"PX\"><Fields>"
        "<Text><Field FieldName=\"\xd0\xd5\xc3\xfb\" FieldValue=\"X\"/></Text></Fields>"
        "<Modality Name=\"CT\"><Study Name=\"S\"><Fields><Image>";
    CTempDataFolder data;
    for (std::size_t i = 0; i < names.size(); ++i) {
        markup +=
            "<Field FieldName=\"i" + std::to_string(i) + "\" FieldValue=\"" + names[i] + "\"/>";
        data.Write("thumbs", names[i],
                   CTempDataFolder::NoiseBytes(100 + i, static_cast<std::uint32_t>(i)));
        data.Write("images", names[i],
                   CTempDataFolder::NoiseBytes(5000 + i, static_cast<std::uint32_t>(i + 10)));
    }
    markup += "</Image></Fields></Study></Modality></Patient></ROOT>";
    data.Write("patients", "PX.xml", markup);
    ASSERT_TRUE(server.Start(data.Path(), {})) << server.Log();

    const ProcessResult result = Cli({"fetch", "PX", "-o", out.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    const auto bytes = CTempDataFolder::ReadFile((out / "patient.json").string());
    const auto json = CJsonValue::Parse(std::string(bytes.begin(), bytes.end()));
    ASSERT_TRUE(json);
    const auto& files = (*json)["files"].Items();
    ASSERT_EQ(files.size(), names.size());
    std::set<std::string> written;
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(files[i]["name"].Str(), names[i]);
        for (const std::string kind : {"thumb", "image"}) {
            const std::string path = files[i][kind].Str();
            EXPECT_EQ(path.rfind(kind + "s/", 0), 0u) << path;
            EXPECT_TRUE(written.insert(path).second) << "two names written to " << path;
            EXPECT_EQ(CTempDataFolder::ReadFile((out / path).string()),
                      CTempDataFolder::ReadFile(data.Path() + "/" + kind + "s/" + names[i]))
                << path;
        }
    }
    EXPECT_EQ(files[0]["image"].Str(), "images/a_b.png");
}

TEST_F(CliEndToEndTest, ThumbAndImageCommandsWriteTheFiles)
{
    StartServer({"--image-order", "reverse"});
    std::filesystem::create_directories(out);
    for (const std::string kind : {"thumb", "image"}) {
        const std::string file = (out / (kind + ".png")).string();
        const ProcessResult result = Cli({kind, "P10003_DX_1_1.png", "-o", file});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(CTempDataFolder::ReadFile(file),
                  CTempDataFolder::ReadFile(kSampleData + "/" + kind + "s/P10003_DX_1_1.png"));
    }
}

TEST_F(CliEndToEndTest, UnknownPatientExitsWithFour)
{
    StartServer();
    const ProcessResult result = Cli({"show", "NOBODY"});
    EXPECT_EQ(result.exitCode, 4) << result.err;
    EXPECT_NE(result.err.find("NOBODY"), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty());
}

TEST_F(CliEndToEndTest, MissingThumbnailOrImageExitsWithFive)
{
    StartServer();
    std::filesystem::create_directories(out);
    const ProcessResult thumb = Cli({"thumb", "nothing.png", "-o", (out / "t.png").string()});
    EXPECT_EQ(thumb.exitCode, 5) << thumb.err;
    const ProcessResult image = Cli({"image", "nothing.png", "-o", (out / "i.png").string()});
    EXPECT_EQ(image.exitCode, 5) << image.err;
    EXPECT_FALSE(std::filesystem::exists(out / "i.png"));
}

TEST_F(CliEndToEndTest, NameWithDotDotIsRefusedByTheServer)
{
    StartServer();
    std::filesystem::create_directories(out);
    const ProcessResult result =
        Cli({"thumb", "../patients/P10001.xml", "-o", (out / "x").string()});
    EXPECT_EQ(result.exitCode, 5) << result.err;
    EXPECT_NE(server.Log().find("refused"), std::string::npos) << server.Log();
}

TEST_F(CliEndToEndTest, RefusedConnectionExitsWithThree)
{
    const ProcessResult result = Cli({"show", "P10001"}, ClosedPort());
    EXPECT_EQ(result.exitCode, 3) << result.err;
    EXPECT_NE(result.err.find("cannot connect"), std::string::npos) << result.err;
}

TEST_F(CliEndToEndTest, BadArgumentsExitWithTwoBeforeConnecting)
{
    const ProcessResult result = Cli({"show"}, ClosedPort());
    EXPECT_EQ(result.exitCode, 2) << result.err;
    // An identifier code page 936 cannot hold.
    const ProcessResult emoji = Cli({"show", "\xf0\x9f\x98\x80"}, ClosedPort());
    EXPECT_EQ(emoji.exitCode, 2) << emoji.err;
}

}  // namespace
