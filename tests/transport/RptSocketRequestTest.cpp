#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LoopbackFixture.h"
#include "transport/MsgTypes.h"

namespace {

class RptSocketRequestTest : public LoopbackFixture {
protected:
    // Reads one whole frame of `size` bytes and lets the socket finish sending it.
    Bytes TakeFrame(size_t size)
    {
        Bytes got = PeerReads(size);
        EXPECT_TRUE(PumpUntil(m_loop, [&] { return !m_socket.IsSendPending(); }));
        return got;
    }
};

TEST_F(RptSocketRequestTest, PatientQueryIsASixteenByteFrameOfTypeOne)
{
    ASSERT_TRUE(m_socket.SendQuery("HISID", "12345"));
    const Bytes expected{16, 0, 1, 0, 'H', 'I', 'S', 'I', 'D', 0, '1', '2', '3', '4', '5', 0};
    EXPECT_EQ(TakeFrame(16), expected);
}

TEST_F(RptSocketRequestTest, EmptyTextsStillCarryTheirNuls)
{
    ASSERT_TRUE(m_socket.SendQuery("", ""));
    EXPECT_EQ(TakeFrame(6), (Bytes{6, 0, 1, 0, 0, 0}));
}

TEST_F(RptSocketRequestTest, ThumbnailRequestIsTheNameWithItsNul)
{
    ASSERT_TRUE(m_socket.SendThumbRequest("t1.jpg"));
    EXPECT_EQ(TakeFrame(11), (Bytes{11, 0, 3, 0, 't', '1', '.', 'j', 'p', 'g', 0}));
}

TEST_F(RptSocketRequestTest, ImageRequestIsTheNameAndThreeLittleEndianIntegers)
{
    ASSERT_TRUE(m_socket.SendImageRequest("img", 0, 255, 128));
    EXPECT_EQ(TakeFrame(20),
              (Bytes{20, 0, 5, 0, 'i', 'm', 'g', 0, 0, 0, 0, 0, 255, 0, 0, 0, 128, 0, 0, 0}));
}

TEST_F(RptSocketRequestTest, NegativeIntegersAreTwosComplement)
{
    ASSERT_TRUE(m_socket.SendImageRequest("", -1, -2, 0x01020304));
    EXPECT_EQ(TakeFrame(17),
              (Bytes{17, 0, 5, 0, 0, 0xff, 0xff, 0xff, 0xff, 0xfe, 0xff, 0xff, 0xff, 4, 3, 2, 1}));
}

TEST_F(RptSocketRequestTest, NullTextsAreRefusedWithoutSending)
{
    EXPECT_FALSE(m_socket.SendQuery(nullptr, "1"));
    EXPECT_FALSE(m_socket.SendQuery("HISID", nullptr));
    EXPECT_FALSE(m_socket.SendThumbRequest(nullptr));
    EXPECT_FALSE(m_socket.SendImageRequest(nullptr, 0, 255, 128));
    ASSERT_TRUE(m_socket.SendThumbRequest("n"));
    EXPECT_EQ(TakeFrame(6), (Bytes{6, 0, 3, 0, 'n', 0}));
    EXPECT_TRUE(m_sink.m_calls.empty());
}

TEST_F(RptSocketRequestTest, ThumbnailNameMayFillTheLargestPayloadAndNoMore)
{
    EXPECT_FALSE(m_socket.SendThumbRequest(std::string(65531, 'n').c_str()));
    ASSERT_TRUE(m_socket.SendThumbRequest(std::string(65530, 'n').c_str()));
    const Bytes got = TakeFrame(65535);
    ASSERT_EQ(got.size(), 65535u);
    EXPECT_EQ(got[0], 0xff);
    EXPECT_EQ(got[1], 0xff);
    EXPECT_EQ(got.back(), 0);
}

TEST_F(RptSocketRequestTest, ImageNameMayFillTheLargestPayloadAndNoMore)
{
    EXPECT_FALSE(m_socket.SendImageRequest(std::string(65519, 'i').c_str(), 0, 255, 128));
    ASSERT_TRUE(m_socket.SendImageRequest(std::string(65518, 'i').c_str(), 0, 255, 128));
    const Bytes got = TakeFrame(65535);
    ASSERT_EQ(got.size(), 65535u);
    EXPECT_EQ(Bytes(got.end() - 13, got.end()), (Bytes{0, 0, 0, 0, 0, 255, 0, 0, 0, 128, 0, 0, 0}));
}

TEST_F(RptSocketRequestTest, QueryTextsMayFillTheLargestPayloadAndNoMore)
{
    const std::string key(30000, 'k');
    EXPECT_FALSE(m_socket.SendQuery(key.c_str(), std::string(35530, 'v').c_str()));
    ASSERT_TRUE(m_socket.SendQuery(key.c_str(), std::string(35529, 'v').c_str()));
    EXPECT_EQ(TakeFrame(65535).size(), 65535u);
}

TEST_F(RptSocketRequestTest, MalformedFrameIsDroppedAndTheStreamStaysInStep)
{
    Bytes stream =
        Frame(MSG_THUMB_DATA, CPayloadBuilder().Str("bad").U16(50).Raw(Bytes{1, 2}).Get());
    const Bytes good = Frame(MSG_THUMB_DATA, ThumbDataPayload("good", Bytes{9}));
    stream.insert(stream.end(), good.begin(), good.end());
    ASSERT_TRUE(m_peer.Write(stream));
    ASSERT_TRUE(PumpUntilFrames(2));
    EXPECT_EQ(m_sink.m_calls, std::vector<std::string>{"thumb|good|1|09"});
}

// Requests one way, replies the other, over a real connection between two client sockets:
// the decoder works in either direction, so a test server can be built on it.
TEST(RptSocketRoundTripTest, AllSixMessagesTravelBetweenTwoSockets)
{
    class CListener : public CAsyncSocket {
    public:
        explicit CListener(CAsyncSocket& into) : m_into(into) {}

    protected:
        void OnAccept(int) override { Accept(m_into); }

    private:
        CAsyncSocket& m_into;
    };

    CMessageLoop loop;
    loop.Attach();
    CRecordingSink clientSink;
    CRecordingSink serverSink;
    CRptSocket client;
    CRptSocket server;
    CListener listener(server);
    client.SetSink(&clientSink);
    server.SetSink(&serverSink);
    ASSERT_TRUE(listener.Listen("127.0.0.1", 0));
    ASSERT_TRUE(client.Create());
    client.Connect("127.0.0.1", listener.LocalPort());
    ASSERT_TRUE(PumpUntil(loop, [&] { return clientSink.Has("connect|0") && server.IsOpen(); }));

    auto sendAndWait = [&](bool sent) {
        ASSERT_TRUE(sent);
        ASSERT_TRUE(
            PumpUntil(loop, [&] { return !client.IsSendPending() && !server.IsSendPending(); }));
    };
    sendAndWait(client.SendQuery("HISID", "12345"));
    sendAndWait(client.SendThumbRequest("t1"));
    sendAndWait(client.SendImageRequest("i1", 0, 255, 128));
    const Bytes reply = QueryReplyPayload("HISID", "12345", 5, 0, "<a/>x");
    const Bytes thumb = ThumbDataPayload("t1", Bytes{0xff, 0xd8});
    const Bytes image = ImageDataPayload("i1", 0, 255, 128, 4, 2, Bytes{7, 8});
    sendAndWait(
        server.SendMsg(MSG_QUERY_REPLY, reply.data(), static_cast<std::uint16_t>(reply.size())));
    sendAndWait(
        server.SendMsg(MSG_THUMB_DATA, thumb.data(), static_cast<std::uint16_t>(thumb.size())));
    sendAndWait(
        server.SendMsg(MSG_IMAGE_DATA, image.data(), static_cast<std::uint16_t>(image.size())));

    ASSERT_TRUE(PumpUntil(
        loop, [&] { return serverSink.m_calls.size() >= 3 && clientSink.m_calls.size() >= 4; }));
    EXPECT_EQ(serverSink.m_calls, (std::vector<std::string>{"query|HISID|12345", "thumbreq|t1",
                                                            "imagereq|i1|0|255|128"}));
    EXPECT_EQ(clientSink.m_calls,
              (std::vector<std::string>{"connect|0", "reply|HISID|12345|5|0|<a/>x",
                                        "thumb|t1|2|ffd8", "image|i1|0|255|128|4|2|2|0708"}));
}

}  // namespace
