#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

// The far end of a loopback connection, on plain POSIX sockets so that the socket under
// test is checked against the operating system rather than against itself.
class RawPeer {
public:
    RawPeer() = default;
    explicit RawPeer(int fd) : m_fd(fd) {}
    RawPeer(RawPeer&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    RawPeer& operator=(RawPeer&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_fd = other.m_fd;
            other.m_fd = -1;
        }
        return *this;
    }
    ~RawPeer() { Close(); }

    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    bool Write(const void* data, size_t size)
    {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::send(m_fd, p, size, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            p += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    bool Write(const std::vector<unsigned char>& bytes)
    {
        return Write(bytes.data(), bytes.size());
    }
    bool Write(const std::string& text) { return Write(text.data(), text.size()); }

    // Appends whatever has arrived, without waiting; false once the stream has ended.
    bool ReadAvailable(std::vector<unsigned char>* into)
    {
        unsigned char chunk[65536];
        for (;;) {
            const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n > 0) {
                into->insert(into->end(), chunk, chunk + n);
                continue;
            }
            return n != 0;
        }
    }

    void SetReceiveBuffer(int bytes)
    {
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }

    // Closing with unread data or linger 0 makes the kernel send a reset.
    void Reset()
    {
        linger lin{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &lin, sizeof lin);
        Close();
    }

    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

// A listening socket on 127.0.0.1 with a free port.
class RawListener {
public:
    explicit RawListener(int receiveBuffer = 0)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::listen(m_fd, 8) == 0 &&
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            m_port = ntohs(addr.sin_port);
    }
    ~RawListener() { Close(); }
    RawListener(const RawListener&) = delete;
    RawListener& operator=(const RawListener&) = delete;

    unsigned Port() const { return m_port; }

    // Blocks until a connection is there (loopback connects are completed by the kernel).
    RawPeer Accept()
    {
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        return RawPeer(fd);
    }

    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
    unsigned m_port = 0;
};

// A port on 127.0.0.1 where nothing listens: one that was just free.
inline unsigned UnusedPort()
{
    RawListener listener;
    return listener.Port();
}
