#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/socket.h>
#include <unistd.h>

#include "RawClient.h"
#include "ServerProcess.h"
#include "TempDataFolder.h"

using namespace korv::test;

namespace {

class ServerSafetyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        data.Write("patients", "P1.xml", "<ROOT><P Name=\"x\"/></ROOT>");
        data.Write("patients", ".hidden.xml", "<ROOT><P Name=\"hidden\"/></ROOT>");
        data.Write("thumbs", "t.png", std::string(500, 't'));
        data.Write("thumbs", ".hidden.png", std::string(500, 'h'));
        data.Write("images", "img.png", std::string(5000, 'i'));
        secret = outside.Write("", "secret.png", std::string(800, 's'));
    }

    void StartServer(const std::vector<std::string>& options = {})
    {
        ASSERT_TRUE(server.Start(data.Path(), options)) << server.Log();
        ASSERT_TRUE(client.Connect(server.Port()));
    }

    void TearDown() override { server.Stop(); }

    // What a refused name must look like to the client: the answer for a missing file.
    void ExpectThumbRefused(const std::string& name)
    {
        ASSERT_TRUE(client.SendThumbRequest(name));
        const auto frame = client.ReadFrame();
        ASSERT_TRUE(frame) << name;
        const auto reply = CRawClient::ParseThumbData(*frame);
        ASSERT_TRUE(reply) << name;
        EXPECT_EQ(reply->name, name);
        EXPECT_TRUE(reply->bytes.empty()) << name;
    }

    void ExpectImageRefused(const std::string& name)
    {
        ASSERT_TRUE(client.SendImageRequest(name));
        const auto frame = client.ReadFrame();
        ASSERT_TRUE(frame) << name;
        const auto reply = CRawClient::ParseImageData(*frame);
        ASSERT_TRUE(reply) << name;
        EXPECT_EQ(reply->total, 0) << name;
        EXPECT_TRUE(reply->bytes.empty()) << name;
    }

    void ExpectPatientRefused(const std::string& id)
    {
        ASSERT_TRUE(client.SendQuery("HISID", id));
        const auto frame = client.ReadFrame();
        ASSERT_TRUE(frame) << id;
        const auto reply = CRawClient::ParseQueryReply(*frame);
        ASSERT_TRUE(reply) << id;
        EXPECT_EQ(reply->text, "<ROOT/>") << id;
    }

    CTempDataFolder data;
    CTempDataFolder outside;
    std::string secret;
    CServerProcess server;
    CRawClient client;
};

TEST_F(ServerSafetyTest, PathsOutOfTheFolderAreRefused)
{
    StartServer();
    const std::string relativeSecret =
        "../../" + outside.Path().substr(5) + "/secret.png";  // from <data>/thumbs
    for (const std::string& name :
         {std::string(".."), std::string("."), std::string("../patients/P1.xml"), relativeSecret,
          secret, std::string("/etc/passwd"), std::string("..\\t.png"), std::string(".hidden.png"),
          std::string("")}) {
        ExpectThumbRefused(name);
        ExpectImageRefused(name);
    }
    ExpectPatientRefused("../patients/P1");
    ExpectPatientRefused(".hidden");
    ExpectPatientRefused(secret.substr(0, secret.size() - 4));
    // Refusals are logged as such.
    EXPECT_NE(server.Log().find("refused"), std::string::npos);
}

TEST_F(ServerSafetyTest, LinksAndFoldersAreRefused)
{
    ASSERT_EQ(::symlink(secret.c_str(), (data.Path() + "/thumbs/out.png").c_str()), 0);
    ASSERT_EQ(::symlink("t.png", (data.Path() + "/thumbs/alias.png").c_str()), 0);
    ASSERT_EQ(::symlink(secret.c_str(), (data.Path() + "/images/out.png").c_str()), 0);
    ASSERT_EQ(::symlink(secret.c_str(), (data.Path() + "/patients/LINK.xml").c_str()), 0);
    std::filesystem::create_directory(data.Path() + "/images/dir.png");
    StartServer();
    ExpectThumbRefused("out.png");
    ExpectThumbRefused("alias.png");
    ExpectImageRefused("out.png");
    ExpectImageRefused("dir.png");
    ExpectPatientRefused("LINK");
    EXPECT_NE(server.Log().find("symbolic link"), std::string::npos) << server.Log();
}

TEST_F(ServerSafetyTest, SymlinkInACopyOfTheSampleDataIsRefused)
{
    CTempDataFolder copy;
    copy.CopyFrom(KORV_SAMPLE_DATA);
    ASSERT_TRUE(std::filesystem::remove(copy.Path() + "/images/P10001_CT_1_1.png"))
        << "sample image missing";
    ASSERT_EQ(::symlink(secret.c_str(), (copy.Path() + "/images/P10001_CT_1_1.png").c_str()), 0);
    ASSERT_TRUE(server.Start(copy.Path())) << server.Log();
    ASSERT_TRUE(client.Connect(server.Port()));
    ExpectImageRefused("P10001_CT_1_1.png");
}

