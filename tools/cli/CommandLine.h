// The command line of korvanelle.
#pragma once

#include <string>
#include <vector>

namespace korv::cli {

enum class Command { Help, Version, Show, Thumb, Image, Fetch };

struct CliOptions {
    Command command = Command::Help;
    std::string host = "127.0.0.1";
    int port = 7770;
    std::string library;  // empty: KORVANELLE_LIB, then the default location
    std::string target;   // patient identifier or thumbnail/image name, as typed (UTF-8)
    std::string output;   // file or folder of -o
    bool json = false;
    bool quiet = false;  // fetch: no progress line on a terminal
};

class CCommandLine {
public:
    // False with error set when the arguments make no command.
    static bool Parse(const std::vector<std::string>& args, CliOptions& options,
                      std::string& error);
    static std::string Usage();
    // "korvanelle VERSION" and a newline.
    static const char* VersionText();
};

}  // namespace korv::cli
