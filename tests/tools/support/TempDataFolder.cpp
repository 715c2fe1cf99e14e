#include "TempDataFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace korv::test {

CTempDataFolder::CTempDataFolder()
{
    char pattern[] = "/tmp/korv-data-XXXXXX";
    if (::mkdtemp(pattern) != nullptr) {
        m_path = pattern;
        for (const char* sub : {"patients", "thumbs", "images"}) {
            std::filesystem::create_directory(m_path + "/" + sub);
        }
    }
}

CTempDataFolder::~CTempDataFolder()
{
    std::error_code ignored;
    if (!m_path.empty()) {
        std::filesystem::remove_all(m_path, ignored);
    }
}

std::string CTempDataFolder::Write(const std::string& sub, const std::string& name,
                                   const std::vector<std::uint8_t>& bytes) const
{
    const std::string path = m_path + (sub.empty() ? "" : "/" + sub) + "/" + name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string CTempDataFolder::Write(const std::string& sub, const std::string& name,
                                   const std::string& text) const
{
    return Write(sub, name, std::vector<std::uint8_t>(text.begin(), text.end()));
}

void CTempDataFolder::CopyFrom(const std::string& dataDir) const
{
    std::filesystem::copy(dataDir, m_path,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing);
}

std::vector<std::uint8_t> CTempDataFolder::NoiseBytes(std::size_t size, std::uint32_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::uint8_t& b : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

std::vector<std::uint8_t> CTempDataFolder::ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file),
                                     std::istreambuf_iterator<char>());
}

}  // namespace korv::test
