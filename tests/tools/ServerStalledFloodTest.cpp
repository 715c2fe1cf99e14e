// The sample server against floods of connections that stall before completing a request: a
// new client takes a stalled one's place, so legitimate clients keep being served.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

#include "RawClient.h"
#include "ServerProcess.h"
#include "TempDataFolder.h"

using namespace korv::test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kHangGuard = std::chrono::seconds(30);
const std::string kSample = KORV_SAMPLE_DATA;

std::string ReadText(const std::string& path)
{
    const auto bytes = CTempDataFolder::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// Adds up the numbers that follow each marker in the log.
std::size_t SumAfter(const std::string& log, const std::string& marker)
{
    std::size_t total = 0;
    for (std::size_t at = log.find(marker); at != std::string::npos;
         at = log.find(marker, at + 1)) {
        total += std::stoul(log.substr(at + marker.size()));
    }
    return total;
}

// The server's "closed N connection(s) to make room (M had not completed a request)" lines.
std::size_t EvictionsLogged(const std::string& log)
{
    return SumAfter(log, " clients: closed ");
}

class ServerStalledFloodTest : public ::testing::Test {
protected:
    void SetUp() override { ::getrlimit(RLIMIT_NOFILE, &m_saved); }
    void TearDown() override
    {
        server.Stop();
        stalled.clear();
        ::setrlimit(RLIMIT_NOFILE, &m_saved);
    }

    // This process holds the flood's client ends: false when its hard limit forbids that many.
    bool RaiseOwnLimit(rlim_t needed)
    {
        rlimit raised = m_saved;
        if (raised.rlim_max != RLIM_INFINITY && raised.rlim_max < needed) {
            return false;
        }
        raised.rlim_cur = std::max(raised.rlim_cur, needed);
        return ::setrlimit(RLIMIT_NOFILE, &raised) == 0;
    }

    // A connection that sends one byte, or three of a frame's four header bytes, and stalls.
    void AddStalled(std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            auto client = std::make_unique<CRawClient>();
            ASSERT_TRUE(client->Connect(server.Port())) << "stalled connection " << i;
            const bool oneByte = stalled.size() % 2 == 0;
            ASSERT_TRUE(oneByte ? client->SendBytes({0x10})
                                : client->SendBytes({0x20, 0x00, 0x05}));
            stalled.push_back(std::move(client));
        }
    }

    // Keeps the stalled connections the server has not closed, as an attacker would.
    void DropClosed()
    {
        std::erase_if(stalled, [](const std::unique_ptr<CRawClient>& client) {
            pollfd fd{client->Fd(), POLLRDHUP, 0};
            return ::poll(&fd, 1, 0) > 0;
        });
    }

    void ExpectPatient(CRawClient& client, const std::string& id)
    {
        ASSERT_TRUE(client.SendQuery("HISID", id));
        const std::string expected = ReadText(kSample + "/patients/" + id + ".xml");
        std::string text;
        while (text.size() < expected.size()) {
            const auto frame = client.ReadFrame(kHangGuard);
            ASSERT_TRUE(frame) << "patient text, after " << text.size() << " bytes";
            const auto reply = CRawClient::ParseQueryReply(*frame);
            ASSERT_TRUE(reply);
            ASSERT_NE(reply->total, 0) << "an existing patient answered as missing";
            text += reply->text;
        }
        EXPECT_EQ(text, expected);
    }

    // The image's reply must be its bytes: never the answer for a missing file.
    void ReadImage(CRawClient& client, const std::string& name)
    {
        const auto expected = CTempDataFolder::ReadFile(kSample + "/images/" + name);
        std::vector<std::uint8_t> bytes(expected.size());
        std::size_t received = 0;
        while (received < expected.size()) {
            const auto frame = client.ReadFrame(kHangGuard);
            ASSERT_TRUE(frame) << name << ", after " << received << " bytes";
            const auto chunk = CRawClient::ParseImageData(*frame);
            ASSERT_TRUE(chunk);
            ASSERT_EQ(chunk->total, static_cast<std::int32_t>(expected.size()))
                << name << ": an existing image answered as missing";
            ASSERT_LE(chunk->offset + chunk->bytes.size(), bytes.size());
            std::copy(chunk->bytes.begin(), chunk->bytes.end(), bytes.begin() + chunk->offset);
            received += chunk->bytes.size();
        }
        EXPECT_EQ(bytes, expected) << name;
    }

    // A new client's patient document and one image; how long they took.
    Clock::duration ServeNewClient()
    {
        const auto start = Clock::now();
        CRawClient client;
        EXPECT_TRUE(client.Connect(server.Port()));
        ExpectPatient(client, "P10001");
        EXPECT_TRUE(client.SendImageRequest("P10001_CT_1_1.png"));
        ReadImage(client, "P10001_CT_1_1.png");
        return Clock::now() - start;
    }

    CServerProcess server;
    std::vector<std::unique_ptr<CRawClient>> stalled;

private:
    rlimit m_saved{};
};

