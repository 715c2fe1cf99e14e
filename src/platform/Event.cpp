#include "platform/Event.h"

#include <chrono>

CEvent::CEvent(bool initiallySet) : m_bSet(initiallySet) {}

void CEvent::Set()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bSet = true;
    // Notify under the lock: a waiter may destroy the event as soon as it returns.
    m_cond.notify_all();
}

void CEvent::Reset()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bSet = false;
}

bool CEvent::Wait(std::uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (timeoutMs == kInfinite) {
        m_cond.wait(lock, [this] { return m_bSet; });
        return true;
    }
    return m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_bSet; });
}

bool CEvent::IsSet() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bSet;
}
