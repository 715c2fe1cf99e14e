#include "CommandLine.h"

#include <CLI/CLI.hpp>
#include <charconv>

#include "KorvanelleClient.h"

namespace korv::cli {
namespace {

constexpr const char* kCommands =
    "usage: korvanelle [--host H] [--port P] [--lib PATH] COMMAND\n"
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
    "                       patient.json lists the file of each name); on a terminal\n"
    "                       one line shows the progress";

constexpr const char* kExitCodes =
    "Options that take a value accept --name=value as well as --name value.\n"
    "\n"
    "Exit codes:\n"
    "  0  success\n"
    "  1  any other failure (library not loadable, file not writable, ...)\n"
    "  2  bad arguments\n"
    "  3  cannot connect to the server\n"
    "  4  patient not found (no answer, or a document with no name and no modalities)\n"
    "  5  thumbnail or image not available";

std::string CheckPort(const std::string& text)
{
    const char* end = text.data() + text.size();
    int value = 0;
    const auto result = std::from_chars(text.data(), end, value);
    const bool valid = !text.empty() && result.ec == std::errc() && result.ptr == end &&
                       value >= 1 && value <= 65535;
    return valid ? std::string() : "wants a number from 1 to 65535, not '" + text + "'";
}

// The usage lines are part of the description, written out: CLI11's would list the
// positionals, which are the commands' words.
class UsageFormatter : public CLI::Formatter {
public:
    UsageFormatter() { column_width(23); }
    std::string make_usage(const CLI::App*, std::string) const override { return {}; }
};

// The declarations of every option; help and version are handled by the caller, which
// prints them without loading the library.
struct Declared {
    CLI::App app{kCommands, "korvanelle"};
    std::string command;
    bool help = false;
    bool version = false;

    explicit Declared(CliOptions& options)
    {
        app.set_help_flag();
        // As before CLI11: an option given twice takes its last value.
        app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        app.footer(kExitCodes);
        app.formatter(std::make_shared<UsageFormatter>());
        app.add_option("--host", options.host,
                       "server host name or IPv4 address (default 127.0.0.1)")
            ->type_name("H");
        app.add_option("--port", options.port, "server TCP port (default 7770)")
            ->type_name("P")
            ->check(CLI::Validator(CheckPort, ""));
        app.add_option("--lib", options.library,
                       "the client library to load (default: libKorvanelleClient.so\n"
                       "of this build)")
            ->type_name("PATH")
            ->envname("KORVANELLE_LIB");
        app.add_option("-o,--output", options.output, "the file or folder to write")
            ->type_name("FILE|DIR");
        app.add_flag("--json", options.json, "show: JSON instead of the tree")
            ->disable_flag_override();
        app.add_flag("--quiet", options.quiet, "fetch: no progress line")->disable_flag_override();
        app.add_flag("-h,--help", help, "this text")->disable_flag_override();
        app.add_flag("--version", version, "the version of korvanelle")->disable_flag_override();
        app.add_option("command", command)->group("");
        app.add_option("target", options.target)->group("");
    }
};

bool CommandFromName(const std::string& name, Command& command)
{
    static const std::pair<const char*, Command> kNames[] = {{"show", Command::Show},
                                                             {"thumb", Command::Thumb},
                                                             {"image", Command::Image},
                                                             {"fetch", Command::Fetch}};
    for (const auto& [text, value] : kNames) {
        if (name == text) {
            command = value;
            return true;
        }
    }
    return false;
}

// What the declarations cannot say: which options go with which command.
bool Check(const std::string& name, CliOptions& options, std::string& error)
{
    if (name.empty()) {
        error = "no command given";
        return false;
    }
    if (!CommandFromName(name, options.command)) {
        error = "unknown command '" + name + "'";
        return false;
    }
    const bool isShow = options.command == Command::Show;
    if (options.target.empty()) {
        error = name + " needs " +
                (isShow || options.command == Command::Fetch ? "a patient ID" : "a name");
        return false;
    }
    if (options.json && !isShow) {
        error = "--json goes with show only";
        return false;
    }
    if (isShow && !options.output.empty()) {
        error = "show writes to the terminal; -o goes with thumb, image and fetch";
        return false;
    }
    if (!isShow && options.output.empty()) {
        error = name + " needs -o " + (options.command == Command::Fetch ? "DIR" : "FILE");
        return false;
    }
    return true;
}

}  // namespace

std::string CCommandLine::Usage()
{
    CliOptions options;
    std::string usage = Declared(options).app.help();
    // CLI11 puts two blank lines before the footer; one reads better.
    const std::size_t gap = usage.find("\n\n\n");
    return gap == std::string::npos ? usage : usage.erase(gap, 1);
}

const char* CCommandLine::VersionText()
{
    return "korvanelle " KORVANELLE_VERSION_STRING "\n";
}

bool CCommandLine::Parse(const std::vector<std::string>& args, CliOptions& options,
                         std::string& error)
{
    Declared declared(options);
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        declared.app.parse(reversed);
    } catch (const CLI::ArgumentMismatch& e) {
        // "json was given a disallowed flag override" said the way the other messages are.
        const std::string what = e.what();
        const std::size_t at = what.find(" was given a disallowed flag override");
        error = at == std::string::npos ? what : "--" + what.substr(0, at) + " takes no value";
        return false;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    if (declared.help) {
        options.command = Command::Help;
        return true;
    }
    if (declared.version) {
        options.command = Command::Version;
        return true;
    }
    return Check(declared.command, options, error);
}

}  // namespace korv::cli
