// SIGINT and SIGTERM turned into a readable descriptor the event loop can poll (self-pipe).
#pragma once

namespace korv::server {

class CStopSignal {
public:
    // Installs the handlers; false when the pipe cannot be made.
    bool Install();
    int ReadFd() const;
    // Which signal arrived, 0 when none.
    int Received() const;
};

}  // namespace korv::server
