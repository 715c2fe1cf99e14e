// Counts one client's frames that are not requests and logs them at most once a second, so a
// flood of them costs the log one line a second instead of one line a frame.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace korv::server {

class CIgnoredFrameLog {
public:
    using Clock = std::chrono::steady_clock;

    explicit CIgnoredFrameLog(std::string peer) : m_peer(std::move(peer)) {}
    // Logs what was counted, if anything.
    ~CIgnoredFrameLog() { Flush(); }
    CIgnoredFrameLog(const CIgnoredFrameLog&) = delete;
    CIgnoredFrameLog& operator=(const CIgnoredFrameLog&) = delete;

    void Note(std::uint16_t type, Clock::time_point now);
    void Flush();

private:
    std::string m_peer;
    std::uint64_t m_count = 0;
    std::uint16_t m_lastType = 0;
    bool m_everLogged = false;
    Clock::time_point m_lastLine{};
};

}  // namespace korv::server
