#include "Log.h"

#include <cstdio>

namespace korv::server {

void Log(const std::string& line)
{
    std::fprintf(stderr, "korvanelle-server: %s\n", line.c_str());
    std::fflush(stderr);
}

std::string Printable(const std::string& text)
{
    static const char kHex[] = "0123456789abcdef";
    // Network text can be 64 KB long; the log keeps a readable head of it.
    constexpr std::size_t kMaxShown = 120;
    std::string out = "\"";
    for (const char c : text.substr(0, kMaxShown)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f || c == '"' || c == '\\') {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xf];
        } else {
            out += c;
        }
    }
    out += '"';
    if (text.size() > kMaxShown) {
        out += "... (" + std::to_string(text.size()) + " bytes)";
    }
    return out;
}

}  // namespace korv::server
