#include "ServerOptions.h"

#include <charconv>
#include <string>

#include "KorvanelleClientVersion.h"

namespace korv::server {
namespace {

// Late replies come after the shortest wait of the client library (5 s for a thumbnail).
constexpr int kLateReplyDelayMs = 5500;

bool ParseNumber(const std::string& text, long long low, long long high, long long& value)
{
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end && value >= low &&
           value <= high;
}

}  // namespace

const char* CServerOptions::Usage()
{
    return "usage: korvanelle-server --data DIR [options]\n"
           "\n"
           "Serves patients/<HISID>.xml, thumbs/<name> and images/<name> from DIR.\n"
           "\n"
           "  --data DIR                  the data folder (required)\n"
           "  --bind ADDR                 IPv4 address to listen on (default 127.0.0.1)\n"
           "  --port N                    TCP port, 0 picks a free one (default 7770)\n"
           "  --chunk-size N              most text or image bytes per reply message\n"
           "                              (default: as many as a message can carry)\n"
           "  --image-order ORDER         ascending, reverse or shuffle (default ascending)\n"
           "  --delay-ms N                wait N ms before each reply message (default 0)\n"
           "  --fault NAME                break the replies on purpose, for tests: NAME is one of\n"
           "                              close-mid-text, close-mid-image, stall, "
           "garbage-short-length,\n"
           "                              garbage-no-nul, garbage-cut-fields, lying-total, "
           "lying-offset,\n"
           "                              zero-length-chunk, other-name or late-reply (which "
           "waits\n"
           "                              5500 ms before each reply message unless --delay-ms is "
           "given)\n"
           "  --max-connections N         clients served at once (default 256; fewer when the\n"
           "                              descriptor limit cannot give each a socket and a file);\n"
           "                              further clients wait to be accepted\n"
           "  --max-queued N              requests waiting for replies over all clients (default\n"
           "                              1024; a client with none waiting may always add one)\n"
           "  --idle-timeout-ms N         close a client that leaves a frame unfinished, or does "
           "not\n"
           "                              take its replies, for N ms (default 30000)\n"
           "  --help                      this text\n"
           "  --version                   the version\n"
           "Options accept --name=value as well as --name value.\n"
           "\n"
           "The first line on stdout is \"listening on ADDR:PORT\". One log line per request goes\n"
           "to stderr. SIGINT or SIGTERM stop the server.\n";
}

const char* CServerOptions::VersionText()
{
    return "korvanelle-server " KORVANELLE_VERSION_STRING "\n";
}

bool CServerOptions::Parse(const std::vector<std::string>& rawArgs, ServerOptions& options,
                           std::string& error)
{
    // --name=value is --name value.
    std::vector<std::string> args;
    for (const std::string& arg : rawArgs) {
        const std::size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            args.push_back(arg.substr(0, equals));
            args.push_back(arg.substr(equals + 1));
        } else {
            args.push_back(arg);
        }
    }
    bool delayGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return true;
        }
        if (arg == "--version") {
            options.version = true;
            return true;
        }
        if (arg != "--data" && arg != "--bind" && arg != "--port" && arg != "--chunk-size" &&
            arg != "--image-order" && arg != "--delay-ms" && arg != "--fault" &&
            arg != "--max-connections" && arg != "--max-queued" && arg != "--idle-timeout-ms") {
            error = "unknown argument '" + arg + "'";
            return false;
        }
        if (i + 1 >= args.size()) {
            error = arg + " needs a value";
            return false;
        }
        const std::string& value = args[++i];
        long long number = 0;
        if (arg == "--data") {
            options.dataDir = value;
        } else if (arg == "--bind") {
            options.bindAddress = value;
        } else if (arg == "--port") {
            if (!ParseNumber(value, 0, 65535, number)) {
                error = "--port wants a number from 0 to 65535, not '" + value + "'";
                return false;
            }
            options.port = static_cast<int>(number);
        } else if (arg == "--chunk-size") {
            if (!ParseNumber(value, 1, 65535, number)) {
                error = "--chunk-size wants a number from 1 to 65535, not '" + value + "'";
                return false;
            }
            options.chunkSize = static_cast<std::size_t>(number);
        } else if (arg == "--delay-ms") {
            if (!ParseNumber(value, 0, 600000, number)) {
                error = "--delay-ms wants a number from 0 to 600000, not '" + value + "'";
                return false;
            }
            options.delayMs = static_cast<int>(number);
            delayGiven = true;
        } else if (arg == "--max-connections" || arg == "--max-queued" ||
                   arg == "--idle-timeout-ms") {
            const long long low = arg == "--idle-timeout-ms" ? 100 : 1;
            const long long high = arg == "--idle-timeout-ms" ? 3600000 : 1000000;
            if (!ParseNumber(value, low, high, number)) {
                error = arg + " wants a number from " + std::to_string(low) + " to " +
                        std::to_string(high) + ", not '" + value + "'";
                return false;
            }
            (arg == "--max-connections" ? options.maxConnections
             : arg == "--max-queued"    ? options.maxQueuedJobs
                                        : options.idleTimeoutMs) = static_cast<int>(number);
        } else if (arg == "--fault") {
            if (!ParseServerFault(value, options.fault)) {
                error = "--fault wants one of " + std::string(ServerFaultNames()) + ", not '" +
                        value + "'";
                return false;
            }
        } else if (value == "ascending") {
            options.imageOrder = ImageOrder::Ascending;
        } else if (value == "reverse") {
            options.imageOrder = ImageOrder::Reverse;
        } else if (value == "shuffle") {
            options.imageOrder = ImageOrder::Shuffle;
        } else {
            error = "--image-order wants ascending, reverse or shuffle, not '" + value + "'";
            return false;
        }
    }
    if (options.fault == ServerFault::LateReply && !delayGiven) {
        options.delayMs = kLateReplyDelayMs;
    }
    if (options.dataDir.empty()) {
        error = "--data DIR is required";
        return false;
    }
    return true;
}

}  // namespace korv::server
