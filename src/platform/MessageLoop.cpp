#include "platform/MessageLoop.h"

#include <algorithm>
#include <chrono>

#include "platform/AsyncSocket.h"

namespace {
thread_local CMessageLoop* t_pCurrentLoop = nullptr;

using Clock = std::chrono::steady_clock;

std::uint32_t RemainingMs(Clock::time_point deadline)
{
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    // Round up so that a wait never ends just short of the deadline and spins.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms >= CMessageLoop::kInfinite ? CMessageLoop::kInfinite - 1
                                         : static_cast<std::uint32_t>(ms);
}
}  // namespace

CMessageLoop::CMessageLoop()
    : m_pBackend(std::make_unique<CLoopBackend>()), m_bQueueClosed(false), m_nNextReady(0),
      m_nNextSerial(1)
{}

CMessageLoop::~CMessageLoop()
{
    // Let a Post that is still inside its critical section finish first.
    {
        std::lock_guard<std::mutex> guard(m_lock);
    }
    for (const Registration& reg : m_lstSockets)
        reg.pSocket->m_pLoop = nullptr;
    Detach();
}

bool CMessageLoop::IsValid() const
{
    return m_pBackend->IsValid();
}

bool CMessageLoop::Post(const ThreadMessage& msg)
{
    if (!m_pBackend->IsValid())
        return false;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bQueueClosed)
        return false;
    m_queue.push_back(msg);
    // Woken under the lock, so the loop cannot be destroyed between queueing and waking.
    m_pBackend->Wake();
    return true;
}

void CMessageLoop::CloseQueue()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bQueueClosed = true;
}

void CMessageLoop::Attach()
{
    t_pCurrentLoop = this;
}

void CMessageLoop::Detach()
{
    if (t_pCurrentLoop == this)
        t_pCurrentLoop = nullptr;
}

CMessageLoop* CMessageLoop::Current()
{
    return t_pCurrentLoop;
}

bool CMessageLoop::PeekMessage(ThreadMessage* out)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (out == nullptr || m_queue.empty())
        return false;
    *out = m_queue.front();
    m_queue.pop_front();
    return true;
}

bool CMessageLoop::HasQueued()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return !m_queue.empty();
}

bool CMessageLoop::GetMessage(ThreadMessage* out, std::uint32_t timeoutMs)
{
    if (out == nullptr)
        return false;
    const bool bInfinite = timeoutMs == kInfinite;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(bInfinite ? 0 : timeoutMs);
    for (;;) {
        if (m_nNextReady >= m_lstReady.size()) {
            // Queued messages are waiting: look at the sockets without blocking.
            std::uint32_t wait = 0;
            if (!HasQueued())
                wait = bInfinite ? kInfinite : RemainingMs(deadline);
            CollectReadiness(wait);
        }
        if (m_nNextReady < m_lstReady.size())
            DispatchNextReady();
        if (PeekMessage(out))
            return true;
        if (!bInfinite && Clock::now() >= deadline)
            return false;
    }
}

void CMessageLoop::CollectReadiness(std::uint32_t timeoutMs)
{
    m_lstReady.clear();
    m_nNextReady = 0;
    m_lstWatches.clear();
    m_lstWatched.clear();
    bool bImmediate = false;
    for (const Registration& reg : m_lstSockets) {
        const unsigned wanted = reg.pSocket->WantedReadiness();
        if (wanted & kLoopImmediate) {
            m_lstReady.push_back(Ready{reg.pSocket, reg.nSerial, kLoopImmediate});
            bImmediate = true;
        } else if (wanted != 0) {
            // A socket that wants nothing is left out: poll would still report its
            // hang-up or error and the loop would spin.
            m_lstWatches.push_back(LoopWatch{reg.pSocket->m_hSocket, wanted, 0});
            m_lstWatched.push_back(reg);
        }
    }
    // With a notification due at once and no socket left to look at, there is nothing to
    // wait for: posted messages are taken from the queue between notifications in any case,
    // and a wake-up left pending ends the next wait at once, harmlessly.
    if (bImmediate && m_lstWatches.empty())
        return;
    m_pBackend->Wait(m_lstWatches.data(), m_lstWatches.size(), bImmediate ? 0 : timeoutMs);
    for (size_t i = 0; i < m_lstWatches.size(); ++i) {
        if (m_lstWatches[i].nReady != 0) {
            m_lstReady.push_back(
                Ready{m_lstWatched[i].pSocket, m_lstWatched[i].nSerial, m_lstWatches[i].nReady});
            m_lstWatched[i].pSocket->m_bReadinessFresh = true;
        }
    }
}

void CMessageLoop::DispatchNextReady()
{
    const Ready ready = m_lstReady[m_nNextReady++];
    // An earlier handler may have closed or destroyed this socket.
    if (!IsRegistered(ready))
        return;
    const unsigned rest = ready.pSocket->DispatchReadiness(ready.nReadiness);
    // Read and write readiness are served as separate notifications; the second one is
    // checked again before it runs, since the first handler may have destroyed the socket.
    if (rest != 0)
        m_lstReady.push_back(Ready{ready.pSocket, ready.nSerial, rest});
}

bool CMessageLoop::IsRegistered(const Ready& ready) const
{
    return std::any_of(m_lstSockets.begin(), m_lstSockets.end(), [&](const Registration& reg) {
        return reg.pSocket == ready.pSocket && reg.nSerial == ready.nSerial;
    });
}

void CMessageLoop::AddSocket(CAsyncSocket* socket)
{
    // A fresh serial per registration: a socket closed and re-created at the same address
    // never receives readiness collected for its predecessor.
    m_lstSockets.push_back(Registration{socket, m_nNextSerial++});
}

void CMessageLoop::RemoveSocket(CAsyncSocket* socket)
{
    m_lstSockets.erase(
        std::remove_if(m_lstSockets.begin(), m_lstSockets.end(),
                       [socket](const Registration& reg) { return reg.pSocket == socket; }),
        m_lstSockets.end());
}