TEST_F(ServerStalledFloodTest, WavesOfStalledConnectionsUnderA1024DescriptorLimitLockNobodyOut)
{
    constexpr std::size_t kWave = 1100;
    if (!RaiseOwnLimit(3 * kWave)) {
        GTEST_SKIP() << "the hard descriptor limit of this process is below " << 3 * kWave
                     << ", too few to hold the stalled connections";
    }
    // The time-outs are far away: only making room can let a new client in before them.
    server.LimitDescriptors(1024, 1024);
    ASSERT_TRUE(server.Start(kSample, {"--first-frame-timeout-ms", "60000"})) << server.Log();
    ASSERT_NE(server.Log().find("serving at most 504 clients at once (descriptor limit 1024)"),
              std::string::npos)
        << server.Log();

    // A client served before the flood asks for images while it goes on.
    CRawClient during;
    ASSERT_TRUE(during.Connect(server.Port()));
    ExpectPatient(during, "P10002");
    const std::vector<std::string> images = {"P10001_CT_1_1.png", "P10001_MR_1_1.png",
                                             "P10002_US_1_2.png", "P10005_DX_1_1.png"};
    std::size_t asked = 0;
    for (int wave = 1; wave <= 3; ++wave) {
        for (std::size_t sent = 0; sent < kWave; sent += 100) {
            const std::string& name = images[asked++ % images.size()];
            ASSERT_TRUE(during.SendImageRequest(name));
            AddStalled(100);
            ReadImage(during, name);
        }
        const auto took = ServeNewClient();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
        std::printf("[ measured ] wave %d: %zu stalled connections open, new client served in "
                    "%lld ms\n",
                    wave, stalled.size(), static_cast<long long>(ms));
        // Well before the 30 s idle time-out that used to be the only way in.
        EXPECT_LT(took, std::chrono::seconds(10)) << "wave " << wave;
        DropClosed();
    }
    const std::string log = server.Log();
    EXPECT_EQ(log.find(": missing"), std::string::npos) << log.substr(log.size() - 2000);
    EXPECT_NE(log.find(" clients: closed "), std::string::npos);
}

