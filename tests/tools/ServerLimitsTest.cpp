// The sample server against clients that never read, stall in the middle of a frame or flood
// it with frames it ignores, under a low descriptor limit.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "DataFolder.h"
#include "MessageCodec.h"
#include "RawClient.h"
#include "RequestHandler.h"
#include "ServerOptions.h"
#include "ServerProcess.h"
#include "TempDataFolder.h"
#include "WireFormat.h"

using namespace korv::test;
using korv::server::CDataFolder;
using korv::server::CRequestHandler;
using korv::server::FileLookup;
using korv::server::Request;
using korv::server::ServerOptions;

namespace {

// Lowers the soft descriptor limit of this process while it lives (a child started meanwhile
// keeps the lower limit).
class DescriptorLimit {
public:
    explicit DescriptorLimit(rlim_t limit)
    {
        ::getrlimit(RLIMIT_NOFILE, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = limit;
        m_applied = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &m_saved); }
    bool Applied() const { return m_applied; }

private:
    rlimit m_saved{};
    bool m_applied = false;
};

std::size_t CountOf(const std::string& text, const std::string& what)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

class ServerLimitsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        data.Write("patients", "P1.xml", patient);
        data.Write("thumbs", "t.png", thumb);
        data.Write("images", "big.png", big);
        data.Write("images", "small.png", small);
    }

    void TearDown() override { server.Stop(); }

    // What a legitimate client must get, each answer complete and correct. Without the big
    // image every reply fits the socket buffers at once, so no reply waits on the client's
    // reading: for a short idle time-out, which a client kept from reading that long by the
    // machine's load would rightly run out.
    void ExpectServedCorrectly(CRawClient& client, bool withBigImage = true)
    {
        constexpr auto kHangGuard = std::chrono::seconds(30);
        ASSERT_TRUE(client.SendQuery("HISID", "P1"));
        std::string text;
        while (text.size() < patient.size()) {
            const auto frame = client.ReadFrame(kHangGuard);
            ASSERT_TRUE(frame) << "patient text, after " << text.size() << " bytes";
            const auto reply = CRawClient::ParseQueryReply(*frame);
            ASSERT_TRUE(reply);
            text += reply->text;
        }
        EXPECT_EQ(text, patient);

        ASSERT_TRUE(client.SendThumbRequest("t.png"));
        const auto thumbFrame = client.ReadFrame(kHangGuard);
        ASSERT_TRUE(thumbFrame);
        const auto thumbReply = CRawClient::ParseThumbData(*thumbFrame);
        ASSERT_TRUE(thumbReply);
        EXPECT_EQ(std::string(thumbReply->bytes.begin(), thumbReply->bytes.end()), thumb);

        for (const auto* image : {&big, &small}) {
            if (image == &big && !withBigImage) {
                continue;
            }
            ASSERT_TRUE(client.SendImageRequest(image == &big ? "big.png" : "small.png"));
            std::vector<std::uint8_t> bytes(image->size());
            std::size_t received = 0;
            while (received < image->size()) {
                const auto frame = client.ReadFrame(kHangGuard);
                ASSERT_TRUE(frame) << "image, after " << received << " bytes";
                const auto chunk = CRawClient::ParseImageData(*frame);
                ASSERT_TRUE(chunk);
                ASSERT_EQ(chunk->total, static_cast<std::int32_t>(image->size()))
                    << "an existing image answered as missing";
                ASSERT_LE(chunk->offset + chunk->bytes.size(), bytes.size());
                std::copy(chunk->bytes.begin(), chunk->bytes.end(), bytes.begin() + chunk->offset);
                received += chunk->bytes.size();
            }
            EXPECT_EQ(bytes, *image);
        }

        ASSERT_TRUE(client.SendImageRequest("missing.png"));
        const auto missing = client.ReadFrame(kHangGuard);
        ASSERT_TRUE(missing);
        const auto missingReply = CRawClient::ParseImageData(*missing);
        ASSERT_TRUE(missingReply);
        EXPECT_EQ(missingReply->total, 0);
    }

    CTempDataFolder data;
    const std::string patient = "<ROOT><P Name=\"x\"/></ROOT>";
    const std::string thumb = std::string(500, 't');
    const std::vector<std::uint8_t> big = CTempDataFolder::NoiseBytes(1 << 20, 11);
    const std::vector<std::uint8_t> small = CTempDataFolder::NoiseBytes(5000, 12);
    CServerProcess server;
};

