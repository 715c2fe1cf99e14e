#include "PtyProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korv::test {

PtyResult RunInPty(const std::vector<std::string>& argv, unsigned short columns,
                   std::chrono::milliseconds timeout, const std::vector<std::string>& extraEnv)
{
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    winsize size{};
    size.ws_row = 24;
    size.ws_col = columns;
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
    PtyResult result;
    if (pid < 0) {
        return result;
    }
    if (pid == 0) {
        for (const std::string& entry : extraEnv) {
            ::putenv(const_cast<char*>(entry.c_str()));
        }
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // Until the child's side closes: read() then fails with EIO.
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd poller{master, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&poller, 1, static_cast<int>(left.count())) <= 0) {
            ::kill(pid, SIGKILL);
            break;
        }
        char buffer[4096];
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            break;
        }
        result.output.append(buffer, static_cast<std::size_t>(got));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(master);
    if (WIFEXITED(status) && std::chrono::steady_clock::now() < deadline) {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

}  // namespace korv::test
