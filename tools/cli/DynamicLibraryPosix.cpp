#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DynamicLibrary.h"

namespace korv::cli {

bool CDynamicLibrary::Open(const std::string& path, std::string& error)
{
    // Only the path given is tried, never the system's search path, so the library that the
    // user named (or the build's own) is the one that runs.
    const std::string explicitPath = path.find('/') == std::string::npos ? "./" + path : path;
    m_handle = ::dlopen(explicitPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        const char* reason = ::dlerror();
        error = reason != nullptr ? reason : "cannot load " + path;
        return false;
    }
    return true;
}

void* CDynamicLibrary::Symbol(const char* name) const
{
    return m_handle != nullptr ? ::dlsym(m_handle, name) : nullptr;
}

std::string CDynamicLibrary::FileName(const std::string& baseName)
{
    return "lib" + baseName + ".so";
}

std::string CDynamicLibrary::ExecutableDir()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return {};
    }
    const std::string full(path, static_cast<std::size_t>(length));
    const std::size_t slash = full.rfind('/');
    return slash == std::string::npos ? std::string() : full.substr(0, slash);
}

bool CDynamicLibrary::FileExists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace korv::cli