TEST_F(ServerLimitsTest, ClientsThatNeverReadOrStallMidFrameDoNotLockOthersOut)
{
    // 64 descriptors leave room for 24 clients, each with a socket and an open file.
    server.LimitDescriptors(64, 64);
    ASSERT_TRUE(server.Start(data.Path(), {"--idle-timeout-ms", "1000"})) << server.Log();
    // More hostile clients than the server may serve at once: each non-reader pipelines more
    // image requests than a client may queue, each staller sends half a frame header.
    std::vector<std::unique_ptr<CRawClient>> hostile;
    for (int i = 0; i < 12; ++i) {
        auto client = std::make_unique<CRawClient>();
        ASSERT_TRUE(client->Connect(server.Port()));
        for (int request = 0; request < 300; ++request) {
            ASSERT_TRUE(client->SendImageRequest("big.png"));
        }
        hostile.push_back(std::move(client));
    }
    for (int i = 0; i < 30; ++i) {
        auto client = std::make_unique<CRawClient>();
        ASSERT_TRUE(client->Connect(server.Port()));
        ASSERT_TRUE(client->SendBytes({0x10}));
        hostile.push_back(std::move(client));
    }

    CRawClient legitimate;
    ASSERT_TRUE(legitimate.Connect(server.Port()));
    ExpectServedCorrectly(legitimate);

    // Served before the hostile clients time out: stalled ones gave way to it.
    std::string log;
    for (int i = 0; i < 200; ++i) {
        log = server.Log();
        if (log.find("took none of its replies") != std::string::npos &&
            log.find("left a frame unfinished") != std::string::npos) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_NE(log.find("took none of its replies"), std::string::npos) << log;
    EXPECT_NE(log.find("left a frame unfinished"), std::string::npos) << log;
    EXPECT_EQ(log.find("big.png\" 0/255/128: missing"), std::string::npos) << log;
}

TEST_F(ServerLimitsTest, IdleClientBetweenRequestsStaysConnectedAndAStalledFrameIsClosed)
{
    ASSERT_TRUE(server.Start(data.Path(), {"--idle-timeout-ms", "200"})) << server.Log();
    CRawClient idle;
    ASSERT_TRUE(idle.Connect(server.Port()));
    CRawClient stalled;
    ASSERT_TRUE(stalled.Connect(server.Port()));
    ASSERT_TRUE(stalled.SendBytes({0x20, 0x00, 0x05}));  // a frame cut inside its header
    EXPECT_TRUE(stalled.WaitForClose());

    ASSERT_TRUE(idle.SendThumbRequest("t.png"));
    ASSERT_TRUE(idle.ReadFrame());
    std::this_thread::sleep_for(
        std::chrono::milliseconds(600));  // three time-outs with nothing owed
    ExpectServedCorrectly(idle, false);
}

TEST_F(ServerLimitsTest, IgnoredFramesAreCountedNotLoggedOneByOne)
{
    ASSERT_TRUE(server.Start(data.Path())) << server.Log();
    CRawClient flooder;
    ASSERT_TRUE(flooder.Connect(server.Port()));
    std::vector<std::uint8_t> frames;
    constexpr int kIgnored = 5000;
    for (int i = 0; i < kIgnored; ++i) {
        frames.insert(frames.end(), {4, 0, 9, 0});  // type 9, empty payload
    }
    ASSERT_TRUE(flooder.SendBytes(frames));
    ASSERT_TRUE(flooder.SendThumbRequest("t.png"));
    ASSERT_TRUE(flooder.ReadFrame());  // every ignored frame has been read by now
    ::shutdown(flooder.Fd(), SHUT_WR);
    ASSERT_TRUE(flooder.WaitForClose());

    // Wait for the line the close writes, then add up the counts.
    std::string log;
    for (int i = 0; i < 100 && CountOf(log = server.Log(), " closed") == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::size_t counted = 0;
    std::size_t lines = 0;
    for (std::size_t at = log.find("ignored"); at != std::string::npos;
         at = log.find("ignored", at + 1)) {
        ++lines;
        const std::size_t lineStart = log.rfind('\n', at) + 1;
        const std::string head =
            log.substr(lineStart, at - lineStart);  // "... <peer> <count> messages "
        const std::size_t countEnd = head.rfind(" messages ");
        counted += countEnd == std::string::npos
                       ? 1
                       : std::stoul(head.substr(head.rfind(' ', countEnd - 1) + 1));
    }
    EXPECT_EQ(counted, static_cast<std::size_t>(kIgnored)) << log;
    EXPECT_LE(lines, 5u) << log;  // the first, one a second at most, and the one at close
}

// ---- in-process: a reply that finds no descriptor waits instead of saying "missing" ------

TEST_F(ServerLimitsTest, RequestWithoutADescriptorToSpareWaitsForOne)
{
    CDataFolder folder;
    std::string error;
    ASSERT_TRUE(folder.Open(data.Path(), error)) << error;
    ServerOptions options;
    CRequestHandler handler(folder, options);
    Request request;
    request.type = korv::server::MSG_IMAGE_REQUEST;
    request.name = "small.png";
    const auto job = handler.Handle(request, "test");
    ASSERT_TRUE(job);
    // Before the descriptors run out: the undefined-behaviour sanitizer needs one to check a
    // virtual call the first time it sees the object's type.
    EXPECT_FALSE(job->Done());

    std::vector<int> filler;
    {
        DescriptorLimit limit(64);
        ASSERT_TRUE(limit.Applied());
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) {
            filler.push_back(fd);
        }
        EXPECT_EQ(folder.OpenImage("small.png").status, FileLookup::Status::Busy);
        EXPECT_FALSE(job->Open());
        EXPECT_FALSE(job->Done());
        for (const int fd : filler) {
            ::close(fd);
        }
    }
    ASSERT_TRUE(job->Open());
    std::vector<std::uint8_t> out;
    job->AppendNextFrame(out);
    RawFrame frame;
    frame.type = static_cast<std::uint16_t>(out[2] | out[3] << 8);
    frame.payload.assign(out.begin() + 4, out.end());
    const auto chunk = CRawClient::ParseImageData(frame);
    ASSERT_TRUE(chunk);
    EXPECT_EQ(chunk->total, static_cast<std::int32_t>(small.size()));
}

}  // namespace
