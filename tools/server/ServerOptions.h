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
  bool help = false;
  bool version = false;
};

class CServerOptions {
 public:
  // False with error set when the arguments are not usable.
  static bool Parse(const std::vector<std::string>& args, ServerOptions& options, std::string& error);
  static const char* Usage();
  // "korvanelle-server VERSION" and a newline.
  static const char* VersionText();
};

}  // namespace korv::server
