#include "CommandLine.h"

#include <algorithm>
#include <charconv>

#include "KorvanelleClient.h"

namespace korv::cli {
namespace {

bool ParsePort(const std::string& text, int& port)
{
    const char* end = text.data() + text.size();
    int value = 0;
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end || value < 1 ||
        value > 65535) {
        return false;
    }
    port = value;
    return true;
}

bool CommandFromName(const std::string& name, Command& command)
{
    if (name == "show") {
        command = Command::Show;
    } else if (name == "thumb") {
        command = Command::Thumb;
    } else if (name == "image") {
        command = Command::Image;
    } else if (name == "fetch") {
        command = Command::Fetch;
    } else {
        return false;
    }
    return true;
}

}  // namespace

const char* CCommandLine::Usage()
{
    return "usage: korvanelle [--host H] [--port P] [--lib PATH] COMMAND\n"
           "       korvanelle --help | --version\n"
           "\n"
           "Commands:\n"
           "  show ID [--json]     the patient's name, modalities, studies and fields,\n"
           "                       as an indented tree or as JSON\n"
           "  thumb NAME -o FILE   write the thumbnail NAME to FILE\n"
           "  image NAME -o FILE   write the image NAME to FILE\n"
           "  fetch ID -o DIR      write DIR/patient.json and, for every image field, its\n"
           "                       thumbnail to DIR/thumbs/ and its image to DIR/images/\n"
           "                       (names that would share a file get a ~N suffix;\n"
           "                       patient.json lists the file of each name)\n"
           "\n"
           "Options:\n"
           "  --host H             server host name or IPv4 address (default 127.0.0.1)\n"
           "  --port P             server TCP port (default 7770)\n"
           "  --lib PATH           the client library to load (default: $KORVANELLE_LIB,\n"
           "                       else libKorvanelleClient.so of this build)\n"
           "  --help               this text\n"
           "  --version            the version of korvanelle\n"
           "Options that take a value accept --name=value as well as --name value.\n"
           "\n"
           "Exit codes:\n"
           "  0  success\n"
           "  1  any other failure (library not loadable, file not writable, ...)\n"
           "  2  bad arguments\n"
           "  3  cannot connect to the server\n"
           "  4  patient not found (no answer, or a document with no name and no modalities)\n"
           "  5  thumbnail or image not available\n";
}

const char* CCommandLine::VersionText()
{
    return "korvanelle " KORVANELLE_VERSION_STRING "\n";
}

bool CCommandLine::Parse(const std::vector<std::string>& rawArgs, CliOptions& options,
                         std::string& error)
{
    // --name=value is --name value; after "--" nothing is split.
    std::vector<std::string> args;
    std::vector<bool> inlineValue;
    for (const std::string& arg : rawArgs) {
        const std::size_t equals = arg.find('=');
        const bool ended = std::find(args.begin(), args.end(), "--") != args.end();
        if (!ended && arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            args.push_back(arg.substr(0, equals));
            args.push_back(arg.substr(equals + 1));
            inlineValue.insert(inlineValue.end(), {true, true});
        } else {
            args.push_back(arg);
            inlineValue.push_back(false);
        }
    }
    std::vector<std::string> positional;
    bool optionsEnded = false;
    bool commandGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            positional.push_back(arg);
            continue;
        }
        const bool takesValue =
            arg == "--host" || arg == "--port" || arg == "--lib" || arg == "--output";
        if (inlineValue[i] && !takesValue) {
            error = arg + " takes no value";
            return false;
        }
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            options.command = Command::Help;
            return true;
        } else if (arg == "--version") {
            options.command = Command::Version;
            return true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--host" || arg == "--port" || arg == "--lib" || arg == "-o" ||
                   arg == "--output") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = arg + " needs a value";
                return false;
            }
            const std::string& value = args[++i];
            if (arg == "--host") {
                options.host = value;
            } else if (arg == "--port") {
                if (!ParsePort(value, options.port)) {
                    error = "--port wants a number from 1 to 65535, not '" + value + "'";
                    return false;
                }
            } else if (arg == "--lib") {
                options.library = value;
            } else {
                options.output = value;
            }
        } else {
            error = "unknown option '" + arg + "'";
            return false;
        }
    }
    if (positional.empty()) {
        error = "no command given";
        return false;
    }
    commandGiven = CommandFromName(positional[0], options.command);
    if (!commandGiven) {
        error = "unknown command '" + positional[0] + "'";
        return false;
    }
    const bool isShow = options.command == Command::Show;
    const char* what = isShow || options.command == Command::Fetch ? "a patient ID" : "a name";
    if (positional.size() < 2 || positional[1].empty()) {
        error = positional[0] + " needs " + what;
        return false;
    }
    if (positional.size() > 2) {
        error = "unexpected argument '" + positional[2] + "'";
        return false;
    }
    options.target = positional[1];
    if (options.json && !isShow) {
        error = "--json goes with show only";
        return false;
    }
    if (isShow && !options.output.empty()) {
        error = "show writes to the terminal; -o goes with thumb, image and fetch";
        return false;
    }
    if (!isShow && options.output.empty()) {
        error = positional[0] + " needs -o " + (options.command == Command::Fetch ? "DIR" : "FILE");
        return false;
    }
    return true;
}

}  // namespace korv::cli
