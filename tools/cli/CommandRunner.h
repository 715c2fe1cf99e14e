// Runs one command of korvanelle against the loaded client library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ClientApi.h"
#include "CommandLine.h"
#include "PatientReader.h"

namespace korv::cli {

class CCommandRunner {
public:
    CCommandRunner(const CliOptions& options, const ClientApi& api)
        : m_options(options), m_api(api), m_reader(api)
    {}

    // Connects, runs the command, disconnects; returns the exit code.
    int Run();

private:
    int Dispatch(const std::string& target);
    int Show(const std::string& id);
    int SaveOne(const std::string& name, bool image);
    int Fetch(const std::string& id);
    // Loads the patient; kExitOk or kExitPatientNotFound.
    int Open(const std::string& id, PatientRecord& patient);
    bool Fetched(bool image, const std::string& rawName, const std::string& path, std::size_t index,
                 std::size_t count);

    const CliOptions& m_options;
    const ClientApi& m_api;
    CPatientReader m_reader;
};

}  // namespace korv::cli
