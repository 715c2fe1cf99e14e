// Decides which client library file to load.
#pragma once

#include <string>

namespace korv::cli {

class CLibraryLocator {
public:
    // --lib wins, then KORVANELLE_LIB, then a copy beside the executable, then the one in the
    // build tree. The build-tree path is returned when none exists, so the error names it.
    static std::string Find(const std::string& fromCommandLine, const char* fromEnvironment);
};

}  // namespace korv::cli
