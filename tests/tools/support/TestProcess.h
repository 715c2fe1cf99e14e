// A child process started by a test: its stdout is readable line by line, its stderr is kept
// in a file, and it is always killed and reaped when the object goes away.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace korv::test {

class CTestProcess {
public:
    CTestProcess() = default;
    ~CTestProcess();
    CTestProcess(const CTestProcess&) = delete;
    CTestProcess& operator=(const CTestProcess&) = delete;

    // Starts argv[0] with the arguments; extraEnv entries are NAME=VALUE added to the environment.
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {});
    // The descriptor limits the next Start gives the child (set in it before it runs the
    // program, so the test's own limits stay as they are).
    void LimitDescriptors(rlim_t soft, rlim_t hard) { m_descriptorLimit = rlimit{soft, hard}; }
    // The next line of stdout without its newline; nullopt at end of stream or time-out.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
    // Everything left on stdout until the process closes it (bounded by timeout).
    std::string ReadAll(std::chrono::milliseconds timeout);
    // Exit code, 128 + signal for a killed process, nullopt if still running after timeout.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    void Signal(int number);
    std::string Stderr() const;
    bool Running() const { return m_pid > 0 && !m_status; }

private:
    bool ReadMore(std::chrono::steady_clock::time_point deadline);

    int m_pid = -1;
    int m_stdout = -1;
    std::string m_stderrPath;
    std::string m_pending;
    std::optional<int> m_status;
    std::optional<rlimit> m_descriptorLimit;
};

// Runs a process to completion: exit code (nullopt on time-out), stdout and stderr.
struct ProcessResult {
    std::optional<int> exitCode;
    std::string out;
    std::string err;
};
ProcessResult RunProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                         const std::vector<std::string>& extraEnv = {});

}  // namespace korv::test
