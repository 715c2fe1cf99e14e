#include "IgnoredFrameLog.h"

#include "Log.h"

namespace korv::server {

void CIgnoredFrameLog::Note(std::uint16_t type, Clock::time_point now) {
  ++m_count;
  m_lastType = type;
  if (!m_everLogged || now - m_lastLine >= std::chrono::seconds(1)) {
    Flush();
    m_lastLine = now;
    m_everLogged = true;
  }
}

void CIgnoredFrameLog::Flush() {
  if (m_count == 0) {
    return;
  }
  Log(m_peer + (m_count == 1 ? " message type " + std::to_string(m_lastType) + " ignored: not a request"
                             : " " + std::to_string(m_count) + " messages ignored: not requests (the last of type " +
                                   std::to_string(m_lastType) + ")"));
  m_count = 0;
}

}  // namespace korv::server
