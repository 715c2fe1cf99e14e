#include "ServerOptions.h"

#include <CLI/CLI.hpp>
#include <map>

#include "KorvanelleClientVersion.h"

namespace korv::server {
namespace {

// Late replies come after the shortest wait of the client library (5 s for a thumbnail).
constexpr int kLateReplyDelayMs = 5500;

// Built afresh for each parse: the options write into that parse's result.
void Declare(CLI::App& app, ServerOptions& options)
{
    app.set_help_flag("--help,-h", "this text");
    app.set_version_flag("--version", CServerOptions::VersionText(), "the version");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.allow_extras();  // reported as "unknown argument", as before
    app.add_option("--data", options.dataDir, "the data folder (required)")->type_name("DIR");
    app.add_option("--bind", options.bindAddress, "IPv4 address to listen on")
        ->type_name("ADDR")
        ->capture_default_str();
    app.add_option("--port", options.port, "TCP port, 0 picks a free one")
        ->check(CLI::Range(0, 65535))
        ->type_name("N")
        ->capture_default_str();
    app.add_option("--chunk-size", options.chunkSize,
                   "most text or image bytes per reply message (default: as many as fit)")
        ->check(CLI::Range(1, 65535))
        ->type_name("N");
    app.add_option_function<std::string>(
           "--image-order",
           [&options](const std::string& name) {
               const std::map<std::string, ImageOrder> orders = {
                   {"ascending", ImageOrder::Ascending},
                   {"reverse", ImageOrder::Reverse},
                   {"shuffle", ImageOrder::Shuffle}};
               const auto order = orders.find(name);
               if (order == orders.end()) {
                   throw CLI::ValidationError("--image-order",
                                              name + " is not ascending, reverse or shuffle");
               }
               options.imageOrder = order->second;
           },
           "ascending, reverse or shuffle (default ascending)")
        ->type_name("ORDER");
    app.add_option("--delay-ms", options.delayMs, "wait N ms before each reply message")
        ->check(CLI::Range(0, 600000))
        ->type_name("N")
        ->capture_default_str();
    app.add_option_function<std::string>(
           "--fault",
           [&options](const std::string& name) {
               if (!ParseServerFault(name, options.fault)) {
                   throw CLI::ValidationError("--fault",
                                              name + " is not one of " + ServerFaultNames());
               }
           },
           std::string("break the replies on purpose, for tests: ") + ServerFaultNames() +
               " (late-reply waits 5500 ms before each reply message unless --delay-ms is given)")
        ->type_name("NAME");
    app.add_option("--max-connections", options.maxConnections,
                   "clients served at once (default: what the descriptor limit, raised to its "
                   "hard limit, allows, at most 4096); when full, a new client takes a stalled "
                   "one's place")
        ->check(CLI::Range(1, 1000000))
        ->type_name("N");
    app.add_option("--max-queued", options.maxQueuedJobs,
                   "requests waiting for replies over all clients (a client with none waiting "
                   "may always add one)")
        ->check(CLI::Range(1, 1000000))
        ->type_name("N")
        ->capture_default_str();
    app.add_option("--idle-timeout-ms", options.idleTimeoutMs,
                   "close a client that leaves a frame unfinished, or does not take its "
                   "replies, for N ms")
        ->check(CLI::Range(100, 3600000))
        ->type_name("N")
        ->capture_default_str();
    app.add_option("--first-frame-timeout-ms", options.firstFrameTimeoutMs,
                   "close a client that has not completed a frame N ms after connecting")
        ->check(CLI::Range(100, 3600000))
        ->type_name("N")
        ->capture_default_str();
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
