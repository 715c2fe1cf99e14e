// A shared library loaded at run time, as a host loads the client library. The platform part
// lives in DynamicLibraryPosix.cpp (dlopen/dlsym); a LoadLibrary/GetProcAddress version would
// sit beside it.
#pragma once

#include <string>

namespace korv::cli {

class CDynamicLibrary {
public:
    CDynamicLibrary() = default;
    CDynamicLibrary(const CDynamicLibrary&) = delete;
    CDynamicLibrary& operator=(const CDynamicLibrary&) = delete;

    bool Open(const std::string& path, std::string& error);
    // Null when the library has no such export.
    void* Symbol(const char* name) const;

    // The library's file name on this platform, e.g. libKorvanelleClient.so.
    static std::string FileName(const std::string& baseName);
    // The folder of the running executable, empty when it cannot be found.
    static std::string ExecutableDir();
    static bool FileExists(const std::string& path);

private:
    // Never unloaded: the library may still be running its worker thread at exit.
    void* m_handle = nullptr;
};

}  // namespace korv::cli
