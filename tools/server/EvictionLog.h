// Counts the clients closed to make room for new ones and logs them at most once a second, so
// a flood of connections costs the log one line a second instead of one line a client.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace korv::server {

class CEvictionLog {
public:
    using Clock = std::chrono::steady_clock;

    explicit CEvictionLog(std::size_t maxConnections = 0) : m_maxConnections(maxConnections) {}
    ~CEvictionLog() { Flush(); }
    CEvictionLog(const CEvictionLog&) = delete;
    CEvictionLog& operator=(const CEvictionLog&) = delete;

    void SetMaxConnections(std::size_t maxConnections) { m_maxConnections = maxConnections; }
    // stalled: the client had not completed a request.
    void Note(bool stalled, Clock::time_point now);
    // When the counted closes are due to be logged, if any are waiting.
    std::optional<Clock::time_point> NextLine() const;
    void FlushIfDue(Clock::time_point now);
    void Flush();

private:
    std::size_t m_maxConnections;
    std::uint64_t m_count = 0;
    std::uint64_t m_stalled = 0;
    bool m_everLogged = false;
    Clock::time_point m_lastLine{};
};

}  // namespace korv::server
