// The server's request log on stderr, one line per event.
#pragma once

#include <string>

namespace korv::server {

void Log(const std::string& line);
// Quotes network text for the log, escaping control and non-ASCII bytes as \xNN and
// shortening very long texts.
std::string Printable(const std::string& text);

}  // namespace korv::server
