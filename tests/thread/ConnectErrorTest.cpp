#include "FakeServer.h"
#include "LoopbackPort.h"
#include "ServerCloseArrived.h"
#include "KorvanelleClient.h"
#include "api/ErrorTexts.h"
#include "api/ModuleState.h"
#include "thread/RptSockThread.h"
#include "thread/ThreadMessages.h"

#include <gtest/gtest.h>

class ConnectErrorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Start());
        g_strLastError.clear();
    }
    void TearDown() override { Disconnect(); }

    int ConnectToServer() { return Connect("127.0.0.1", static_cast<int>(server.Port())); }

    CFakeServer server;
};

TEST_F(ConnectErrorTest, ErrorTextsAreCodePage936Bytes)
{
    EXPECT_EQ(std::string(kErrNotClosed),
              "(KorvanelleClient.dll)Error:\xC1\xAC\xBD\xD3\xCE\xB4\xB9\xD8\xB1\xD5");
    EXPECT_EQ(std::string(kErrConnectFailed).size(), 28u + 8u);
    EXPECT_EQ(std::string(kErrThreadCreate).size(), 28u + 12u);
}

TEST_F(ConnectErrorTest, RefusedConnectionLeavesConnectFailedAndNoThread)
{
    EXPECT_EQ(Connect("127.0.0.1", UnusedLoopbackPort()), 0);
    EXPECT_EQ(g_strLastError, kErrConnectFailed);
    EXPECT_EQ(g_pRptSockThread, nullptr);
}

TEST_F(ConnectErrorTest, SuccessfulConnectKeepsTheEarlierFailureText)
{
    ASSERT_EQ(Connect("127.0.0.1", UnusedLoopbackPort()), 0);
    ASSERT_EQ(ConnectToServer(), 1);
    EXPECT_EQ(g_strLastError, kErrConnectFailed);
    Disconnect();
    EXPECT_EQ(g_strLastError, kErrConnectFailed);
}

TEST_F(ConnectErrorTest, ConnectWhileConnectedLeavesNotClosedAndTheThreadUntouched)
{
    ASSERT_EQ(ConnectToServer(), 1) << g_strLastError;
    CRptSockThread* thread = g_pRptSockThread;
    EXPECT_EQ(ConnectToServer(), 0);
    EXPECT_EQ(g_strLastError, kErrNotClosed);
    EXPECT_EQ(g_pRptSockThread, thread);
    EXPECT_TRUE(thread->m_bConnected);
}

TEST_F(ConnectErrorTest, ServerCloseKeepsTheThreadConnectedUntilDisconnect)
{
    ASSERT_EQ(ConnectToServer(), 1);
    server.CloseClients();
    ASSERT_TRUE(server.Flush(5000));
    ASSERT_TRUE(WaitUntilServerCloseArrived(server.Port()));
    ASSERT_NE(g_pRptSockThread, nullptr);
    // A message the thread answers at once, posted after the close had arrived: its loop
    // serves the close first, so once the answer is there the thread has seen the close.
    g_pRptSockThread->m_evStarted.Reset();
    g_pRptSockThread->Post(WM_RPT_STARTED, 0, 0);
    ASSERT_TRUE(g_pRptSockThread->m_evStarted.Wait(5000));
    EXPECT_TRUE(g_pRptSockThread->m_bConnected);
    EXPECT_EQ(ConnectToServer(), 0);
    EXPECT_EQ(g_strLastError, kErrNotClosed);
    Disconnect();
    EXPECT_EQ(g_pRptSockThread, nullptr);
}

TEST_F(ConnectErrorTest, UnresolvableHostTimesOutAndLeavesNoThread)
{
    // Resolution fails at once, so no attempt reports back and the 10 s wait runs out.
    EXPECT_EQ(Connect("no such host", 80), 0);
    EXPECT_EQ(g_strLastError, kErrConnectTimeout);
    EXPECT_EQ(g_pRptSockThread, nullptr);
    EXPECT_EQ(ConnectToServer(), 1);
}
