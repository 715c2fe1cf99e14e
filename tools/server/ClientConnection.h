// One connected client: its non-blocking socket, the frames it sent, the replies it is owed
// and the bytes waiting to go out to it.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FrameReader.h"
#include "IgnoredFrameLog.h"
#include "JobQuota.h"
#include "ReplyJob.h"
#include "RequestHandler.h"

namespace korv::server {

class CClientConnection {
public:
    using Clock = std::chrono::steady_clock;

    // quota counts the requests queued over all clients; idleTimeout closes a client that
    // leaves a frame unfinished or does not take its replies for that long, firstFrameTimeout
    // one that has not completed a frame that long after connecting.
    CClientConnection(int fd, std::string peer, CRequestHandler& handler,
                      std::chrono::milliseconds delay, CJobQuota& quota,
                      std::chrono::milliseconds idleTimeout,
                      std::chrono::milliseconds firstFrameTimeout);
    ~CClientConnection();
    CClientConnection(const CClientConnection&) = delete;
    CClientConnection& operator=(const CClientConnection&) = delete;

    int Fd() const { return m_fd; }
    const std::string& Peer() const { return m_peer; }

    bool WantsRead() const;
    bool WantsWrite() const { return m_outPos < m_out.size(); }
    // When the next reply frame is due (while one is owed and there is room for it), or when
    // the idle time-out would run out.
    std::optional<Clock::time_point> NextWakeup(Clock::time_point now) const;
    // False (and logged) when the client has stalled in the middle of a frame, or has not taken
    // any of its pending replies, for the idle time-out.
    bool CheckIdle(Clock::time_point now);
    // Which client gives way to a new one when the server is full, lowest first: those that
    // have not completed a request, then those idle between requests, then those with a reply
    // in progress or a request waiting; within each, the one that has gone longest without
    // completing a frame (or, while served, without taking output).
    struct EvictionRank {
        int tier = 0;
        Clock::time_point lastProgress{};
        auto operator<=>(const EvictionRank&) const = default;
    };
    static constexpr int kTierStalled = 0;
    EvictionRank Rank() const;

    // Logs the frames ignored since the last line; before the connection's last line.
    void FlushLog() { m_ignored.Flush(); }

    // Each returns false when the connection is finished and is to be closed.
    bool OnReadable(Clock::time_point now);
    bool OnWritable();
    // Turns due reply frames into output while there is room for it.
    bool Pump(Clock::time_point now);

private:
    bool TakeFrames(Clock::time_point now);
    bool HasRoomForOutput() const;
    bool MayQueue() const;
    void PopJob();
    void ClearJobs();
    std::optional<Clock::time_point> IdleDeadline() const;

    int m_fd;
    std::string m_peer;
    CRequestHandler& m_handler;
    std::chrono::milliseconds m_delay;
    CJobQuota& m_quota;
    std::chrono::milliseconds m_idleTimeout;
    std::chrono::milliseconds m_firstFrameTimeout;
    CIgnoredFrameLog m_ignored;
    CFrameReader m_reader;
    std::deque<std::unique_ptr<CReplyJob>> m_jobs;
    Clock::time_point m_nextDue;
    std::vector<std::uint8_t> m_out;
    std::size_t m_outPos = 0;
    bool m_inputEnded = false;
    bool m_closing = false;  // a reply ended the connection: close once the output is out
    Clock::time_point m_frameStarted{};  // when the unfinished frame's first bytes came
    Clock::time_point m_lastSent{};      // when output last went out, or became pending
    Clock::time_point m_lastFrame;       // when a frame last completed (or the client connected)
    bool m_anyFrame = false;             // a frame has completed
    bool m_anyRequest = false;           // a request has completed
};

}  // namespace korv::server
