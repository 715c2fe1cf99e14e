#include "DataFolder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace korv::server {
namespace {

CFileHandle OpenFolder(int parent, const char* path, std::string& error)
{
    const int fd = ::openat(parent, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = std::string(path) + ": " + std::strerror(errno);
    }
    return CFileHandle(fd);
}

}  // namespace

bool CDataFolder::Open(const std::string& path, std::string& error)
{
    CFileHandle root = OpenFolder(AT_FDCWD, path.c_str(), error);
    if (!root.IsOpen()) {
        return false;
    }
    for (auto [sub, target] : {std::pair{"patients", &m_patients}, std::pair{"thumbs", &m_thumbs},
                               std::pair{"images", &m_images}}) {
        *target = OpenFolder(root.Fd(), sub, error);
        if (!target->IsOpen()) {
            error = path + "/" + error;
            return false;
        }
    }
    return true;
}

bool CDataFolder::IsSafeName(const std::string& name)
{
    return !name.empty() && name.front() != '.' &&
           name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

FileLookup CDataFolder::OpenPatient(const std::string& patientId) const
{
    if (!IsSafeName(patientId)) {
        FileLookup refused;
        refused.status = FileLookup::Status::Refused;
        refused.reason = "unsafe identifier";
        return refused;
    }
    return OpenEntry(m_patients, patientId + ".xml");
}

FileLookup CDataFolder::OpenThumb(const std::string& name) const
{
    return OpenEntry(m_thumbs, name);
}

FileLookup CDataFolder::OpenImage(const std::string& name) const
{
    return OpenEntry(m_images, name);
}

FileLookup CDataFolder::OpenEntry(const CFileHandle& folder, const std::string& name) const
{
    FileLookup lookup;
    if (!IsSafeName(name)) {
        lookup.status = FileLookup::Status::Refused;
        lookup.reason = "unsafe name";
        return lookup;
    }
    // O_NOFOLLOW keeps a link from leading out of the folder; O_NONBLOCK keeps a FIFO from
    // stalling the event loop before the regular-file check below rejects it.
    const int fd =
        ::openat(folder.Fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        if (code == EMFILE || code == ENFILE || code == ENOMEM) {
            lookup.status = FileLookup::Status::Busy;
            lookup.reason = std::strerror(code);
            return lookup;
        }
        lookup.status = code == ELOOP ? FileLookup::Status::Refused : FileLookup::Status::Missing;
        lookup.reason = code == ELOOP ? "symbolic link" : std::strerror(code);
        return lookup;
    }
    CFileHandle file(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        lookup.status = FileLookup::Status::Refused;
        lookup.reason = "not a regular file";
        return lookup;
    }
    lookup.status = FileLookup::Status::Found;
    lookup.file = std::move(file);
    lookup.size = static_cast<std::uint64_t>(info.st_size);
    return lookup;
}

}  // namespace korv::server
