// Owns one open file descriptor.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korv::server {

class CFileHandle {
public:
    CFileHandle() = default;
    explicit CFileHandle(int fd) : m_fd(fd) {}
    ~CFileHandle();
    CFileHandle(CFileHandle&& other) noexcept;
    CFileHandle& operator=(CFileHandle&& other) noexcept;
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    // Reads exactly length bytes at offset; false on an error or a file that became shorter.
    bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) const;
    void Close();

private:
    int m_fd = -1;
};

}  // namespace korv::server
