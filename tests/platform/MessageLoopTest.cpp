#include <gtest/gtest.h>

#include <thread>

#include "LoopPump.h"
#include "RawPeer.h"
#include "SocketQueues.h"
#include "platform/AsyncSocket.h"
#include "platform/MessageLoop.h"

namespace {

// Counts notifications without ever reading, so the data stays and keeps it readable.
class CFloodedSocket : public CAsyncSocket {
public:
    int m_nReceives = 0;
    int m_nConnects = 0;

protected:
    void OnReceive(int) override { ++m_nReceives; }
    void OnConnect(int) override { ++m_nConnects; }
};

// Marks the moment an event is served by posting a message from inside its handler: the
// loop looks at its queue after every notification, so the GetMessage that waits for the
// mark returns right after it, whatever the speed of the machine.
constexpr std::uint32_t kServedMark = WM_USER + 100;

void PostServedMark(std::uintptr_t what)
{
    CMessageLoop::Current()->Post(ThreadMessage{kServedMark, what, 0});
}

// Takes one byte per notification, so that after each read more data is known to be queued
// and the next notification is due without a wait. Marks its m_nMarkAt-th byte.
class CSippingSocket : public CAsyncSocket {
public:
    int m_nReceives = 0;
    int m_nConnects = 0;
    int m_nMarkAt = 0;

protected:
    void OnReceive(int) override
    {
        char c;
        if (Receive(&c, 1) == 1 && ++m_nReceives == m_nMarkAt)
            PostServedMark(0);
    }
    void OnConnect(int) override { ++m_nConnects; }
};

// Marks its connect and every notification of data, reading all there is.
class CMarkingSocket : public CAsyncSocket {
public:
    enum : std::uintptr_t { kConnected = 1, kReceived = 2 };
    int m_nReceives = 0;

protected:
    void OnConnect(int) override { PostServedMark(kConnected); }
    void OnReceive(int) override
    {
        char chunk[256];
        if (Receive(chunk, sizeof chunk) > 0) {
            ++m_nReceives;
            PostServedMark(kReceived);
        }
    }
};

class MessageLoopTest : public ::testing::Test {
protected:
    void SetUp() override { m_loop.Attach(); }

    // A socket of this loop with unread data that the test never takes.
    void ConnectFlooded()
    {
        ASSERT_TRUE(m_socket.Create());
        m_socket.Connect("127.0.0.1", m_listener.Port());
        m_peer = m_listener.Accept();
        ASSERT_TRUE(PumpUntil(m_loop, [&] { return m_socket.m_nConnects == 1; }));
        ASSERT_TRUE(m_peer.Write(std::string(1000, 'x')));
        ASSERT_TRUE(PumpUntil(m_loop, [&] { return m_socket.m_nReceives > 0; }));
    }

