// Walks the loaded patient document through the getters of the client library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ClientApi.h"
#include "PatientRecord.h"

namespace korv::cli {

class CPatientReader {
public:
    explicit CPatientReader(const ClientApi& api) : m_api(api) {}

    // Reads the document the last successful OpenPatient loaded.
    PatientRecord Read(const std::string& id) const;
    // Fetches thumbnail or image bytes by the two-call protocol; false when not available.
    bool ReadThumb(const std::string& rawName, std::vector<std::uint8_t>& bytes) const;
    bool ReadImage(const std::string& rawName, std::vector<std::uint8_t>& bytes) const;

private:
    NodeRecord ReadNode(ModID node, KorvGetModNameFn nameGetter) const;

    const ClientApi& m_api;
};

}  // namespace korv::cli
