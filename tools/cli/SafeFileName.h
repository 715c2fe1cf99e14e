// Turns a name that came from the server into a file name that stays in its folder.
#pragma once

#include <string>

namespace korv::cli {

// Path separators, control characters and a leading dot become '_'; an empty name becomes
// "_"; very long names are cut at a character boundary.
std::string MakeSafeFileName(const std::string& utf8Name);

}  // namespace korv::cli
