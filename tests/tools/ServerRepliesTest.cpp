#include <gtest/gtest.h>

#include <map>

#include "RawClient.h"
#include "ServerProcess.h"
#include "TempDataFolder.h"

using namespace korv::test;

namespace {

// A patient text large enough to need several default-size chunks, in code page 936.
std::string LargePatientText()
{
    std::string text =
        "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n<ROOT><Patient Name=\"\xd5\xc5\xce\xb0\">";
    for (int i = 0; text.size() < 150000; ++i) {
        text += "<Field FieldName=\"f" + std::to_string(i) + "\" FieldValue=\"\xd6\xd0 &amp; " +
                std::to_string(i * 7) + "\"/>\r\n";
    }
    return text + "</Patient></ROOT>";
}

struct Image {
    std::vector<std::uint8_t> bytes;
    std::vector<ImageData> chunks;
};

// Reads chunks until they cover the announced total; fails on gaps, overlaps or overruns.
std::optional<Image> ReadImage(CRawClient& client, const std::string& name)
{
    Image image;
    std::map<std::int32_t, std::size_t> lengths;
    std::size_t received = 0;
    for (;;) {
        const auto frame = client.ReadFrame();
        if (!frame) {
            ADD_FAILURE() << "no further image chunk for " << name;
            return std::nullopt;
        }
        auto chunk = CRawClient::ParseImageData(*frame);
        if (!chunk || chunk->name != name || chunk->total < 0 || chunk->offset < 0 ||
            static_cast<std::size_t>(chunk->offset) + chunk->bytes.size() >
                static_cast<std::size_t>(chunk->total) ||
            lengths.count(chunk->offset) != 0) {
            ADD_FAILURE() << "bad image chunk for " << name;
            return std::nullopt;
        }
        if (image.bytes.empty()) {
            image.bytes.resize(static_cast<std::size_t>(chunk->total));
        }
        std::copy(chunk->bytes.begin(), chunk->bytes.end(), image.bytes.begin() + chunk->offset);
        lengths[chunk->offset] = chunk->bytes.size();
        received += chunk->bytes.size();
        image.chunks.push_back(std::move(*chunk));
        if (received >= static_cast<std::size_t>(image.chunks.front().total)) {
            break;
        }
    }
    // The chunks must tile the image from 0 without overlap.
    std::size_t position = 0;
    for (const auto& [offset, length] : lengths) {
        EXPECT_EQ(static_cast<std::size_t>(offset), position) << name;
        position += length;
    }
    EXPECT_EQ(position, image.bytes.size()) << name;
    return image;
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        patientText = LargePatientText();
        data.Write("patients", "P1.xml", patientText);
        data.Write("patients", "EMPTY.xml", "");
        thumb = CTempDataFolder::NoiseBytes(3000, 1);
        data.Write("thumbs", "t.png", thumb);
        data.Write("thumbs", "big.png", CTempDataFolder::NoiseBytes(70000, 2));
        image = CTempDataFolder::NoiseBytes(300001, 3);
        data.Write("images", "img.png", image);
        data.Write("images", "one.bin", std::vector<std::uint8_t>{42});
        data.Write("images", "empty.png", std::vector<std::uint8_t>{});
    }

    void StartServer(const std::vector<std::string>& options = {})
    {
        ASSERT_TRUE(server.Start(data.Path(), options)) << server.Log();
        ASSERT_TRUE(client.Connect(server.Port()));
    }

    void TearDown() override { server.Stop(); }

    CTempDataFolder data;
    std::string patientText;
    std::vector<std::uint8_t> thumb;
    std::vector<std::uint8_t> image;
    CServerProcess server;
    CRawClient client;
};

TEST_F(ServerTest, PatientTextComesInAscendingChunksThatEchoTheQuery)
{
    StartServer();
    ASSERT_TRUE(client.SendQuery("HISID", "P1"));
    std::string text;
    int chunks = 0;
    for (;;) {
        const auto frame = client.ReadFrame();
        ASSERT_TRUE(frame);
        const auto reply = CRawClient::ParseQueryReply(*frame);
        ASSERT_TRUE(reply) << "a chunk must carry no NUL of its own and end with one";
        EXPECT_EQ(reply->key, "HISID");
        EXPECT_EQ(reply->value, "P1");
        EXPECT_EQ(reply->total, static_cast<std::int32_t>(patientText.size()));
        ASSERT_EQ(reply->offset, static_cast<std::int32_t>(text.size())) << "chunk " << chunks;
        text += reply->text;
        ++chunks;
        if (reply->offset + static_cast<std::int32_t>(reply->text.size()) >= reply->total) {
            break;
        }
    }
    EXPECT_EQ(text, patientText);
    EXPECT_GE(chunks, 3);
}

