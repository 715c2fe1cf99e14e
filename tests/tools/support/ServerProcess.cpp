#include "ServerProcess.h"

#include <chrono>

namespace korv::test {

std::string CServerProcess::ExecutablePath()
{
    return KORV_SERVER_EXECUTABLE;
}

bool CServerProcess::Start(const std::string& dataDir, const std::vector<std::string>& options)
{
    std::vector<std::string> argv{ExecutablePath(), "--data", dataDir, "--port", "0"};
    argv.insert(argv.end(), options.begin(), options.end());
    if (!m_process.Start(argv)) {
        return false;
    }
    const std::optional<std::string> line = m_process.ReadLine(std::chrono::seconds(10));
    const std::string prefix = "listening on 127.0.0.1:";
    if (!line || line->rfind(prefix, 0) != 0) {
        return false;
    }
    m_port = std::stoi(line->substr(prefix.size()));
    return m_port > 0;
}

std::optional<int> CServerProcess::Stop(int signal)
{
    m_process.Signal(signal);
    return m_process.Wait(std::chrono::seconds(10));
}

}  // namespace korv::test