TEST_F(ServerSafetyTest, MalformedFramesCloseOnlyTheirOwnClient)
{
    StartServer();
    CRawClient bystander;
    ASSERT_TRUE(bystander.Connect(server.Port()));

    const std::vector<std::vector<std::uint8_t>> malformed = {
        {2, 0, 1, 0},                             // length word below 4
        {9, 0, 3, 0, 'a', '.', 'p', 'n', 'g'},    // thumbnail name without NUL
        {8, 0, 1, 0, 'K', 0, 'V', 'V'},           // query value without NUL
        {11, 0, 5, 0, 'a', 0, 0, 0, 0, 0, 0xff},  // image request cut short
    };
    for (const auto& bytes : malformed) {
        CRawClient offender;
        ASSERT_TRUE(offender.Connect(server.Port()));
        ASSERT_TRUE(offender.SendBytes(bytes));
        EXPECT_TRUE(offender.WaitForClose()) << "frame of " << bytes.size() << " bytes";
    }
    // The other clients, connected before and after, are served as usual.
    ASSERT_TRUE(bystander.SendThumbRequest("t.png"));
    const auto frame = bystander.ReadFrame();
    ASSERT_TRUE(frame);
    ASSERT_TRUE(CRawClient::ParseThumbData(*frame));
    EXPECT_EQ(CRawClient::ParseThumbData(*frame)->bytes.size(), 500u);
    ExpectThumbRefused("nothing.png");
}

TEST_F(ServerSafetyTest, UnknownMessageTypesAreIgnored)
{
    StartServer();
    ASSERT_TRUE(client.SendFrame(0, {}));
    ASSERT_TRUE(client.SendFrame(9, {1, 2, 3}));
    ASSERT_TRUE(client.SendFrame(2, {'x'}));  // a reply type coming from a client
    ASSERT_TRUE(client.SendThumbRequest("t.png"));
    const auto frame = client.ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->type, 4);
}

TEST_F(ServerSafetyTest, SlowReaderDoesNotHoldUpOthers)
{
    data.Write("images", "huge.png", CTempDataFolder::NoiseBytes(8 << 20, 5));
    StartServer();
    CRawClient slow;
    ASSERT_TRUE(slow.Connect(server.Port()));
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(slow.SendImageRequest("huge.png"));
    }
    // slow reads nothing yet; its 32 MB cannot all fit in the socket buffers.
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(client.SendQuery("HISID", "P1"));
        const auto frame = client.ReadFrame(std::chrono::seconds(10));
        ASSERT_TRUE(frame) << "a client was held up by one that does not read";
        ASSERT_TRUE(CRawClient::ParseQueryReply(*frame));
    }
    // And the slow client still gets every byte once it reads.
    std::size_t received = 0;
    while (received < 4u * (8u << 20)) {
        const auto frame = slow.ReadFrame();
        ASSERT_TRUE(frame) << "after " << received << " bytes";
        const auto chunk = CRawClient::ParseImageData(*frame);
        ASSERT_TRUE(chunk);
        received += chunk->bytes.size();
    }
    EXPECT_EQ(received, 4u * (8u << 20));
}

TEST_F(ServerSafetyTest, ClientThatStopsSendingStillGetsItsReplies)
{
    StartServer();
    ASSERT_TRUE(client.SendImageRequest("img.png"));
    ASSERT_TRUE(client.SendThumbRequest("t.png"));
    ASSERT_EQ(::shutdown(client.Fd(), SHUT_WR), 0);
    const auto image = client.ReadFrame();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->type, 6);
    const auto thumb = client.ReadFrame();
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->type, 4);
    EXPECT_TRUE(client.WaitForClose());
}

TEST_F(ServerSafetyTest, StopsCleanlyOnSigintAndSigterm)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        CServerProcess one;
        ASSERT_TRUE(one.Start(data.Path())) << one.Log();
        CRawClient connected;
        ASSERT_TRUE(connected.Connect(one.Port()));
        EXPECT_EQ(one.Stop(signal), 0) << one.Log();
    }
}

TEST_F(ServerSafetyTest, PortInUseFailsWithAMessage)
{
    StartServer();
    const ProcessResult second = RunProcess({CServerProcess::ExecutablePath(), "--data",
                                             data.Path(), "--port", std::to_string(server.Port())},
                                            std::chrono::seconds(10));
    ASSERT_TRUE(second.exitCode);
    EXPECT_NE(*second.exitCode, 0);
    EXPECT_NE(second.err.find("in use"), std::string::npos) << second.err;
    EXPECT_EQ(second.out.find("listening"), std::string::npos);
}

TEST_F(ServerSafetyTest, BadDataFolderOrOptionsFailWithAMessage)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--data", "/nonexistent/korv-data", "--port", "0"},
        {"--data", data.Path() + "/patients", "--port", "0"},
        {"--port", "0"},
        {"--data", data.Path(), "--port", "0", "--bind", "not-an-address"},
        {"--data", data.Path(), "--port", "0", "--chunk-size", "0"},
    };
    for (const auto& args : bad) {
        std::vector<std::string> argv{CServerProcess::ExecutablePath()};
        argv.insert(argv.end(), args.begin(), args.end());
        const ProcessResult result = RunProcess(argv, std::chrono::seconds(10));
        ASSERT_TRUE(result.exitCode) << ::testing::PrintToString(args);
        EXPECT_NE(*result.exitCode, 0) << ::testing::PrintToString(args);
        EXPECT_NE(result.err.find("korvanelle-server: "), std::string::npos) << result.err;
    }
}

}  // namespace
