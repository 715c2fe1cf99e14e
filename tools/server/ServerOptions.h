// The server's command line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "ChunkOrder.h"
#include "ServerFault.h"

namespace korv::server {

struct ServerOptions {
    std::string dataDir;
    std::string bindAddress = "127.0.0.1";
    int port = 7770;
    std::size_t chunkSize = 0;  // 0: as large as a frame allows
    ImageOrder imageOrder = ImageOrder::Ascending;
    int delayMs = 0;
    ServerFault fault = ServerFault::None;
    // Clients served at once, when given (and never more than the descriptor limit carries);
    // by default the server sizes it from its descriptor limit, and takes this where that
    // limit is unbounded.
    int maxConnections = 256;
    bool maxConnectionsGiven = false;
    // Requests waiting for their reply over all clients; a client with none waiting may always
    // queue one, so one client's backlog never locks out another.
    int maxQueuedJobs = 1024;
    // A client that leaves a frame unfinished, or whose replies make no progress, for this long
    // is closed.
    int idleTimeoutMs = 30000;
    // A client that has not completed its first frame this long after connecting is closed.
    int firstFrameTimeoutMs = 5000;
    bool help = false;
    bool version = false;
};

class CServerOptions {
public:
    // False with error set when the arguments are not usable.
    static bool Parse(const std::vector<std::string>& args, ServerOptions& options,
                      std::string& error);
    static const char* Usage();
    // "korvanelle-server VERSION" and a newline.
    static const char* VersionText();
};

}  // namespace korv::server
