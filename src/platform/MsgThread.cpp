#include "platform/MsgThread.h"

#include <system_error>

CMsgThread::CMsgThread() : m_nQuitCode(0) {}

CMsgThread::~CMsgThread()
{
    if (!m_thread.joinable())
        return;
    if (m_thread.get_id() == std::this_thread::get_id()) {
        // Deleted from its own thread: joining would wait for ever.
        m_thread.detach();
        return;
    }
    // Safety net for an owner that did not stop the loop: no effect once it has ended.
    m_loop.Post(ThreadMessage{WM_QUIT, 0, 0});
    m_thread.join();
}

bool CMsgThread::CreateThread()
{
    std::lock_guard<std::mutex> guard(m_startLock);
    if (m_threadId != std::thread::id() || !m_loop.IsValid())
        return false;
    try {
        m_thread = std::thread(&CMsgThread::Run, this);
    } catch (const std::system_error&) {
        return false;
    }
    m_threadId = m_thread.get_id();
    return true;
}

bool CMsgThread::Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
{
    return m_loop.Post(ThreadMessage{message, wParam, lParam});
}

void CMsgThread::Join()
{
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

std::thread::id CMsgThread::ThreadId() const
{
    return m_threadId;
}

void CMsgThread::Run()
{
    // Wait until CreateThread has stored the handle, so ThreadId() is right on this thread.
    {
        std::lock_guard<std::mutex> guard(m_startLock);
    }
    m_loop.Attach();
    if (InitInstance()) {
        ThreadMessage msg{};
        for (;;) {
            if (!m_loop.GetMessage(&msg, CMessageLoop::kInfinite))
                continue;
            if (msg.message == WM_QUIT) {
                m_nQuitCode = msg.wParam;
                break;
            }
            OnThreadMessage(msg);
        }
    }
    m_loop.CloseQueue();
    ThreadMessage left{};
    while (m_loop.PeekMessage(&left)) {
        if (left.message != WM_QUIT)
            OnDiscardMessage(left);
    }
    m_loop.Detach();
    ExitInstance();
}

bool CMsgThread::InitInstance()
{
    return true;
}

int CMsgThread::ExitInstance()
{
    return static_cast<int>(m_nQuitCode);
}

void CMsgThread::OnThreadMessage(const ThreadMessage&) {}

void CMsgThread::OnDiscardMessage(const ThreadMessage&) {}
