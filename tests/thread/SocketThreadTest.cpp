#include "FakeServer.h"
#include "ServerCloseArrived.h"
#include "thread/RptSockThread.h"
#include "thread/ThreadMessages.h"
#include "transport/MsgTypes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace {

// Starts a socket thread as Connect does and stops it as Disconnect does.
class ThreadRunner {
public:
    ThreadRunner(const char* host, unsigned port)
        : thread(std::make_unique<CRptSockThread>(host, port))
    {
        started = thread->CreateThread() && thread->m_evStarted.Wait(5000);
    }
    ~ThreadRunner()
    {
        if (!started)
            return;
        thread->Post(WM_RPT_DISCONNECT, 0, 0);
        thread->m_evDisconnect.Wait(5000);
        thread->StopThread();
    }
    bool Connect()
    {
        thread->Post(WM_RPT_CONNECT, 0, 0);
        return thread->m_evConnect.Wait(5000) && thread->m_bConnected;
    }

    std::unique_ptr<CRptSockThread> thread;
    bool started = false;
};

}  // namespace

TEST(SocketThreadTest, NewThreadHasNoEventSetAndIsNotConnected)
{
    CRptSockThread thread("127.0.0.1", 1);
    for (CEvent* event :
         {&thread.m_evStarted, &thread.m_evConnect, &thread.m_evExit, &thread.m_evDisconnect,
          &thread.m_evPatient, &thread.m_evThumb, &thread.m_evImage})
        EXPECT_FALSE(event->IsSet());
    EXPECT_FALSE(thread.m_bConnected);
}

TEST(SocketThreadTest, DisconnectWithoutASocketSetsItsEvent)
{
    ThreadRunner runner("127.0.0.1", 1);
    ASSERT_TRUE(runner.started);
    runner.thread->Post(WM_RPT_DISCONNECT, 0, 0);
    EXPECT_TRUE(runner.thread->m_evDisconnect.Wait(5000));
    EXPECT_FALSE(runner.thread->m_bConnected);
}

TEST(SocketThreadTest, StopThreadReturnsAfterExitInstanceAndAPause)
{
    auto thread = std::make_unique<CRptSockThread>("127.0.0.1", 1);
    ASSERT_TRUE(thread->CreateThread());
    ASSERT_TRUE(thread->m_evStarted.Wait(5000));
    const auto begin = std::chrono::steady_clock::now();
    thread->StopThread();
    EXPECT_TRUE(thread->m_evExit.IsSet());
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(10));
}

TEST(SocketThreadTest, StopBeforeTheLoopRunsStillEndsTheThread)
{
    auto thread = std::make_unique<CRptSockThread>("127.0.0.1", 1);
    ASSERT_TRUE(thread->CreateThread());
    thread->StopThread();  // may run before the thread has reached its loop
    EXPECT_TRUE(thread->m_evExit.IsSet());
}

TEST(SocketThreadTest, LeftOverRequestsAreReleasedWhenTheThreadStops)
{
    // Run under the asan preset: a leaked request text fails the test there.
    auto thread = std::make_unique<CRptSockThread>("127.0.0.1", 1);
    thread->Post(WM_QUIT, 0, 0);
    thread->Post(WM_RPT_GETTHUMB, reinterpret_cast<std::uintptr_t>(NewMessageText("t")), 0);
    thread->Post(WM_RPT_OPENPATIENT, reinterpret_cast<std::uintptr_t>(NewMessageText("p")), 0);
    ASSERT_TRUE(thread->CreateThread());
    EXPECT_TRUE(thread->m_evExit.Wait(5000));
}

TEST(SocketThreadTest, RefusedConnectSetsTheConnectEventWithoutConnecting)
{
    CFakeServer server;
    ASSERT_TRUE(server.Start());
    const unsigned port = server.Port();
    ThreadRunner runner("127.0.0.1", port);
    ASSERT_TRUE(runner.started);
    EXPECT_TRUE(runner.Connect());

    // Another thread object to a closed port: the attempt ends with FALSE.
    ThreadRunner refused("127.0.0.1", 1);
    ASSERT_TRUE(refused.started);
    refused.thread->Post(WM_RPT_CONNECT, 0, 0);
    EXPECT_TRUE(refused.thread->m_evConnect.Wait(5000));
    EXPECT_FALSE(refused.thread->m_bConnected);
}

TEST(SocketThreadTest, AfterTheServerClosesARequestSendsNothingAndSetsNoEvent)
{
    CFakeServer server;
    ASSERT_TRUE(server.Start());
    ThreadRunner runner("127.0.0.1", server.Port());
    ASSERT_TRUE(runner.started);
    ASSERT_TRUE(runner.Connect());
    server.CloseClients();
    ASSERT_TRUE(server.Flush(5000));
    // With the close there before the request is posted, the thread's loop serves the close
    // first: a notification collected in a round runs before that round's message.
    ASSERT_TRUE(WaitUntilServerCloseArrived(server.Port()));

    runner.thread->ResetEvents();
    runner.thread->Post(WM_RPT_OPENPATIENT, reinterpret_cast<std::uintptr_t>(NewMessageText("H1")),
                        0);
    EXPECT_FALSE(runner.thread->m_evPatient.Wait(300));
    EXPECT_TRUE(runner.thread->m_bConnected);
    EXPECT_TRUE(server.Requests().empty());
}
