// A data folder (patients/, thumbs/, images/) in a fresh temporary directory, removed at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korv::test {

class CTempDataFolder {
public:
    CTempDataFolder();
    ~CTempDataFolder();
    CTempDataFolder(const CTempDataFolder&) = delete;
    CTempDataFolder& operator=(const CTempDataFolder&) = delete;

    const std::string& Path() const { return m_path; }
    // sub is "patients", "thumbs" or "images" (or "" for the top folder).
    std::string Write(const std::string& sub, const std::string& name,
                      const std::vector<std::uint8_t>& bytes) const;
    std::string Write(const std::string& sub, const std::string& name,
                      const std::string& text) const;
    // Copies every file of an existing data folder in.
    void CopyFrom(const std::string& dataDir) const;

    // Bytes that do not compress and differ per seed, for image files.
    static std::vector<std::uint8_t> NoiseBytes(std::size_t size, std::uint32_t seed);
    static std::vector<std::uint8_t> ReadFile(const std::string& path);

private:
    std::string m_path;
};

}  // namespace korv::test
