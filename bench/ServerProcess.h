#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// The sample server run as a child process on a free loopback port, stopped on destruction.
class CServerProcess {
public:
    CServerProcess() = default;
    ~CServerProcess();
    CServerProcess(const CServerProcess&) = delete;
    CServerProcess& operator=(const CServerProcess&) = delete;

    // Starts `program --data dataDir --port 0` plus extraArgs and reads its "listening on"
    // line; its request log (stderr) goes to logPath. False (with the reason in error) when
    // it does not come up.
    bool Start(const std::string& program, const std::string& dataDir,
               const std::vector<std::string>& extraArgs, const std::string& logPath,
               std::string& error);
    void Stop();
    int Port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};