TEST_F(ServerTest, ChunkSizeOptionBoundsTheTextChunks)
{
    StartServer({"--chunk-size", "1000"});
    ASSERT_TRUE(client.SendQuery("HISID", "P1"));
    std::string text;
    while (text.size() < patientText.size()) {
        const auto frame = client.ReadFrame();
        ASSERT_TRUE(frame);
        const auto reply = CRawClient::ParseQueryReply(*frame);
        ASSERT_TRUE(reply);
        ASSERT_EQ(reply->offset, static_cast<std::int32_t>(text.size()));
        ASSERT_LE(reply->text.size(), 1000u);
        ASSERT_FALSE(reply->text.empty());
        text += reply->text;
    }
    EXPECT_EQ(text, patientText);
}

TEST_F(ServerTest, UnknownPatientAndOtherKeysGetMarkupWithoutAPatient)
{
    StartServer();
    for (const auto& [key, value] : {std::pair{"HISID", "nobody"}, std::pair{"NAME", "P1"}}) {
        ASSERT_TRUE(client.SendQuery(key, value));
        const auto frame = client.ReadFrame();
        ASSERT_TRUE(frame);
        const auto reply = CRawClient::ParseQueryReply(*frame);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->key, key);
        EXPECT_EQ(reply->value, value);
        EXPECT_EQ(reply->total, 7);
        EXPECT_EQ(reply->offset, 0);
        EXPECT_EQ(reply->text, "<ROOT/>");
    }
}

TEST_F(ServerTest, EmptyPatientFileIsOneEmptyChunk)
{
    StartServer();
    ASSERT_TRUE(client.SendQuery("HISID", "EMPTY"));
    const auto frame = client.ReadFrame();
    ASSERT_TRUE(frame);
    const auto reply = CRawClient::ParseQueryReply(*frame);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->total, 0);
    EXPECT_EQ(reply->offset, 0);
    EXPECT_EQ(reply->text, "");
}

TEST_F(ServerTest, ThumbnailComesWholeAndMissingOrOversizedOnesAreEmpty)
{
    StartServer();
    ASSERT_TRUE(client.SendThumbRequest("t.png"));
    ASSERT_TRUE(client.SendThumbRequest("nothing.png"));
    ASSERT_TRUE(client.SendThumbRequest("big.png"));
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> expected = {
        {"t.png", thumb}, {"nothing.png", {}}, {"big.png", {}}};
    for (const auto& [name, bytes] : expected) {
        const auto frame = client.ReadFrame();
        ASSERT_TRUE(frame) << name;
        const auto reply = CRawClient::ParseThumbData(*frame);
        ASSERT_TRUE(reply) << name;
        EXPECT_EQ(reply->name, name);
        EXPECT_EQ(reply->bytes, bytes) << name;
    }
}

TEST_F(ServerTest, MissingOrEmptyImageIsTotalZeroInOneEmptyChunk)
{
    StartServer();
    for (const std::string name : {"nothing.png", "empty.png"}) {
        ASSERT_TRUE(client.SendImageRequest(name, 7, 8, 9));
        const auto frame = client.ReadFrame();
        ASSERT_TRUE(frame);
        const auto reply = CRawClient::ParseImageData(*frame);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->name, name);
        EXPECT_EQ(reply->params[0], 7);
        EXPECT_EQ(reply->params[1], 8);
        EXPECT_EQ(reply->params[2], 9);
        EXPECT_EQ(reply->total, 0);
        EXPECT_EQ(reply->offset, 0);
        EXPECT_TRUE(reply->bytes.empty());
    }
    // Nothing else was sent: the next frame answers the next request.
    ASSERT_TRUE(client.SendThumbRequest("t.png"));
    const auto frame = client.ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->type, 4);
}

