#include <gtest/gtest.h>

#include "LoopbackFixture.h"
#include "transport/MsgTypes.h"

namespace {

using MsgSocketSendTest = LoopbackFixture;

TEST_F(MsgSocketSendTest, LargestPayloadTravelsAsA65535ByteFrame)
{
    const Bytes payload = Pattern(65531, 1);
    ASSERT_TRUE(m_socket.SendMsg(MSG_THUMB_DATA, payload.data(), 65531));
    const Bytes got = PeerReads(65535);
    EXPECT_EQ(got, RawFrame(0xFFFF, MSG_THUMB_DATA, payload));
}

TEST_F(MsgSocketSendTest, PayloadOver65531BytesIsRefusedAndNothingIsSent)
{
    const Bytes payload = Pattern(65532, 2);
    EXPECT_FALSE(m_socket.SendMsg(MSG_THUMB_DATA, payload.data(), 65532));
    EXPECT_FALSE(m_socket.SendMsg(MSG_THUMB_DATA, payload.data(), 0xFFFF));
    // The next frame is the first thing on the wire.
    ASSERT_TRUE(m_socket.SendMsg(MSG_QUERY, "k\0v", 4));
    EXPECT_EQ(PeerReads(8), Frame(MSG_QUERY, Bytes{'k', 0, 'v', 0}));
    EXPECT_TRUE(m_sink.m_calls.empty());
}

TEST_F(MsgSocketSendTest, EmptyPayloadIsAFourByteFrameButNullIsRefused)
{
    EXPECT_FALSE(m_socket.SendMsg(MSG_QUERY, nullptr, 0));
    EXPECT_FALSE(m_socket.SendMsg(MSG_QUERY, nullptr, 5));
    const unsigned char none = 0;
    ASSERT_TRUE(m_socket.SendMsg(7, &none, 0));
    EXPECT_EQ(PeerReads(4), (Bytes{4, 0, 7, 0}));
}

// The buffer's growth and reuse are FrameEncoderTest's; here the frames it held must all
// reach the peer whole.
TEST_F(MsgSocketSendTest, FramesOfChangingSizesTravelWhole)
{
    const Bytes big = Pattern(300, 3);
    Bytes expected;
    for (std::uint16_t size : {std::uint16_t{100}, std::uint16_t{10}, std::uint16_t{300}}) {
        ASSERT_TRUE(m_socket.SendMsg(MSG_THUMB_DATA, big.data(), size));
        const Bytes f = Frame(MSG_THUMB_DATA, Bytes(big.begin(), big.begin() + size));
        expected.insert(expected.end(), f.begin(), f.end());
    }
    EXPECT_EQ(PeerReads(expected.size()), expected);
}

// A peer that does not read, with small buffers on both sides, so sending blocks.
class MsgSocketPendingTest : public LoopbackFixture {
protected:
    void SetUp() override
    {
        Connect(m_smallWindow);
        ASSERT_TRUE(m_socket.SetSendBufferSize(4096));
    }
    RawListener m_smallWindow{4096};
};

TEST_F(MsgSocketPendingTest, SecondFrameIsRefusedWhileOneIsPendingAndAcceptedAfterOnSend)
{
    std::vector<Bytes> sent;
    while (!m_socket.IsSendPending() && sent.size() < 64) {
        sent.push_back(Pattern(kMsgMaxPayload, static_cast<unsigned>(sent.size())));
        ASSERT_TRUE(m_socket.SendMsg(MSG_IMAGE_DATA, sent.back().data(), kMsgMaxPayload));
    }
    ASSERT_TRUE(m_socket.IsSendPending());

    const Bytes refused = Pattern(100, 99);
    EXPECT_FALSE(m_socket.SendMsg(MSG_QUERY, refused.data(), 100));
    EXPECT_TRUE(m_socket.IsSendPending());

    // The peer drains; OnSend finishes the pending frame.
    Bytes expected;
    for (const Bytes& payload : sent) {
        const Bytes f = Frame(MSG_IMAGE_DATA, payload);
        expected.insert(expected.end(), f.begin(), f.end());
    }
    const Bytes got = PeerReads(expected.size());
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected) << "the pending frame was altered";
    ASSERT_TRUE(PumpUntil(m_loop, [&] { return !m_socket.IsSendPending(); }));

    ASSERT_TRUE(m_socket.SendMsg(MSG_THUMB_REQUEST, "n", 2));
    EXPECT_EQ(PeerReads(6), Frame(MSG_THUMB_REQUEST, Bytes{'n', 0}));
}

using MsgSocketReceiveTest = LoopbackFixture;

