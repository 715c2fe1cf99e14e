// Runs a process with its standard output and error on a pseudo-terminal, as in a terminal
// window: for output that only appears when a person watches.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace korv::test {

struct PtyResult {
    std::optional<int> exitCode;  // nullopt on time-out (the process is killed)
    std::string output;           // both streams as the terminal got them ("\n" is "\r\n")
};

// columns: the terminal's width. extraEnv entries are NAME=VALUE.
PtyResult RunInPty(const std::vector<std::string>& argv, unsigned short columns,
                   std::chrono::milliseconds timeout,
                   const std::vector<std::string>& extraEnv = {});

}  // namespace korv::test
