#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "RawPeer.h"
#include "platform/AsyncSocket.h"
#include "platform/Event.h"
#include "platform/MsgThread.h"

namespace {

constexpr std::uint32_t kStop = WM_USER + 1;  // handler posts WM_QUIT to its own thread

// Records what reaches each hook, and on which thread.
class CRecordingThread : public CMsgThread {
public:
    explicit CRecordingThread(bool initResult = true) : m_bInitResult(initResult) {}

    std::vector<std::uint32_t> Handled() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_handled;
    }
    std::vector<std::uint32_t> Discarded() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_discarded;
    }

    CEvent m_evExit;
    std::thread::id m_initThread;
    std::thread::id m_exitThread;
    std::thread::id m_handlerThread;
    int m_nExitInstanceResult = -1;

protected:
    bool InitInstance() override
    {
        m_initThread = std::this_thread::get_id();
        return m_bInitResult;
    }
    int ExitInstance() override
    {
        m_exitThread = std::this_thread::get_id();
        const int result = CMsgThread::ExitInstance();
        m_nExitInstanceResult = result;
        m_evExit.Set();  // last touch: the owner may delete the object from here on
        return result;
    }
    void OnThreadMessage(const ThreadMessage& msg) override
    {
        m_handlerThread = std::this_thread::get_id();
        std::lock_guard<std::mutex> g(m_lock);
        m_handled.push_back(msg.message);
        if (msg.message == kStop)
            Post(WM_QUIT, 3, 0);
    }
    void OnDiscardMessage(const ThreadMessage& msg) override
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_discarded.push_back(msg.message);
    }

private:
    bool m_bInitResult;
    mutable std::mutex m_lock;
    std::vector<std::uint32_t> m_handled;
    std::vector<std::uint32_t> m_discarded;
};

TEST(MsgThreadTest, DispatchesInOrderOnItsOwnThreadUntilQuit)
{
    CRecordingThread thread;
    ASSERT_TRUE(thread.CreateThread());
    for (std::uint32_t i = 10; i < 15; ++i)
        ASSERT_TRUE(thread.Post(WM_USER + i, i, 0));
    ASSERT_TRUE(thread.Post(WM_QUIT, 7, 0));
    ASSERT_TRUE(thread.m_evExit.Wait(5000));

    const std::vector<std::uint32_t> expected{WM_USER + 10, WM_USER + 11, WM_USER + 12,
                                              WM_USER + 13, WM_USER + 14};
    EXPECT_EQ(thread.Handled(), expected);
    EXPECT_EQ(thread.m_handlerThread, thread.ThreadId());
    EXPECT_EQ(thread.m_initThread, thread.ThreadId());
    EXPECT_EQ(thread.m_exitThread, thread.ThreadId());
    EXPECT_NE(thread.ThreadId(), std::this_thread::get_id());
    EXPECT_EQ(thread.m_nExitInstanceResult, 7);  // the quit message's wParam
}

TEST(MsgThreadTest, MessagesPostedBeforeTheThreadRunsAreDelivered)
{
    CRecordingThread thread;
    ASSERT_TRUE(thread.Post(WM_USER + 1, 0, 0));
    ASSERT_TRUE(thread.Post(WM_QUIT, 0, 0));
    ASSERT_TRUE(thread.CreateThread());
    ASSERT_TRUE(thread.m_evExit.Wait(5000));
    EXPECT_EQ(thread.Handled(), std::vector<std::uint32_t>{WM_USER + 1});
}

TEST(MsgThreadTest, MessagesLeftAfterQuitGoToOnDiscardMessageAndLaterPostsFail)
{
    CRecordingThread thread;
    ASSERT_TRUE(thread.Post(WM_USER + 1, 0, 0));
    ASSERT_TRUE(thread.Post(WM_QUIT, 0, 0));
    ASSERT_TRUE(thread.Post(WM_USER + 2, 0, 0));
    ASSERT_TRUE(thread.Post(WM_USER + 3, 0, 0));
    ASSERT_TRUE(thread.CreateThread());
    ASSERT_TRUE(thread.m_evExit.Wait(5000));

    EXPECT_EQ(thread.Handled(), std::vector<std::uint32_t>{WM_USER + 1});
    EXPECT_EQ(thread.Discarded(), (std::vector<std::uint32_t>{WM_USER + 2, WM_USER + 3}));
    // The poster keeps ownership of what a refused message would have carried.
    EXPECT_FALSE(thread.Post(WM_USER + 4, 0, 0));
}