TEST_F(MsgSocketReceiveTest, HeaderArrivingOneBytePerNotificationIsNotOverread)
{
    const Bytes first = Frame(MSG_THUMB_REQUEST, ToBytes(std::string("name", 5)));
    const Bytes second = Frame(MSG_THUMB_REQUEST, ToBytes(std::string("next", 5)));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(m_peer.Write(&first[i], 1));
        ASSERT_TRUE(PumpUntil(m_loop, [&] { return m_socket.m_nNotifications == i + 1; }));
    }
    // The last header byte comes with the body and the whole next frame behind it.
    Bytes rest(first.begin() + 3, first.end());
    rest.insert(rest.end(), second.begin(), second.end());
    ASSERT_TRUE(m_peer.Write(rest));
    ASSERT_TRUE(PumpUntilFrames(2));

    // One read per notification, each for what the frame lacks: the header's last byte (4),
    // the first body (5), the next header (6), the next body (7).
    EXPECT_EQ(m_socket.m_frames[0].notification, 5);
    EXPECT_EQ(m_socket.m_frames[1].notification, 7);
    EXPECT_EQ(m_socket.m_nNotifications, 7);
    EXPECT_EQ(m_sink.m_calls, (std::vector<std::string>{"thumbreq|name", "thumbreq|next"}));
}

TEST_F(MsgSocketReceiveTest, TwoFramesInOneSegmentAreDeliveredSeparatelyInOrder)
{
    Bytes both = Frame(MSG_QUERY, ToBytes(std::string("a\0b", 4)));
    const Bytes second = Frame(MSG_QUERY, ToBytes(std::string("c\0d", 4)));
    both.insert(both.end(), second.begin(), second.end());
    ASSERT_TRUE(m_peer.Write(both));
    ASSERT_TRUE(PumpUntilFrames(2));
    ASSERT_EQ(m_socket.m_frames.size(), 2u);
    EXPECT_LT(m_socket.m_frames[0].notification, m_socket.m_frames[1].notification);
    EXPECT_EQ(m_sink.m_calls, (std::vector<std::string>{"query|a|b", "query|c|d"}));
}

TEST_F(MsgSocketReceiveTest, LengthFourFrameIsDeliveredEmptyByItsHeaderNotification)
{
    ASSERT_TRUE(m_peer.Write(Bytes{4, 0, 9, 0}));
    ASSERT_TRUE(PumpUntilFrames(1));
    EXPECT_EQ(m_socket.m_frames[0].type, 9);
    EXPECT_TRUE(m_socket.m_frames[0].payload.empty());
    EXPECT_EQ(m_socket.m_frames[0].notification, 1);
    EXPECT_TRUE(m_sink.m_calls.empty());  // type 9 means nothing to the decoder
}

// The buffer's growth and reuse are FrameAssemblerTest's; here the frames must arrive whole.
TEST_F(MsgSocketReceiveTest, FramesOfChangingSizesArriveWhole)
{
    Bytes stream = Frame(MSG_THUMB_DATA, Pattern(200, 1));
    for (const Bytes& f :
         {Frame(MSG_THUMB_DATA, Pattern(20, 2)), Frame(MSG_THUMB_DATA, Pattern(300, 3))})
        stream.insert(stream.end(), f.begin(), f.end());
    ASSERT_TRUE(m_peer.Write(stream));
    ASSERT_TRUE(PumpUntilFrames(3));
    EXPECT_EQ(m_socket.m_frames[0].payload, Pattern(200, 1));
    EXPECT_EQ(m_socket.m_frames[1].payload, Pattern(20, 2));
    EXPECT_EQ(m_socket.m_frames[2].payload, Pattern(300, 3));
}

TEST_F(MsgSocketReceiveTest, StreamEndingInsideTheBodyReportsErrorAndNoMessage)
{
    const Bytes frame = Frame(MSG_THUMB_REQUEST, ToBytes(std::string("truncated", 10)));
    ASSERT_TRUE(m_peer.Write(frame.data(), 8));
    m_peer.Close();
    ASSERT_TRUE(PumpUntil(m_loop, [&] { return m_sink.HasKind("error"); }));
    PumpFor(m_loop, 20);
    EXPECT_TRUE(m_socket.m_frames.empty());
    EXPECT_TRUE(m_sink.Has("error|-1"));
    EXPECT_FALSE(m_sink.HasKind("thumbreq"));
}

TEST_F(MsgSocketReceiveTest, StreamEndingInsideTheHeaderReportsErrorAndNoMessage)
{
    ASSERT_TRUE(m_peer.Write(Bytes{9, 0}));
    m_peer.Close();
    ASSERT_TRUE(PumpUntil(m_loop, [&] { return m_sink.HasKind("error"); }));
    EXPECT_TRUE(m_socket.m_frames.empty());
    EXPECT_TRUE(m_sink.Has("error|-1"));
}

TEST_F(MsgSocketReceiveTest, LengthWordBelowFourClosesTheSocketAndReportsError)
{
    // Followed by bytes that must never be taken as a frame.
    Bytes broken{3, 0, 1, 0};
    const Bytes valid = Frame(MSG_THUMB_REQUEST, Bytes{'x', 0});
    broken.insert(broken.end(), valid.begin(), valid.end());
    ASSERT_TRUE(m_peer.Write(broken));
    ASSERT_TRUE(PumpUntil(m_loop, [&] { return m_sink.HasKind("error"); }));
    PumpFor(m_loop, 20);
    EXPECT_EQ(m_sink.m_calls, std::vector<std::string>{"error|-1"});
    EXPECT_FALSE(m_socket.IsOpen());
    EXPECT_TRUE(m_socket.m_frames.empty());
}