TEST_F(ServerStalledFloodTest, StalledClientsGiveWayOldestFirstAndServedOnesStay)
{
    server.LimitDescriptors(64, 64);
    ASSERT_TRUE(server.Start(kSample, {"--max-connections", "4", "--first-frame-timeout-ms",
                                       "600000", "--idle-timeout-ms", "600000"}))
        << server.Log();
    CRawClient idle;  // between requests
    ASSERT_TRUE(idle.Connect(server.Port()));
    ExpectPatient(idle, "P10001");
    CRawClient busy;  // with replies in progress that it does not read yet
    ASSERT_TRUE(busy.Connect(server.Port()));
    constexpr int kBusyImages = 20;
    for (int i = 0; i < kBusyImages; ++i) {
        ASSERT_TRUE(busy.SendImageRequest("P10001_CT_1_1.png"));
    }
    const auto first = busy.ReadFrame(kHangGuard);  // its requests have been read
    ASSERT_TRUE(first);
    const auto firstChunk = CRawClient::ParseImageData(*first);
    ASSERT_TRUE(firstChunk);
    constexpr std::size_t kStalled = 12;
    AddStalled(kStalled);

    // The oldest stalled ones went; the clients that completed requests are still served.
    EXPECT_TRUE(stalled.front()->WaitForClose());
    ExpectPatient(idle, "P10003");
    EXPECT_TRUE(idle.SendImageRequest("P10005_DX_1_1.png"));
    ReadImage(idle, "P10005_DX_1_1.png");
    const auto image = CTempDataFolder::ReadFile(kSample + "/images/P10001_CT_1_1.png");
    std::size_t received = firstChunk->bytes.size();
    const std::size_t owed = kBusyImages * image.size();
    while (received < owed) {
        const auto frame = busy.ReadFrame(kHangGuard);
        ASSERT_TRUE(frame) << "the busy client's replies, after " << received << " bytes";
        const auto chunk = CRawClient::ParseImageData(*frame);
        ASSERT_TRUE(chunk);
        ASSERT_EQ(chunk->total, static_cast<std::int32_t>(image.size()));
        received += chunk->bytes.size();
    }
    // Four places: the two clients and the two newest stalled ones; each count is logged.
    std::string log;
    for (int i = 0; i < 100 && EvictionsLogged(log = server.Log()) < kStalled - 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(EvictionsLogged(log), kStalled - 2) << log;
    EXPECT_EQ(SumAfter(log, "for new ones ("), kStalled - 2) << log;
}

TEST_F(ServerStalledFloodTest, DescriptorsRunningOutBelowTheConnectionLimitLockNobodyOut)
{
    // The server inherits 40 open descriptors, so accepting fails (EMFILE) well before the 24
    // clients its limit of 64 would carry.
    std::vector<int> inherited;
    for (int i = 0; i < 40; ++i) {
        inherited.push_back(::open("/dev/null", O_RDONLY));
        ASSERT_GE(inherited.back(), 0);
    }
    server.LimitDescriptors(64, 64);
    const bool started =
        server.Start(kSample, {"--first-frame-timeout-ms", "60000", "--idle-timeout-ms", "60000"});
    for (const int fd : inherited) {
        ::close(fd);
    }
    ASSERT_TRUE(started) << server.Log();
    // Served once before the descriptors run out: the undefined-behaviour sanitizer needs one
    // to check a virtual call the first time it sees the object's type.
    ServeNewClient();
    AddStalled(30);
    const auto took = ServeNewClient();
    EXPECT_LT(took, std::chrono::seconds(10)) << server.Log();
    CRawClient second;
    ASSERT_TRUE(second.Connect(server.Port())) << server.Log();
    ExpectPatient(second, "P10002");
    EXPECT_NE(server.Log().find("out of descriptors with "), std::string::npos) << server.Log();
}

TEST_F(ServerStalledFloodTest, ClientWithoutACompleteFirstFrameIsClosedInTime)
{
    ASSERT_TRUE(server.Start(kSample, {"--first-frame-timeout-ms", "300"})) << server.Log();
    CRawClient silent;
    ASSERT_TRUE(silent.Connect(server.Port()));
    CRawClient partial;
    ASSERT_TRUE(partial.Connect(server.Port()));
    ASSERT_TRUE(partial.SendBytes({0x20, 0x00}));
    CRawClient served;
    ASSERT_TRUE(served.Connect(server.Port()));
    ExpectPatient(served, "P10001");

    EXPECT_TRUE(silent.WaitForClose());
    EXPECT_TRUE(partial.WaitForClose());
    std::this_thread::sleep_for(std::chrono::milliseconds(600));  // twice the time-out
    ExpectPatient(served, "P10004");
    EXPECT_NE(server.Log().find("completed no frame within 300 ms of connecting"),
              std::string::npos)
        << server.Log();
}

TEST_F(ServerStalledFloodTest, TheSoftDescriptorLimitIsRaisedAndSizesTheConnectionLimit)
{
    server.LimitDescriptors(64, 1024);
    ASSERT_TRUE(server.Start(kSample)) << server.Log();
    EXPECT_NE(server.Log().find("serving at most 504 clients at once (descriptor limit 1024)"),
              std::string::npos)
        << server.Log();
    server.Stop();

    CServerProcess given;
    given.LimitDescriptors(1024, 1024);
    ASSERT_TRUE(given.Start(kSample, {"--max-connections", "10"})) << given.Log();
    EXPECT_NE(given.Log().find("serving at most 10 clients at once"), std::string::npos)
        << given.Log();
}

}  // namespace