TEST(MsgThreadTest, QuitPostedByAHandlerEndsTheLoop)
{
    CRecordingThread thread;
    ASSERT_TRUE(thread.CreateThread());
    ASSERT_TRUE(thread.Post(kStop, 0, 0));
    ASSERT_TRUE(thread.m_evExit.Wait(5000));
    EXPECT_EQ(thread.Handled(), std::vector<std::uint32_t>{kStop});
    EXPECT_EQ(thread.m_nExitInstanceResult, 3);
}

TEST(MsgThreadTest, FailedInitInstanceSkipsTheLoopButStillExits)
{
    CRecordingThread thread(false);
    ASSERT_TRUE(thread.Post(WM_USER + 1, 0, 0));
    ASSERT_TRUE(thread.CreateThread());
    ASSERT_TRUE(thread.m_evExit.Wait(5000));
    EXPECT_TRUE(thread.Handled().empty());
    EXPECT_EQ(thread.Discarded(), std::vector<std::uint32_t>{WM_USER + 1});
}

TEST(MsgThreadTest, JoinReturnsOnlyAfterExitInstanceHasFinished)
{
    class CSlowExit : public CMsgThread {
    public:
        bool m_bExitDone = false;

    protected:
        int ExitInstance() override
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            m_bExitDone = true;
            return 0;
        }
    };
    CSlowExit thread;
    ASSERT_TRUE(thread.CreateThread());
    const std::thread::id id = thread.ThreadId();
    ASSERT_TRUE(thread.Post(WM_QUIT, 0, 0));
    thread.Join();
    EXPECT_TRUE(thread.m_bExitDone);
    EXPECT_EQ(thread.ThreadId(), id);
    thread.Join();  // a second Join is harmless
}

TEST(MsgThreadTest, StartsOnlyOnce)
{
    CRecordingThread thread;
    ASSERT_TRUE(thread.CreateThread());
    EXPECT_FALSE(thread.CreateThread());
    thread.Post(WM_QUIT, 0, 0);
    ASSERT_TRUE(thread.m_evExit.Wait(5000));
}

// A worker that owns a socket: its notifications run on the worker, between its messages.
class CSocketOwningThread : public CMsgThread {
public:
    static constexpr std::uint32_t kConnect = WM_USER + 50;

    explicit CSocketOwningThread(unsigned port) : m_nPort(port), m_socket(*this) {}

    CEvent m_evConnected;
    CEvent m_evExit;
    int m_nConnectCode = -1;
    std::thread::id m_notifyThread;

protected:
    void OnThreadMessage(const ThreadMessage& msg) override
    {
        if (msg.message == kConnect && m_socket.Create())
            m_socket.Connect("127.0.0.1", m_nPort);
    }
    int ExitInstance() override
    {
        m_socket.Close();
        m_evExit.Set();
        return 0;
    }

private:
    class CWorkerSocket : public CAsyncSocket {
    public:
        explicit CWorkerSocket(CSocketOwningThread& owner) : m_owner(owner) {}

    protected:
        void OnConnect(int code) override
        {
            m_owner.m_notifyThread = std::this_thread::get_id();
            m_owner.m_nConnectCode = code;
            m_owner.m_evConnected.Set();
        }

    private:
        CSocketOwningThread& m_owner;
    };

    unsigned m_nPort;
    CWorkerSocket m_socket;
};

TEST(MsgThreadTest, SocketNotificationsRunOnTheOwningWorker)
{
    RawListener listener;
    CSocketOwningThread thread(listener.Port());
    ASSERT_TRUE(thread.CreateThread());
    ASSERT_TRUE(thread.Post(CSocketOwningThread::kConnect, 0, 0));
    RawPeer peer = listener.Accept();
    ASSERT_TRUE(thread.m_evConnected.Wait(5000));
    EXPECT_EQ(thread.m_nConnectCode, 0);
    EXPECT_EQ(thread.m_notifyThread, thread.ThreadId());
    ASSERT_TRUE(thread.Post(WM_QUIT, 0, 0));
    ASSERT_TRUE(thread.m_evExit.Wait(5000));
}

}  // namespace