TEST_F(MsgSocketReceiveTest, ZeroLengthWordIsBrokenToo)
{
    ASSERT_TRUE(m_peer.Write(Bytes{0, 0, 0, 0}));
    ASSERT_TRUE(PumpUntil(m_loop, [&] { return m_sink.HasKind("error"); }));
    EXPECT_EQ(m_sink.m_calls, std::vector<std::string>{"error|-1"});
    EXPECT_FALSE(m_socket.IsOpen());
}

using MsgSocketCloseTest = LoopbackFixture;

TEST_F(MsgSocketCloseTest, SinkHearsOfTheCloseBeforeTheSocketCountsAsClosed)
{
    m_peer.Close();
    ASSERT_TRUE(PumpUntil(m_loop, [&] { return m_sink.HasKind("close"); }));
    EXPECT_EQ(m_sink.m_calls, std::vector<std::string>{"close|0"});  // clean end: no error
    EXPECT_EQ(m_sink.m_closedAtClose, std::vector<bool>{false});
    EXPECT_TRUE(m_socket.IsClosed());
}

TEST_F(MsgSocketCloseTest, SendMsgIsRefusedAfterOnClose)
{
    m_peer.Close();
    ASSERT_TRUE(PumpUntil(m_loop, [&] { return m_sink.HasKind("close"); }));
    EXPECT_FALSE(m_socket.SendMsg(MSG_QUERY, "k\0v", 4));
    EXPECT_FALSE(m_socket.SendQuery("HISID", "12345"));
}

TEST_F(MsgSocketCloseTest, ResetReachesTheSinkWithItsCode)
{
    m_peer.Reset();
    ASSERT_TRUE(PumpUntil(m_loop, [&] { return m_sink.HasKind("close"); }));
    EXPECT_EQ(m_sink.m_calls, std::vector<std::string>{"close|" + std::to_string(WSAECONNRESET)});
}

TEST_F(MsgSocketCloseTest, SendAfterAReadErrorFailsHardAndThenCountsAsClosed)
{
    ASSERT_TRUE(m_peer.Write(Bytes{1, 0, 0, 0}));
    ASSERT_TRUE(PumpUntil(m_loop, [&] { return m_sink.HasKind("error"); }));
    // The read step closed the socket but did not mark it closed: the next send is accepted,
    // meets the platform's error and reports it.
    ASSERT_FALSE(m_socket.IsClosed());
    m_sink.m_calls.clear();
    EXPECT_TRUE(m_socket.SendMsg(MSG_QUERY, "k\0v", 4));
    EXPECT_EQ(m_sink.m_calls, std::vector<std::string>{"error|" + std::to_string(WSAENOTSOCK)});
    EXPECT_TRUE(m_socket.IsClosed());
    EXPECT_FALSE(m_socket.SendMsg(MSG_QUERY, "k\0v", 4));
}

// A sink that sends again from its error slot, as a retrying host would.
class CResendingSink : public CRecordingSink {
public:
    std::vector<bool> m_resendAccepted;
    int m_nResends = 0;

    void OnSockError(CRptSocket* from, std::int32_t code) override
    {
        CRecordingSink::OnSockError(from, code);
        if (m_nResends++ < 5)  // bounded, should the socket let it nest
            m_resendAccepted.push_back(from->SendMsg(MSG_QUERY, "k\0v", 4));
    }
};

TEST_F(MsgSocketCloseTest, SinkSendingAgainFromItsErrorSlotIsRefusedNotReentered)
{
    ASSERT_TRUE(m_peer.Write(Bytes{1, 0, 0, 0}));
    ASSERT_TRUE(PumpUntil(m_loop, [&] { return m_sink.HasKind("error"); }));
    CResendingSink resending;
    m_socket.SetSink(&resending);
    EXPECT_TRUE(m_socket.SendMsg(MSG_QUERY, "k\0v", 4));
    // One error; the socket already counts as closed when the sink hears of it.
    EXPECT_EQ(resending.m_calls, std::vector<std::string>{"error|" + std::to_string(WSAENOTSOCK)});
    EXPECT_EQ(resending.m_resendAccepted, std::vector<bool>{false});
    m_socket.SetSink(&m_sink);
}

TEST(MsgSocketConnectTest, RefusedConnectReachesTheSinkAsNonZeroCode)
{
    CMessageLoop loop;
    loop.Attach();
    CRecordingSink sink;
    CRptSocket socket;
    socket.SetSink(&sink);
    ASSERT_TRUE(socket.Create());
    socket.Connect("127.0.0.1", UnusedPort());
    ASSERT_TRUE(PumpUntil(loop, [&] { return sink.HasKind("connect"); }));
    EXPECT_EQ(sink.m_calls, std::vector<std::string>{"connect|" + std::to_string(WSAECONNREFUSED)});
}

}  // namespace
