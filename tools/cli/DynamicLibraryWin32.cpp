#include <windows.h>

#include "DynamicLibrary.h"

namespace korv::cli {
namespace {

std::string ErrorText(DWORD code)
{
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
    ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return "error " + std::to_string(code) + (message.empty() ? std::string() : ": " + message);
}

bool HasFolder(const std::string& path)
{
    return path.find_first_of("/\\:") != std::string::npos;
}

}  // namespace

bool CDynamicLibrary::Open(const std::string& path, std::string& error)
{
    // Only the path given is tried: a bare name would make LoadLibrary search the system's
    // folders and PATH, and a DLL of the same name found there is not the one the user named.
    const std::string explicitPath = HasFolder(path) ? path : ".\\" + path;
    // LOAD_WITH_ALTERED_SEARCH_PATH: the DLL's own imports are looked for beside it first.
    m_handle = ::LoadLibraryExA(explicitPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (m_handle == nullptr) {
        error = ErrorText(::GetLastError());
        return false;
    }
    return true;
}

void* CDynamicLibrary::Symbol(const char* name) const
{
    if (m_handle == nullptr) {
        return nullptr;
    }
    // FARPROC is a function pointer; callers cast it back to the export's own type.
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(m_handle), name));
}

std::string CDynamicLibrary::FileName(const std::string& baseName)
{
    return baseName + ".dll";
}

std::string CDynamicLibrary::ExecutableDir()
{
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return {};
    }
    const std::string full(path, length);
    const std::size_t slash = full.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : full.substr(0, slash);
}

bool CDynamicLibrary::FileExists(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace korv::cli
