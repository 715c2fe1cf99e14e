#include <filesystem>
#include <fstream>

#include "FileOutput.h"

namespace korv::cli {

std::string CFileOutput::Join(const std::string& folder, const std::string& name)
{
    return (std::filesystem::path(folder) / name).string();
}

bool CFileOutput::CreateFolders(const std::string& path, std::string& error)
{
    std::error_code code;
    std::filesystem::create_directories(path, code);
    error = code ? code.message() : std::string();
    return !code;
}

bool CFileOutput::Write(const std::string& path, const void* data, std::size_t size)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    file.close();
    return !file.fail();
}

}  // namespace korv::cli
