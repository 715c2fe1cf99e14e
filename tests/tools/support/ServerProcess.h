// korvanelle-server started for a test on a free loopback port.
#pragma once

#include <string>
#include <vector>

#include "TestProcess.h"

namespace korv::test {

class CServerProcess {
public:
    // Starts the server on port 0 with the data folder and extra options; true once it has
    // printed the port it listens on.
    bool Start(const std::string& dataDir, const std::vector<std::string>& options = {});
    // Soft and hard descriptor limits of the server started next.
    void LimitDescriptors(rlim_t soft, rlim_t hard) { m_process.LimitDescriptors(soft, hard); }
    int Port() const { return m_port; }
    // SIGTERM and the exit code (nullopt if it did not stop in time).
    std::optional<int> Stop(int signal = 15);
    std::string Log() const { return m_process.Stderr(); }
    CTestProcess& Process() { return m_process; }

    static std::string ExecutablePath();

private:
    CTestProcess m_process;
    int m_port = 0;
};

}  // namespace korv::test
