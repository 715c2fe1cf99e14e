#include "FileHandle.h"

#include <cerrno>
#include <unistd.h>

namespace korv::server {

CFileHandle::~CFileHandle()
{
    Close();
}

CFileHandle::CFileHandle(CFileHandle&& other) noexcept : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

CFileHandle& CFileHandle::operator=(CFileHandle&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

bool CFileHandle::ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) const
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got =
            ::pread(m_fd, buffer + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

void CFileHandle::Close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

}  // namespace korv::server
