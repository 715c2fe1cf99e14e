// The listening socket and the one event loop that serves every client.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ClientConnection.h"
#include "DataFolder.h"
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
  void AcceptAll();

  const ServerOptions& m_options;
  CDataFolder m_folder;
  CRequestHandler m_handler;
  CStopSignal m_stop;
  int m_listenFd = -1;
  int m_port = 0;
  std::vector<std::unique_ptr<CClientConnection>> m_clients;
  CClientConnection::Clock::time_point m_acceptPausedUntil{};
};

}  // namespace korv::server
