#include "ClientConnection.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

#include "Log.h"
#include "MessageCodec.h"

namespace korv::server {
namespace {

// Output is produced only while less than this is waiting, so a slow reader holds about
// one frame plus this much, whatever the size of the file it asked for.
constexpr std::size_t kOutputHighWater = 128 * 1024;
// Requests queued beyond this stop the reading until replies drain.
constexpr std::size_t kMaxQueuedRequests = 256;
constexpr std::size_t kReadSize = 64 * 1024;
// How long a reply that found no descriptor to spare waits before it tries again.
constexpr std::chrono::milliseconds kBusyRetry(50);

}  // namespace

CClientConnection::CClientConnection(int fd, std::string peer, CRequestHandler& handler,
                                     std::chrono::milliseconds delay, CJobQuota& quota,
                                     std::chrono::milliseconds idleTimeout,
                                     std::chrono::milliseconds firstFrameTimeout)
    : m_fd(fd), m_peer(std::move(peer)), m_handler(handler), m_delay(delay), m_quota(quota),
      m_idleTimeout(idleTimeout), m_firstFrameTimeout(firstFrameTimeout), m_ignored(m_peer),
      m_lastFrame(Clock::now())
{}

CClientConnection::EvictionRank CClientConnection::Rank() const
{
    if (!m_anyRequest) {
        return {kTierStalled, m_lastFrame};
    }
    if (m_jobs.empty() && !WantsWrite() && !m_closing) {
        return {1, m_lastFrame};
    }
    return {2, WantsWrite() ? std::max(m_lastFrame, m_lastSent) : m_lastFrame};
}

CClientConnection::~CClientConnection()
{
    ClearJobs();
    ::close(m_fd);
}

bool CClientConnection::WantsRead() const
{
    return !m_inputEnded && !m_closing && m_jobs.size() < kMaxQueuedRequests && MayQueue();
}

bool CClientConnection::MayQueue() const
{
    return m_quota.MayQueue(m_jobs.size());
}

void CClientConnection::PopJob()
{
    m_jobs.pop_front();
    m_quota.Remove();
}

void CClientConnection::ClearJobs()
{
    m_quota.Remove(m_jobs.size());
    m_jobs.clear();
}

std::optional<CClientConnection::Clock::time_point> CClientConnection::IdleDeadline() const
{
    std::optional<Clock::time_point> deadline;
    if (WantsRead() && m_reader.Buffered() != 0) {
        deadline = m_frameStarted + m_idleTimeout;
    }
    if (WantsWrite() && (!deadline || m_lastSent + m_idleTimeout < *deadline)) {
        deadline = m_lastSent + m_idleTimeout;
    }
    // m_lastFrame is the connect time until the first frame completes.
    if (!m_anyFrame && (!deadline || m_lastFrame + m_firstFrameTimeout < *deadline)) {
        deadline = m_lastFrame + m_firstFrameTimeout;
    }
    return deadline;
}

bool CClientConnection::CheckIdle(Clock::time_point now)
{
    if (!WantsRead()) {
        // Bytes of the next frame may still wait unread in the socket: not the client's delay.
        m_frameStarted = now;
    }
    const auto deadline = IdleDeadline();
    if (!deadline || now < *deadline) {
        return true;
    }
    if (!m_anyFrame && m_lastFrame + m_firstFrameTimeout <= now) {
        Log(m_peer + " completed no frame within " + std::to_string(m_firstFrameTimeout.count()) +
            " ms of connecting; closing the connection");
        return false;
    }
    const auto ms = std::to_string(m_idleTimeout.count());
    if (WantsWrite() && m_lastSent + m_idleTimeout <= now) {
        Log(m_peer + " took none of its replies for " + ms + " ms; closing the connection");
    } else {
        Log(m_peer + " left a frame unfinished for " + ms + " ms; closing the connection");
    }
    return false;
}

bool CClientConnection::HasRoomForOutput() const
{
    return m_out.size() - m_outPos < kOutputHighWater;
}

std::optional<CClientConnection::Clock::time_point>
CClientConnection::NextWakeup(Clock::time_point now) const
{
    std::optional<Clock::time_point> wakeup = IdleDeadline();
    if (!m_jobs.empty() && HasRoomForOutput()) {
        // Already due: output drained after the last pump, so the loop must come round at once.
        const Clock::time_point due = std::max(m_nextDue, now);
        if (!wakeup || due < *wakeup) {
            wakeup = due;
        }
    }
    return wakeup;
}

bool CClientConnection::OnReadable(Clock::time_point now)
{
    std::uint8_t buffer[kReadSize];
    const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
    if (got < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return true;
        }
        Log(m_peer + " receive failed: " + std::strerror(errno));
        return false;
    }
    if (got == 0) {
        // The client may have only shut down its sending side: finish what it is owed first.
        m_inputEnded = true;
        if (m_reader.Buffered() != 0) {
            Log(m_peer + " ended the stream in the middle of a frame");
        }
        return TakeFrames(now) && (WantsWrite() || !m_jobs.empty());
    }
    if (m_reader.Buffered() == 0) {
        m_frameStarted = now;
    }
    m_reader.Feed(buffer, static_cast<std::size_t>(got));
    return TakeFrames(now);
}

