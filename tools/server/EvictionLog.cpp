#include "EvictionLog.h"

#include <string>

#include "Log.h"

namespace korv::server {

void CEvictionLog::Note(bool stalled, Clock::time_point now)
{
    ++m_count;
    m_stalled += stalled ? 1 : 0;
    if (!m_everLogged) {
        m_lastLine = now - std::chrono::seconds(1);
        m_everLogged = true;
    }
    FlushIfDue(now);
}

std::optional<CEvictionLog::Clock::time_point> CEvictionLog::NextLine() const
{
    if (m_count == 0) {
        return std::nullopt;
    }
    return m_lastLine + std::chrono::seconds(1);
}

void CEvictionLog::FlushIfDue(Clock::time_point now)
{
    if (m_count != 0 && now - m_lastLine >= std::chrono::seconds(1)) {
        Flush();
        m_lastLine = now;
    }
}

void CEvictionLog::Flush()
{
    if (m_count == 0) {
        return;
    }
    // Appended piecewise: gcc 12 warns falsely (-Wrestrict) on "literal" + std::string.
    std::string line = "serving at most ";
    line += std::to_string(m_maxConnections);
    line += " clients: closed ";
    line += std::to_string(m_count);
    line += m_count == 1 ? " connection" : " connections";
    line += " to make room for new ones (";
    line += std::to_string(m_stalled);
    line += " had not completed a request)";
    Log(line);
    m_count = 0;
    m_stalled = 0;
}

}  // namespace korv::server
