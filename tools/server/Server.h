// The listening socket and the one event loop that serves every client.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ClientConnection.h"
#include "DataFolder.h"
#include "EvictionLog.h"
#include "JobQuota.h"
#include "RequestHandler.h"
#include "ServerOptions.h"
#include "StopSignal.h"

namespace korv::server {

class CServer {
public:
    explicit CServer(const ServerOptions& options);
    ~CServer();
    CServer(const CServer&) = delete;
    CServer& operator=(const CServer&) = delete;

    // Opens the data folder and the listening socket; error says what went wrong.
    bool Start(std::string& error);
    int Port() const { return m_port; }
    // Serves until SIGINT or SIGTERM.
    int Run();

private:
    bool Listen(std::string& error);
    void AcceptAll(CClientConnection::Clock::time_point now);
    // Closes the client that gives way first (see CClientConnection::Rank) among those that
    // were served in this round, up to the given tier; false when there is none.
    // acceptedSoFar: clients accepted in this round, which have not been read yet; while
    // there are some, only a stalled client gives way.
    bool MakeRoom(std::vector<std::size_t>& order, bool& ordered, std::size_t polled, int maxTier,
                  std::size_t acceptedSoFar, CClientConnection::Clock::time_point now);
    // The connection limit, lowered so that each client can hold a socket and an open file
    // within the process's descriptor limit (raised to its hard limit first).
    std::size_t MaxConnections() const;

    const ServerOptions& m_options;
    CDataFolder m_folder;
    CRequestHandler m_handler;
    CJobQuota m_quota;
    CStopSignal m_stop;
    int m_listenFd = -1;
    int m_port = 0;
    std::vector<std::unique_ptr<CClientConnection>> m_clients;
    std::size_t m_maxConnections = 1;
    CEvictionLog m_evictions;
    CClientConnection::Clock::time_point m_acceptPausedUntil{};
};

}  // namespace korv::server
