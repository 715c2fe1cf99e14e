#include "TestProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace korv::test {

using Clock = std::chrono::steady_clock;

CTestProcess::~CTestProcess()
{
    if (Running()) {
        ::kill(m_pid, SIGKILL);
        Wait(std::chrono::seconds(10));
    }
    if (m_stdout >= 0) {
        ::close(m_stdout);
    }
    if (!m_stderrPath.empty()) {
        ::unlink(m_stderrPath.c_str());
    }
}

bool CTestProcess::Start(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnv)
{
    char stderrTemplate[] = "/tmp/korv-test-stderr-XXXXXX";
    const int errFd = ::mkstemp(stderrTemplate);
    if (errFd < 0) {
        return false;
    }
    m_stderrPath = stderrTemplate;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(errFd);
        return false;
    }
    // extraEnv entries replace inherited ones of the same name.
    std::vector<std::string> env(extraEnv);
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& extra : extraEnv) {
            replaced = replaced || extra.rfind(name, 0) == 0;
        }
        if (!replaced) {
            env.push_back(entry);
        }
    }
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : env) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    envp.push_back(nullptr);

    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(errFd, STDERR_FILENO);
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, STDIN_FILENO);
        if (m_descriptorLimit && ::setrlimit(RLIMIT_NOFILE, &*m_descriptorLimit) != 0) {
            ::_exit(126);
        }
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(errFd);
    if (m_pid < 0) {
        ::close(out[0]);
        return false;
    }
    m_stdout = out[0];
    return true;
}

// Appends the next piece of stdout to m_pending; false at end of stream or at the deadline.
bool CTestProcess::ReadMore(Clock::time_point deadline)
{
    while (m_stdout >= 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return false;
        }
        pollfd fd{m_stdout, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left)) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t got = ::read(m_stdout, buffer, sizeof buffer);
        if (got <= 0) {
            return false;
        }
        m_pending.append(buffer, static_cast<std::size_t>(got));
        return true;
    }
    return false;
}

std::optional<std::string> CTestProcess::ReadLine(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const std::size_t newline = m_pending.find('\n');
        if (newline != std::string::npos) {
            std::string line = m_pending.substr(0, newline);
            m_pending.erase(0, newline + 1);
            return line;
        }
        if (!ReadMore(deadline)) {
            return std::nullopt;
        }
    }
}

std::string CTestProcess::ReadAll(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (ReadMore(deadline)) {}
    std::string all;
    all.swap(m_pending);
    return all;
}

std::optional<int> CTestProcess::Wait(std::chrono::milliseconds timeout)
{
    if (m_status || m_pid <= 0) {
        return m_status;
    }
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return m_status;
        }
        if (done < 0 || Clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void CTestProcess::Signal(int number)
{
    if (Running()) {
        ::kill(m_pid, number);
    }
}

std::string CTestProcess::Stderr() const
{
    std::ifstream file(m_stderrPath, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

ProcessResult RunProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                         const std::vector<std::string>& extraEnv)
{
    ProcessResult result;
    CTestProcess process;
    if (!process.Start(argv, extraEnv)) {
        return result;
    }
    const auto deadline = Clock::now() + timeout;
    result.out = process.ReadAll(timeout);
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    result.exitCode = process.Wait(std::max(left, std::chrono::milliseconds(100)));
    result.err = process.Stderr();
    return result;
}

}  // namespace korv::test
