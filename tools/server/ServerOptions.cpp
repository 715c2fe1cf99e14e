#include "ServerOptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "KorvanelleClientVersion.h"

namespace korv::server {
namespace {

// Late replies come after the shortest wait of the client library (5 s for a thumbnail).
constexpr int kLateReplyDelayMs = 5500;

// The one-line error names the option and the value refused, as before the parser was shared.
template <typename T>
CLI::Option* Number(CLI::App& app, const std::string& name, T& value, long long low, long long high,
                    const std::string& help)
{
    const std::string range =
        "a number from " + std::to_string(low) + " to " + std::to_string(high);
    return app
        .add_option_function<std::string>(
            name,
            [&value, name, low, high, range](const std::string& text) {
                long long number = 0;
                std::size_t used = 0;
                try {
                    number = std::stoll(text, &used);
                } catch (const std::exception&) {
                    used = 0;
                }
                if (used == 0 || used != text.size() || number < low || number > high) {
                    throw CLI::ValidationError(name + " wants " + range + ", not '" + text + "'");
                }
                value = static_cast<T>(number);
            },
            help)
        ->type_name("N");
}

// Built afresh for each parse: the callbacks write into that parse's options.
void Declare(CLI::App& app, ServerOptions& options)
{
    app.set_help_flag("--help,-h", "this text");
    app.set_version_flag("--version", CServerOptions::VersionText(), "the version");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.allow_extras();
    app.add_option("--data", options.dataDir, "the data folder (required)")->type_name("DIR");
    app.add_option("--bind", options.bindAddress, "IPv4 address to listen on (default 127.0.0.1)")
        ->type_name("ADDR");
    Number(app, "--port", options.port, 0, 65535, "TCP port, 0 picks a free one (default 7770)");
    Number(app, "--chunk-size", options.chunkSize, 1, 65535,
           "most text or image bytes per reply message (default: as many as a message can carry)");
    app.add_option_function<std::string>(
           "--image-order",
           [&options](const std::string& text) {
               if (text == "ascending") {
                   options.imageOrder = ImageOrder::Ascending;
               } else if (text == "reverse") {
                   options.imageOrder = ImageOrder::Reverse;
               } else if (text == "shuffle") {
                   options.imageOrder = ImageOrder::Shuffle;
               } else {
                   throw CLI::ValidationError(
                       "--image-order wants ascending, reverse or shuffle, not '" + text + "'");
               }
           },
           "ascending, reverse or shuffle (default ascending)")
        ->type_name("ORDER");
    Number(app, "--delay-ms", options.delayMs, 0, 600000,
           "wait N ms before each reply message (default 0)");
    app.add_option_function<std::string>(
           "--fault",
           [&options](const std::string& text) {
               if (!ParseServerFault(text, options.fault)) {
                   throw CLI::ValidationError("--fault wants one of " +
                                              std::string(ServerFaultNames()) + ", not '" + text +
                                              "'");
               }
           },
           std::string("break the replies on purpose, for tests: one of ") + ServerFaultNames() +
               " (which waits 5500 ms before each reply message unless --delay-ms is given)")
        ->type_name("NAME");
    Number(app, "--max-connections", options.maxConnections, 1, 1000000,
           "clients served at once (default: what the descriptor limit, raised to its hard "
           "limit, allows, at most 4096); when full, a new client takes the place of a stalled "
           "one");
    Number(app, "--max-queued", options.maxQueuedJobs, 1, 1000000,
           "requests waiting for replies over all clients (default 1024; a client with none "
           "waiting may always add one)");
    Number(app, "--idle-timeout-ms", options.idleTimeoutMs, 100, 3600000,
           "close a client that leaves a frame unfinished, or does not take its replies, for N "
           "ms (default 30000)");
    Number(app, "--first-frame-timeout-ms", options.firstFrameTimeoutMs, 100, 3600000,
           "close a client that has not completed a frame N ms after connecting (default 5000)");
    app.footer("Options accept --name=value as well as --name value.\n\n"
               "The first line on stdout is \"listening on ADDR:PORT\". One log line per request "
               "goes\nto stderr. SIGINT or SIGTERM stop the server.");
}

}  // namespace

const char* CServerOptions::Usage()
{
    static const std::string usage = [] {
        ServerOptions options;
        CLI::App app("Serves patients/<HISID>.xml, thumbs/<name> and images/<name> from DIR.",
                     "korvanelle-server");
        Declare(app, options);
        return app.help();
    }();
    return usage.c_str();
}

const char* CServerOptions::VersionText()
{
    return "korvanelle-server " KORVANELLE_VERSION_STRING "\n";
}

bool CServerOptions::Parse(const std::vector<std::string>& args, ServerOptions& options,
                           std::string& error)
{
    CLI::App app;
    Declare(app, options);
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them backwards
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        return true;
    } catch (const CLI::CallForVersion&) {
        options.version = true;
        return true;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    if (const auto extras = app.remaining(); !extras.empty()) {
        error = "unknown argument '" + extras.front() + "'";
        return false;
    }
    options.maxConnectionsGiven = app.count("--max-connections") != 0;
    if (options.fault == ServerFault::LateReply && app.count("--delay-ms") == 0) {
        options.delayMs = kLateReplyDelayMs;
    }
    if (options.dataDir.empty()) {
        error = "--data DIR is required";
        return false;
    }
    return true;
}

}  // namespace korv::server
