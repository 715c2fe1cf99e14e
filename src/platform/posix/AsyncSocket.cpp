#include "platform/AsyncSocket.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Inet4.h"
#include "platform/LoopBackend.h"
#include "platform/posix/SocketErrorMap.h"

// POSIX backend of CAsyncSocket: the system calls behind the portable checks of
// AsyncSocket.cpp, with errno values turned into Windows Sockets codes.

namespace {
thread_local int t_nLastError = 0;

int LastSocketError()
{
    return SocketErrorFromErrno(errno);
}

// Asks a TCP socket to report, with every read, how many bytes are left queued (TCP_INQ).
// Where the kernel refuses, reads report nothing and the loop's readiness tells instead.
void ReportQueuedBytes(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_INQ, &on, sizeof on);
}

// The bytes a further read would certainly find, from the count a read reported. The count
// also takes in a received end of stream and an urgent byte kept out of band (one each at
// most), neither of which a plain read returns: so only what goes beyond them is data.
int QueuedAfterRead(msghdr& msg)
{
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == IPPROTO_TCP && c->cmsg_type == TCP_CM_INQ &&
            c->cmsg_len >= CMSG_LEN(sizeof(int))) {
            int count = 0;
            std::memcpy(&count, CMSG_DATA(c), sizeof count);
            return count > 2 ? count - 2 : 0;
        }
    }
    return 0;
}

// Repeats a system call that a signal interrupted.
template <typename Call>
auto Uninterrupted(Call call) -> decltype(call())
{
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}
}  // namespace

const int CAsyncSocket::kSendFlags = MSG_OOB | MSG_DONTROUTE;
const int CAsyncSocket::kReceiveFlags = MSG_OOB | MSG_PEEK;

void CAsyncSocket::CloseSocketHandle(std::intptr_t handle)
{
    ::close(static_cast<int>(handle));
}

int CAsyncSocket::GetLastError()
{
    return t_nLastError;
}

void CAsyncSocket::SetLastError(int code)
{
    t_nLastError = code;
}

int CAsyncSocket::OpenHandle(std::intptr_t* handle)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return LastSocketError();
    ReportQueuedBytes(fd);
    *handle = fd;
    return 0;
}

int CAsyncSocket::ResolveHost(const char* host, std::uint32_t* address)
{
    const int resolved = ResolveInet4(host, address);
    return resolved == 0 ? 0 : SocketErrorFromResolver(resolved, errno);
}

int CAsyncSocket::StartConnect(std::uint32_t address, unsigned port) const
{
    const sockaddr_in addr = Inet4(address, port);
    const int fd = static_cast<int>(m_hSocket);
    const int result = Uninterrupted(
        [&] { return ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr); });
    if (result == 0 || errno == EINPROGRESS)
        return 0;
    return LastSocketError();
}

int CAsyncSocket::BindAndListen(const char* address, unsigned port) const
{
    std::uint32_t parsed = 0;
    if (!ParseInet4(address, &parsed))
        return WSAEINVAL;
    const sockaddr_in addr = Inet4(parsed, port);
    const int fd = static_cast<int>(m_hSocket);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, SOMAXCONN) != 0)
        return LastSocketError();
    return 0;
}

int CAsyncSocket::AcceptHandle(std::intptr_t* handle) const
{
    const int fd = Uninterrupted([&] {
        return ::accept4(static_cast<int>(m_hSocket), nullptr, nullptr,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
    });
    if (fd < 0)
        return LastSocketError();
    ReportQueuedBytes(fd);
    *handle = fd;
    return 0;
}

int CAsyncSocket::SendBytes(const void* buffer, int count, int flags, int* moved) const
{
    const int fd = static_cast<int>(m_hSocket);
    const ssize_t sent = Uninterrupted(
        [&] { return ::send(fd, buffer, static_cast<size_t>(count), flags | MSG_NOSIGNAL); });
    if (sent < 0)
        return LastSocketError();
    *moved = static_cast<int>(sent);
    return 0;
}

int CAsyncSocket::ReceiveBytes(void* buffer, int count, int flags, int* moved, int* queued) const
{
    const int fd = static_cast<int>(m_hSocket);
    iovec part{buffer, static_cast<size_t>(count)};
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(int))];
    msghdr msg{};
    msg.msg_iov = &part;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t got = Uninterrupted([&] { return ::recvmsg(fd, &msg, flags | MSG_DONTWAIT); });
    if (got < 0)
        return LastSocketError();
    *moved = static_cast<int>(got);
    *queued = QueuedAfterRead(msg);
    return 0;
}

unsigned CAsyncSocket::BoundPort() const
{
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(static_cast<int>(m_hSocket), reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

int CAsyncSocket::SetBufferSize(bool bSend, int bytes) const
{
    const int option = bSend ? SO_SNDBUF : SO_RCVBUF;
    if (::setsockopt(static_cast<int>(m_hSocket), SOL_SOCKET, option, &bytes, sizeof bytes) != 0)
        return LastSocketError();
    return 0;
}

int CAsyncSocket::ConnectOutcome(unsigned) const
{
    const int fd = static_cast<int>(m_hSocket);
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        err = errno;
    int code = SocketErrorFromErrno(err);
    if (code == 0) {
        // Hang-up without a recorded error: make sure the connection really exists.
        sockaddr_in peer{};
        socklen_t peerLen = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0)
            code = SocketErrorFromErrno(errno);
    }
    return code;
}

CAsyncSocket::ReadState CAsyncSocket::ProbeRead(unsigned ready, int* code) const
{
    // Readable, with neither an error, a hang-up nor the peer's end of the stream: data is
    // queued, and only this thread reads it.
    if ((ready & (kLoopReadable | kLoopError | kLoopHangup | kLoopPeerClosed)) == kLoopReadable)
        return ReadState::Data;
    const int fd = static_cast<int>(m_hSocket);
    int queued = 0;
    if (::ioctl(fd, FIONREAD, &queued) == 0 && queued > 0)
        return ReadState::Data;
    // Nothing queued: tell data, end of stream and a broken connection apart.
    char probe;
    const ssize_t peeked = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked > 0)
        return ReadState::Data;
    if (peeked == 0)
        return ReadState::End;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return ReadState::Nothing;
    *code = SocketErrorFromErrno(errno);
    return ReadState::Broken;
}
