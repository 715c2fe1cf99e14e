#include "IgnoredFrameLog.h"

#include "Log.h"

namespace korv::server {

void CIgnoredFrameLog::Note(std::uint16_t type, Clock::time_point now)
{
    ++m_count;
    m_lastType = type;
    if (!m_everLogged || now - m_lastLine >= std::chrono::seconds(1)) {
        Flush();
        m_lastLine = now;
        m_everLogged = true;
    }
}

void CIgnoredFrameLog::Flush()
{
    if (m_count == 0) {
        return;
    }
    // Appended piecewise: gcc 12 warns falsely (-Wrestrict) on "literal" + std::string.
    std::string line = m_peer;
    if (m_count == 1) {
        line += " message type ";
        line += std::to_string(m_lastType);
        line += " ignored: not a request";
    } else {
        line += ' ';
        line += std::to_string(m_count);
        line += " messages ignored: not requests (the last of type ";
        line += std::to_string(m_lastType);
        line += ')';
    }
    Log(line);
    m_count = 0;
}

}  // namespace korv::server
