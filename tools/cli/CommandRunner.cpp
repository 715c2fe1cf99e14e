#include "CommandRunner.h"

#include <chrono>
#include <cstdio>
#include <set>

#include "ExitCode.h"
#include "FileOutput.h"
#include "PatientFormat.h"
#include "SafeFileName.h"
#include "TextConverter.h"
#include "UniqueFileNames.h"

namespace korv::cli {
namespace {

int Fail(int code, const std::string& message)
{
    std::fprintf(stderr, "korvanelle: %s\n", message.c_str());
    return code;
}

// One line of the list of files fetch prints.
void Listed(CProgressLine& progress, std::size_t index, std::size_t count, const std::string& what)
{
    progress.Clear();
    std::printf("[%zu/%zu] %s\n", index, count, what.c_str());
    std::fflush(stdout);
}

}  // namespace

int CCommandRunner::Run()
{
    // The library and the server speak code page 936; the command line is UTF-8.
    const std::optional<std::string> target = CTextConverter::FromUtf8(m_options.target);
    if (!target) {
        return Fail(kExitBadArguments,
                    "'" + m_options.target + "' cannot be written in code page 936");
    }
    const std::string where = m_options.host + ":" + std::to_string(m_options.port);
    if (m_api.Connect(m_options.host.c_str(), m_options.port) == 0) {
        return Fail(kExitCannotConnect, "cannot connect to " + where);
    }
    const int code = Dispatch(*target);
    m_api.Disconnect();
    return code;
}

int CCommandRunner::Dispatch(const std::string& target)
{
    switch (m_options.command) {
    case Command::Show: return Show(target);
    case Command::Thumb: return SaveOne(target, false);
    case Command::Image: return SaveOne(target, true);
    case Command::Fetch: return Fetch(target);
    case Command::Help:
    case Command::Version: break;
    }
    return kExitBadArguments;
}

int CCommandRunner::Open(const std::string& id, PatientRecord& patient)
{
    if (m_api.OpenPatient(id.c_str()) == 0) {
        return Fail(kExitPatientNotFound,
                    "patient " + m_options.target + " not found: the server did not answer");
    }
    patient = m_reader.Read(m_options.target);
    if (patient.Empty()) {
        return Fail(kExitPatientNotFound, "patient " + m_options.target + " not found");
    }
    return kExitOk;
}

int CCommandRunner::Show(const std::string& id)
{
    PatientRecord patient;
    if (const int code = Open(id, patient); code != kExitOk) {
        return code;
    }
    const std::string text =
        m_options.json ? FormatPatientJson(patient) : FormatPatientTree(patient);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk
                                    : Fail(kExitFailure, "cannot write to standard output");
}

int CCommandRunner::SaveOne(const std::string& name, bool image)
{
    std::vector<std::uint8_t> bytes;
    const bool found = image ? m_reader.ReadImage(name, bytes) : m_reader.ReadThumb(name, bytes);
    if (!found) {
        return Fail(kExitNotAvailable, std::string(image ? "image " : "thumbnail ") +
                                           m_options.target + " not available");
    }
    if (!CFileOutput::Write(m_options.output, bytes.data(), bytes.size())) {
        return Fail(kExitFailure, "cannot write " + m_options.output);
    }
    return kExitOk;
}

bool CCommandRunner::Fetched(const FetchItem& item, bool image, std::size_t index,
                             std::size_t count)
{
    const std::string path = CFileOutput::Join(
        CFileOutput::Join(m_options.output, image ? "images" : "thumbs"), item.fileName);
    std::vector<std::uint8_t> bytes;
    const bool found =
        image ? m_reader.ReadImage(item.rawName, bytes) : m_reader.ReadThumb(item.rawName, bytes);
    m_received += bytes.size();
    if (!found) {
        Listed(m_progress, index, count, path + ": not available");
        return false;
    }
    if (!CFileOutput::Write(path, bytes.data(), bytes.size())) {
        Listed(m_progress, index, count, path + ": cannot write");
        return false;
    }
    Listed(m_progress, index, count, path + " (" + std::to_string(bytes.size()) + " bytes)");
    return true;
}

int CCommandRunner::Fetch(const std::string& id)
{
    PatientRecord patient;
    if (const int code = Open(id, patient); code != kExitOk) {
        return code;
    }
    // Each image name once, in document order, with the file name it is saved under: names
    // that sanitise to the same file (a/b.png, a_b.png, a\b.png) get distinct files.
    std::vector<FetchItem> images;
    std::vector<SavedFileRecord> saved;
    std::set<std::string> seen;
    CUniqueFileNames fileNames;
    auto collect = [&](const NodeRecord& node) {
        for (const FieldRecord& field : node.fields) {
            if (field.isImage && seen.insert(field.rawValue).second) {
                const std::string fileName = fileNames.Claim(MakeSafeFileName(field.value));
                images.push_back({field.rawValue, field.value, fileName});
                saved.push_back({field.value, "thumbs/" + fileName, "images/" + fileName});
            }
        }
    };
    for (const NodeRecord& modality : patient.modalities) {
        collect(modality);
        for (const NodeRecord& study : modality.children) {
            collect(study);
        }
    }

    const std::string& dir = m_options.output;
    std::string error;
    if (!CFileOutput::CreateFolders(CFileOutput::Join(dir, "thumbs"), error) ||
        !CFileOutput::CreateFolders(CFileOutput::Join(dir, "images"), error)) {
        return Fail(kExitFailure, "cannot create " + dir + ": " + error);
    }
    const std::size_t count = 1 + 2 * images.size();
    const std::string json = FormatPatientJson(patient, saved);
    const std::string jsonPath = CFileOutput::Join(dir, "patient.json");
    if (!CFileOutput::Write(jsonPath, json.data(), json.size())) {
        return Fail(kExitFailure, "cannot write " + jsonPath);
    }
    Listed(m_progress, 1, count, jsonPath + " (" + std::to_string(json.size()) + " bytes)");

    const auto started = std::chrono::steady_clock::now();
    const auto progress = [&](std::size_t n, const FetchItem& item) {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
        m_progress.Show(n, images.size(), item.name, m_received, elapsed.count());
    };
    std::size_t index = 1;
    std::size_t missing = 0;
    for (std::size_t n = 0; n < images.size(); ++n) {
        progress(n + 1, images[n]);
        missing += Fetched(images[n], false, ++index, count) ? 0 : 1;
        progress(n + 1, images[n]);
        missing += Fetched(images[n], true, ++index, count) ? 0 : 1;
    }
    m_progress.Clear();
    if (missing > 0) {
        return Fail(kExitNotAvailable, std::to_string(missing) + " of " + std::to_string(count) +
                                           " files not available");
    }
    return kExitOk;
}

}  // namespace korv::cli
