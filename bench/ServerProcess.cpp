#include "ServerProcess.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

CServerProcess::~CServerProcess()
{
    Stop();
}

bool CServerProcess::Start(const std::string& program, const std::string& dataDir,
                           const std::vector<std::string>& extraArgs, const std::string& logPath,
                           std::string& error)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        error = "pipe failed";
        return false;
    }
    std::vector<std::string> args{program, "--data", dataDir, "--port", "0"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    m_pid = fork();
    if (m_pid < 0) {
        error = "fork failed";
        return false;
    }
    if (m_pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        // One log line per request: the bench counts the requests the server answered.
        const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
        if (log >= 0) {
            dup2(log, STDERR_FILENO);
        }
        close(pipeFds[0]);
        close(pipeFds[1]);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    std::FILE* out = fdopen(pipeFds[0], "r");
    char line[256] = {};
    const bool gotLine = out != nullptr && std::fgets(line, sizeof line, out) != nullptr;
    if (out != nullptr) {
        std::fclose(out);
    }
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!gotLine ||
        std::sscanf(line, "listening on %u.%u.%u.%u:%d", &a, &b, &c, &d, &m_port) != 5) {
        error = "server did not start: " + std::string(line);
        Stop();
        return false;
    }
    return true;
}

void CServerProcess::Stop()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
}
