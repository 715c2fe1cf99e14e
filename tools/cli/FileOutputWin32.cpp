#include <windows.h>

#include <cstdio>
#include <filesystem>

#include "FileOutput.h"
#include "TextConverter.h"

namespace korv::cli {

std::string CFileOutput::Join(const std::string& folder, const std::string& name)
{
    if (folder.empty() || folder.back() == '\\' || folder.back() == '/') {
        return folder + name;
    }
    return folder + '\\' + name;
}

bool CFileOutput::CreateFolders(const std::string& path, std::string& error)
{
    const std::wstring wide = CTextConverter::ToUtf16(path);
    // A path from a std::wstring is native: no ANSI code page on the way to CreateDirectoryW.
    std::error_code code;
    std::filesystem::create_directories(std::filesystem::path(wide), code);
    error = code ? code.message() : std::string();
    return !code;
}

bool CFileOutput::Write(const std::string& path, const void* data, std::size_t size)
{
    FILE* file = ::_wfopen(CTextConverter::ToUtf16(path).c_str(), L"wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

}  // namespace korv::cli
