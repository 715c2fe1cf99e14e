#include "SafeFileName.h"

namespace korv::cli {
namespace {

// Well below the usual 255-byte limit, leaving room for a suffix.
constexpr std::size_t kMaxNameBytes = 200;

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

}  // namespace

std::string MakeSafeFileName(const std::string& utf8Name) {
  std::string safe = utf8Name;
  if (safe.size() > kMaxNameBytes) {
    std::size_t cut = kMaxNameBytes;
    while (cut > 0 && IsContinuationByte(safe[cut])) {
      --cut;
    }
    safe.resize(cut);
  }
  for (char& c : safe) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7f) {
      c = '_';
    }
  }
  if (safe.empty()) {
    return "_";
  }
  if (safe.front() == '.') {
    safe.front() = '_';
  }
  return safe;
}

}  // namespace korv::cli
