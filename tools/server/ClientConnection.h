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
#include "ReplyJob.h"
#include "RequestHandler.h"

namespace korv::server {

class CClientConnection {
 public:
  using Clock = std::chrono::steady_clock;

  CClientConnection(int fd, std::string peer, CRequestHandler& handler, std::chrono::milliseconds delay);
  ~CClientConnection();
  CClientConnection(const CClientConnection&) = delete;
  CClientConnection& operator=(const CClientConnection&) = delete;

  int Fd() const { return m_fd; }
  const std::string& Peer() const { return m_peer; }

  bool WantsRead() const;
  bool WantsWrite() const { return m_outPos < m_out.size(); }
  // When the next reply frame is due, while one is owed and there is room for it.
  std::optional<Clock::time_point> NextWakeup(Clock::time_point now) const;

  // Each returns false when the connection is finished and is to be closed.
  bool OnReadable(Clock::time_point now);
  bool OnWritable();
  // Turns due reply frames into output while there is room for it.
  bool Pump(Clock::time_point now);

 private:
  bool TakeFrames(Clock::time_point now);
  bool HasRoomForOutput() const;

  int m_fd;
  std::string m_peer;
  CRequestHandler& m_handler;
  std::chrono::milliseconds m_delay;
  CFrameReader m_reader;
  std::deque<std::unique_ptr<CReplyJob>> m_jobs;
  Clock::time_point m_nextDue;
  std::vector<std::uint8_t> m_out;
  std::size_t m_outPos = 0;
  bool m_inputEnded = false;
  bool m_closing = false;  // a reply ended the connection: close once the output is out
};

}  // namespace korv::server
