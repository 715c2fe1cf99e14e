#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// Manual-reset event: once set it stays set, releasing every waiter, until Reset.
// A successful Wait sees every write the setting thread made before Set.
class CEvent {
public:
    static constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

    explicit CEvent(bool initiallySet = false);
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set();
    void Reset();
    // True when the event is set within timeoutMs milliseconds; kInfinite waits without limit.
    bool Wait(std::uint32_t timeoutMs);
    bool IsSet() const;

private:
    mutable std::mutex m_lock;
    std::condition_variable m_cond;
    bool m_bSet;
};
