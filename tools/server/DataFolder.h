// The folder the server answers from: patients/<HISID>.xml, thumbs/<name>, images/<name>.
#pragma once

#include <cstdint>
#include <string>

#include "FileHandle.h"

namespace korv::server {

struct FileLookup {
    // Busy: the process is out of descriptors or memory for now, which says nothing about the file.
    enum class Status { Found, Missing, Refused, Busy };
    Status status = Status::Missing;
    CFileHandle file;
    std::uint64_t size = 0;
    std::string reason;  // why it is missing or refused, for the log
};

class CDataFolder {
public:
    // Opens the folder and its three subfolders; on failure error says what is wrong.
    bool Open(const std::string& path, std::string& error);

    FileLookup OpenPatient(const std::string& patientId) const;
    FileLookup OpenThumb(const std::string& name) const;
    FileLookup OpenImage(const std::string& name) const;

    // A name that may be used as a single entry of a subfolder: no path separators, no
    // leading dot (".", ".." and hidden files), not empty, no NUL.
    static bool IsSafeName(const std::string& name);

private:
    FileLookup OpenEntry(const CFileHandle& folder, const std::string& name) const;

    CFileHandle m_patients;
    CFileHandle m_thumbs;
    CFileHandle m_images;
};

}  // namespace korv::server