    CMessageLoop m_loop;
    RawListener m_listener;
    RawPeer m_peer;
    CFloodedSocket m_socket;
};

TEST_F(MessageLoopTest, AttachMakesTheLoopCurrentOnThisThreadOnly)
{
    EXPECT_EQ(CMessageLoop::Current(), &m_loop);
    CMessageLoop* seenElsewhere = &m_loop;
    std::thread([&] { seenElsewhere = CMessageLoop::Current(); }).join();
    EXPECT_EQ(seenElsewhere, nullptr);
    m_loop.Detach();
    EXPECT_EQ(CMessageLoop::Current(), nullptr);
}

TEST_F(MessageLoopTest, GetMessageTimesOutWhenNothingIsPosted)
{
    ThreadMessage msg{};
    EXPECT_FALSE(m_loop.GetMessage(&msg, 20));
    EXPECT_FALSE(m_loop.PeekMessage(&msg));
}

TEST_F(MessageLoopTest, MessagesComeOutInPostingOrder)
{
    for (std::uint32_t i = 0; i < 5; ++i)
        ASSERT_TRUE(
            m_loop.Post(ThreadMessage{WM_USER + i, i * 10, -static_cast<std::intptr_t>(i)}));
    ThreadMessage msg{};
    ASSERT_TRUE(m_loop.PeekMessage(&msg));
    EXPECT_EQ(msg.message, WM_USER);
    for (std::uint32_t i = 1; i < 5; ++i) {
        ASSERT_TRUE(m_loop.GetMessage(&msg, 1000));
        EXPECT_EQ(msg.message, WM_USER + i);
        EXPECT_EQ(msg.wParam, i * 10);
        EXPECT_EQ(msg.lParam, -static_cast<std::intptr_t>(i));
    }
    EXPECT_FALSE(m_loop.PeekMessage(&msg));
}

TEST_F(MessageLoopTest, PostFromAnotherThreadWakesAnUnlimitedWait)
{
    std::thread poster([&] { m_loop.Post(ThreadMessage{WM_USER + 7, 1, 2}); });
    ThreadMessage msg{};
    ASSERT_TRUE(m_loop.GetMessage(&msg, CMessageLoop::kInfinite));
    EXPECT_EQ(msg.message, WM_USER + 7u);
    poster.join();
}

TEST_F(MessageLoopTest, ClosedQueueRefusesPostsButKeepsWhatItHolds)
{
    ASSERT_TRUE(m_loop.Post(ThreadMessage{WM_USER, 0, 0}));
    m_loop.CloseQueue();
    EXPECT_FALSE(m_loop.Post(ThreadMessage{WM_USER + 1, 0, 0}));
    ThreadMessage msg{};
    ASSERT_TRUE(m_loop.PeekMessage(&msg));
    EXPECT_EQ(msg.message, WM_USER);
    EXPECT_FALSE(m_loop.PeekMessage(&msg));
}

TEST_F(MessageLoopTest, UnreadSocketDataDoesNotStarvePostedMessages)
{
    ConnectFlooded();
    ASSERT_TRUE(m_loop.Post(ThreadMessage{WM_USER, 0, 0}));
    ThreadMessage msg{};
    // The socket is readable all the time; the posted message must still come out.
    ASSERT_TRUE(m_loop.GetMessage(&msg, 2000));
    EXPECT_EQ(msg.message, WM_USER);
}

TEST_F(MessageLoopTest, PostedMessagesDoNotStarveSockets)
{
    ConnectFlooded();
    const int before = m_socket.m_nReceives;
    for (std::uint32_t i = 0; i < 200; ++i)
        ASSERT_TRUE(m_loop.Post(ThreadMessage{WM_USER, i, 0}));
    ThreadMessage msg{};
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(m_loop.GetMessage(&msg, 1000));
    // Half the queue taken: the readable socket must have been served along the way.
    EXPECT_GE(m_socket.m_nReceives - before, 10);
}

// A socket whose data keeps coming without a wait shares the loop fairly: with posted
// messages and with another socket of the same loop. Every round of the loop looks at the
// queue after each notification and at every socket, so the sipping socket gets at most a
// few notifications between another event becoming due and its being served; a loop that
// serves the sipping socket ahead of the rest would sip all of its bytes first.
TEST_F(MessageLoopTest, DataKnownToBeQueuedStarvesNeitherMessagesNorOtherSockets)
{
    constexpr int kBytes = 20000;
    // Notifications of the sipping socket allowed between an event's being due and its
    // being served: a round or two of the loop, on any machine.
    constexpr int kFairShare = 4;
    ThreadMessage msg{};

    CSippingSocket sipping;
    sipping.m_nMarkAt = 10;
    ASSERT_TRUE(sipping.Create());
    sipping.Connect("127.0.0.1", m_listener.Port());
    RawPeer sippingPeer = m_listener.Accept();
    ASSERT_TRUE(PumpUntil(m_loop, [&] { return sipping.m_nConnects == 1; }));
    ASSERT_TRUE(sippingPeer.Write(std::string(kBytes, 's')));
    ASSERT_TRUE(WaitUntilDelivered(sippingPeer));
    ASSERT_TRUE(m_loop.GetMessage(&msg, 2000));
    ASSERT_EQ(msg.message, kServedMark);

    // A posted message.
    int before = sipping.m_nReceives;
    ASSERT_TRUE(m_loop.Post(ThreadMessage{WM_USER, 0, 0}));
    ASSERT_TRUE(m_loop.GetMessage(&msg, 2000));
    EXPECT_EQ(msg.message, WM_USER);
    EXPECT_LE(sipping.m_nReceives - before, kFairShare);

    // Another socket's connect: complete in the kernel once the listener has accepted it.
    CMarkingSocket other;
    ASSERT_TRUE(other.Create());
    other.Connect("127.0.0.1", m_listener.Port());
    RawPeer otherPeer = m_listener.Accept();
    ASSERT_TRUE(otherPeer.IsOpen());
    before = sipping.m_nReceives;
    ASSERT_TRUE(m_loop.GetMessage(&msg, 2000));
    EXPECT_EQ(msg.message, kServedMark);
    EXPECT_EQ(msg.wParam, CMarkingSocket::kConnected);
    EXPECT_LE(sipping.m_nReceives - before, kFairShare);

    // Its data, once the kernel has queued it there.
    ASSERT_TRUE(otherPeer.Write(std::string("x")));
    ASSERT_TRUE(WaitUntilDelivered(otherPeer));
    before = sipping.m_nReceives;
    ASSERT_TRUE(m_loop.GetMessage(&msg, 2000));
    EXPECT_EQ(msg.message, kServedMark);
    EXPECT_EQ(msg.wParam, CMarkingSocket::kReceived);
    EXPECT_LE(sipping.m_nReceives - before, kFairShare);
    EXPECT_EQ(other.m_nReceives, 1);
    EXPECT_LT(sipping.m_nReceives, kBytes);
}

}  // namespace
