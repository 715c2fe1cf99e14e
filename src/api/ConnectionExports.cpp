// Connect and Disconnect: create, start and stop the one socket thread.
#include "KorvanelleClient.h"
#include "api/ErrorTexts.h"
#include "api/ModuleState.h"
#include "thread/RptSockThread.h"
#include "thread/ThreadMessages.h"

#include <new>

namespace {

constexpr std::uint32_t kStartTimeoutMs = 10000;
constexpr std::uint32_t kConnectTimeoutMs = 10000;
constexpr std::uint32_t kDisconnectTimeoutMs = 10000;

void DeleteThread()
{
    delete g_pRptSockThread;
    g_pRptSockThread = nullptr;
}

// Closes the socket, stops the thread and deletes it, whatever state it is in.
void TeardownConnection()
{
    CRptSockThread* thread = g_pRptSockThread;
    thread->Post(WM_RPT_DISCONNECT, 0, 0);
    // Bounded, and its outcome ignored: a thread that no longer answers is still stopped.
    thread->m_evDisconnect.Wait(kDisconnectTimeoutMs);
    thread->StopThread();
    DeleteThread();
}

}  // namespace

extern "C" KORV_API int KORV_CALL Connect(const char* host, int port)
{
    if (g_pRptSockThread != nullptr) {
        g_strLastError = kErrNotClosed;
        return 0;
    }
    CRptSockThread* thread = new (std::nothrow)
        CRptSockThread(host != nullptr ? host : "", static_cast<std::uint32_t>(port));
    if (thread == nullptr) {
        g_strLastError = kErrThreadCreate;
        return 0;
    }
    g_pRptSockThread = thread;
    if (!thread->CreateThread()) {
        DeleteThread();
        g_strLastError = kErrThreadCreate;
        return 0;
    }
    if (!thread->m_evStarted.Wait(kStartTimeoutMs)) {
        // The quit message is queued even before the loop runs, so the stop always ends.
        thread->StopThread();
        DeleteThread();
        g_strLastError = kErrThreadStart;
        return 0;
    }
    thread->Post(WM_RPT_CONNECT, 0, 0);
    const bool attemptEnded = thread->m_evConnect.Wait(kConnectTimeoutMs);
    if (attemptEnded && thread->m_bConnected)
        return 1;
    TeardownConnection();
    g_strLastError = attemptEnded ? kErrConnectFailed : kErrConnectTimeout;
    return 0;
}

extern "C" KORV_API void KORV_CALL Disconnect(void)
{
    if (g_pRptSockThread == nullptr)
        return;
    TeardownConnection();
}
