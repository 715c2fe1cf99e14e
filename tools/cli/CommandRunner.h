// Runs one command of korvanelle against the loaded client library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ClientApi.h"
#include "CommandLine.h"
#include "PatientReader.h"
#include "ProgressLine.h"

namespace korv::cli {

class CCommandRunner {
public:
    // progressColumns: the terminal's width for fetch's progress line, 0 for none.
    CCommandRunner(const CliOptions& options, const ClientApi& api, std::size_t progressColumns)
        : m_options(options), m_api(api), m_reader(api), m_progress(stderr, progressColumns)
    {}

    // Connects, runs the command, disconnects; returns the exit code.
    int Run();

private:
    // One image name of fetch: as the library spells it, in UTF-8, and its file's name.
    struct FetchItem {
        std::string rawName;
        std::string name;
        std::string fileName;
    };

    int Dispatch(const std::string& target);
    int Show(const std::string& id);
    int SaveOne(const std::string& name, bool image);
    int Fetch(const std::string& id);
    // Loads the patient; kExitOk or kExitPatientNotFound.
    int Open(const std::string& id, PatientRecord& patient);
    bool Fetched(const FetchItem& item, bool image, std::size_t index, std::size_t count);

    const CliOptions& m_options;
    const ClientApi& m_api;
    CPatientReader m_reader;
    CProgressLine m_progress;
    std::uint64_t m_received = 0;  // thumbnail and image bytes fetch has received
};

}  // namespace korv::cli