bool CClientConnection::TakeFrames(Clock::time_point now)
{
    Frame frame;
    while (m_jobs.size() < kMaxQueuedRequests && MayQueue()) {
        const CFrameReader::Result result = m_reader.Next(frame);
        if (result == CFrameReader::Result::NeedMore) {
            return true;
        }
        if (result == CFrameReader::Result::Malformed) {
            Log(m_peer + " sent a frame whose length word is below 4; closing the connection");
            return false;
        }
        const std::optional<Request> request = DecodeRequest(frame);
        if (!request) {
            Log(m_peer + " sent a malformed message of type " + std::to_string(frame.type) +
                " (a string without its NUL or fields cut short); closing the connection");
            return false;
        }
        // The next frame starts now at the earliest.
        m_frameStarted = now;
        m_lastFrame = now;
        m_anyFrame = true;
        if (!CRequestHandler::IsRequest(request->type)) {
            m_ignored.Note(request->type, now);
            continue;
        }
        m_anyRequest = true;
        if (auto job = m_handler.Handle(*request, m_peer)) {
            if (m_jobs.empty()) {
                m_nextDue = now + m_delay;
            }
            m_jobs.push_back(std::move(job));
            m_quota.Add();
        }
    }
    return true;
}

bool CClientConnection::Pump(Clock::time_point now)
{
    while (!m_jobs.empty() && HasRoomForOutput() && m_nextDue <= now) {
        CReplyJob& job = *m_jobs.front();
        if (!job.Open()) {
            // Out of descriptors: the reply waits instead of answering an existing file as missing.
            m_nextDue = now + kBusyRetry;
            break;
        }
        if (!job.Done()) {
            if (!WantsWrite()) {
                m_lastSent = now;
            }
            job.AppendNextFrame(m_out);
            m_nextDue = now + m_delay;
        }
        if (job.EndsConnection()) {
            m_closing = true;
            ClearJobs();
            break;
        }
        if (job.Done()) {
            PopJob();
        }
    }
    if (m_closing) {
        return WantsWrite();
    }
    // Frames that waited for room in the request queue.
    if (!TakeFrames(now)) {
        return false;
    }
    return !(m_inputEnded && m_jobs.empty() && !WantsWrite());
}

bool CClientConnection::OnWritable()
{
    while (m_outPos < m_out.size()) {
        const ssize_t sent =
            ::send(m_fd, m_out.data() + m_outPos, m_out.size() - m_outPos, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                break;
            }
            if (errno == EINTR) {
                continue;
            }
            Log(m_peer + " send failed: " + std::strerror(errno));
            return false;
        }
        m_outPos += static_cast<std::size_t>(sent);
        m_lastSent = Clock::now();
    }
    if (m_outPos == m_out.size()) {
        m_out.clear();
        m_outPos = 0;
    } else if (m_outPos >= kOutputHighWater) {
        m_out.erase(m_out.begin(), m_out.begin() + static_cast<std::ptrdiff_t>(m_outPos));
        m_outPos = 0;
    }
    if (m_closing) {
        return WantsWrite();
    }
    return !(m_inputEnded && m_jobs.empty() && !WantsWrite());
}

}  // namespace korv::server
