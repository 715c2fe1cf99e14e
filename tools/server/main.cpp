// korvanelle-server: a sample server for the patient, thumbnail and image protocol.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "Server.h"
#include "ServerOptions.h"

int main(int argc, char** argv)
{
    using namespace korv::server;
    ServerOptions options;
    std::string error;
    if (!CServerOptions::Parse(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "korvanelle-server: %s (see korvanelle-server --help)\n",
                     error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(CServerOptions::Usage(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(CServerOptions::VersionText(), stdout);
        return 0;
    }
    CServer server(options);
    if (!server.Start(error)) {
        std::fprintf(stderr, "korvanelle-server: %s\n", error.c_str());
        return 1;
    }
    // Scripts and tests read the port from this first line.
    std::printf("listening on %s:%d\n", options.bindAddress.c_str(), server.Port());
    std::fflush(stdout);
    return server.Run();
}