TEST_F(ServerTest, PipelinedRequestsAreAnsweredInOrder)
{
    StartServer();
    ASSERT_TRUE(client.SendImageRequest("img.png"));
    ASSERT_TRUE(client.SendThumbRequest("t.png"));
    ASSERT_TRUE(client.SendImageRequest("one.bin"));
    const auto first = ReadImage(client, "img.png");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->bytes, image);
    const auto frame = client.ReadFrame();
    ASSERT_TRUE(frame);
    ASSERT_TRUE(CRawClient::ParseThumbData(*frame));
    const auto second = ReadImage(client, "one.bin");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->bytes, std::vector<std::uint8_t>{42});
}

TEST_F(ServerTest, ImageChunksEchoTheRequestParameters)
{
    StartServer();
    ASSERT_TRUE(client.SendImageRequest("img.png", 0, 255, 128));
    const auto result = ReadImage(client, "img.png");
    ASSERT_TRUE(result);
    for (const ImageData& chunk : result->chunks) {
        EXPECT_EQ(chunk.params[0], 0);
        EXPECT_EQ(chunk.params[1], 255);
        EXPECT_EQ(chunk.params[2], 128);
        EXPECT_EQ(chunk.total, 300001);
    }
}

TEST_F(ServerTest, ManyClientsAreServedAtOnce)
{
    StartServer();
    std::vector<std::unique_ptr<CRawClient>> clients;
    for (int i = 0; i < 20; ++i) {
        clients.push_back(std::make_unique<CRawClient>());
        ASSERT_TRUE(clients.back()->Connect(server.Port()));
        ASSERT_TRUE(clients.back()->SendImageRequest("img.png"));
    }
    for (auto& other : clients) {
        const auto result = ReadImage(*other, "img.png");
        ASSERT_TRUE(result);
        EXPECT_EQ(result->bytes, image);
    }
}

TEST_F(ServerTest, DelayedRepliesStillArriveWhole)
{
    StartServer({"--delay-ms", "20", "--chunk-size", "60000"});
    ASSERT_TRUE(client.SendImageRequest("img.png"));
    const auto result = ReadImage(client, "img.png");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->bytes, image);
}

struct OrderCase {
    std::string order;
    std::string chunkSize;  // empty: the default
};

void PrintTo(const OrderCase& value, std::ostream* out)
{
    *out << value.order << (value.chunkSize.empty() ? "" : " chunks of " + value.chunkSize);
}

class ServerImageOrderTest : public ServerTest, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(ServerImageOrderTest, ChunksCoverTheImageExactly)
{
    std::vector<std::string> options{"--image-order", GetParam().order};
    if (!GetParam().chunkSize.empty()) {
        options.insert(options.end(), {"--chunk-size", GetParam().chunkSize});
    }
    StartServer(options);
    ASSERT_TRUE(client.SendImageRequest("img.png"));
    const auto result = ReadImage(client, "img.png");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->bytes, image);
    ASSERT_GT(result->chunks.size(), 1u);
    const std::size_t limit =
        GetParam().chunkSize.empty() ? 65531 : std::stoul(GetParam().chunkSize);
    bool ascending = true;
    bool descending = true;
    for (std::size_t i = 0; i < result->chunks.size(); ++i) {
        EXPECT_LE(result->chunks[i].bytes.size(), limit);
        if (i > 0) {
            ascending = ascending && result->chunks[i].offset > result->chunks[i - 1].offset;
            descending = descending && result->chunks[i].offset < result->chunks[i - 1].offset;
        }
    }
    if (GetParam().order == "ascending") {
        EXPECT_TRUE(ascending);
    } else if (GetParam().order == "reverse") {
        EXPECT_TRUE(descending);
    } else if (result->chunks.size() >= 20) {
        // With few chunks a straight order is a legitimate shuffle; with many it means no shuffle.
        EXPECT_FALSE(ascending || descending) << "shuffle sent the chunks in a straight order";
    }
    // Small images come as one chunk in every order.
    ASSERT_TRUE(client.SendImageRequest("one.bin"));
    const auto one = ReadImage(client, "one.bin");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->chunks.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, ServerImageOrderTest,
    ::testing::Values(OrderCase{"ascending", ""}, OrderCase{"reverse", ""},
                      OrderCase{"shuffle", ""}, OrderCase{"ascending", "4096"},
                      OrderCase{"reverse", "4096"}, OrderCase{"shuffle", "4096"}),
    [](const auto& info) {
        return info.param.order + (info.param.chunkSize.empty() ? "" : "_" + info.param.chunkSize);
    });

}  // namespace
