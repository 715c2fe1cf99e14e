// Turns a name that came from the server into a file name that stays in its folder.
#pragma once

#include <string>

namespace korv::cli {

// Path separators, control characters, the characters Windows refuses (: * ? " < > |), a
// leading dot and a trailing dot or space become '_'; Windows device names (CON, NUL.png,
// COM1, ...) get a leading '_'; an empty name becomes "_"; very long names are cut at a
// character boundary. The same rules on every platform, so a fetched folder copies anywhere.
std::string MakeSafeFileName(const std::string& utf8Name);

}  // namespace korv::cli
