// Writes korvanelle's files. Paths are UTF-8 on every platform: on Windows they are opened
// through the UTF-16 file calls, so a name outside the ANSI code page keeps its characters.
#pragma once

#include <cstddef>
#include <string>

namespace korv::cli {

class CFileOutput {
public:
    // folder joined with name by the platform's separator.
    static std::string Join(const std::string& folder, const std::string& name);
    // Creates the folder and any folder above it that is missing; false with error set.
    static bool CreateFolders(const std::string& path, std::string& error);
    // Writes the file whole, replacing what was there.
    static bool Write(const std::string& path, const void* data, std::size_t size);
};

}  // namespace korv::cli
