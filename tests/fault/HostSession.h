// A host's view of the client library for the fault and soak tests: the exports loaded
// with dlopen, a data folder with one patient, a thumbnail and an image, and the two-call
// read protocol.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "ClientLibrary.h"
#include "TempDataFolder.h"

namespace korv::test {

// Export time-outs plus slack: a guard against hangs, not a speed goal.
inline constexpr std::chrono::milliseconds kSlack{3000};
inline constexpr std::chrono::milliseconds kConnectBound =
    std::chrono::milliseconds(10000) + kSlack;
inline constexpr std::chrono::milliseconds kPatientBound =
    std::chrono::milliseconds(10000) + kSlack;
inline constexpr std::chrono::milliseconds kThumbBound = std::chrono::milliseconds(5000) + kSlack;
inline constexpr std::chrono::milliseconds kImageBound = std::chrono::milliseconds(10000) + kSlack;
inline constexpr std::chrono::milliseconds kGetterBound = kSlack;

class CHostSession {
public:
    static constexpr const char* kPatientId = "P1";
    static constexpr const char* kThumbName = "P1_CT_1_1.jpg";
    static constexpr const char* kImageName = "P1_CT_1_1.png";
    static constexpr std::size_t kImageSize = 20000;
    static const std::string& PatientName();

    CHostSession();
    const ClientLibrary* Library() const { return m_lib; }
    const std::string& DataDir() const { return m_folder.Path(); }
    const std::vector<std::uint8_t>& ThumbBytes() const { return m_thumb; }
    const std::vector<std::uint8_t>& ImageBytes() const { return m_image; }

    // The two-call protocol; "<fail>" or ok false when either call fails.
    std::string ReadPatientName() const;
    std::vector<std::uint8_t> ReadBytes(decltype(&::GetThumbData) fetch, const char* name,
                                        bool& ok) const;
    // Every getter over every handle; the number of fields seen, -1 when a getter failed.
    int WalkDocument() const;

private:
    const ClientLibrary* m_lib;
    CTempDataFolder m_folder;
    std::vector<std::uint8_t> m_thumb;
    std::vector<std::uint8_t> m_image;
};

// How long a call took, to compare with its bound.
template <typename Call>
std::chrono::milliseconds TimeOf(Call call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
}

}  // namespace korv::test
