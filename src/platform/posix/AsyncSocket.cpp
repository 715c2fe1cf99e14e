#include "platform/AsyncSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/MessageLoop.h"
#include "platform/posix/SocketErrorMap.h"

namespace {
thread_local int t_nLastError = 0;

bool Fail(int code)
{
    CAsyncSocket::SetLastError(code);
    return false;
}

int FailCount(int code)
{
    CAsyncSocket::SetLastError(code);
    return SOCKET_ERROR;
}

// Errors that are the outcome of the attempt rather than a refusal to start it: they are
// reported through OnConnect, as with a connect that fails later.
bool IsConnectOutcome(int err)
{
    return err == ECONNREFUSED || err == ENETUNREACH || err == EHOSTUNREACH || err == ETIMEDOUT ||
           err == ECONNRESET || err == ECONNABORTED;
}
}  // namespace

void CAsyncSocket::CloseSocketHandle(intptr_t handle)
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

bool CAsyncSocket::Create()
{
    if (IsOpen())
        return Fail(WSAEINVAL);
    CMessageLoop* loop = CMessageLoop::Current();
    if (loop == nullptr)
        return Fail(WSANOTINITIALISED);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Fail(SocketErrorFromErrno(errno));
    m_hSocket = fd;
    return Register(loop);
}

bool CAsyncSocket::Connect(const char* host, unsigned port)
{
    if (!IsOpen())
        return Fail(WSAENOTSOCK);
    if (host == nullptr || port > 0xFFFF)
        return Fail(WSAEINVAL);
    if (m_state == State::Connecting)
        return Fail(WSAEALREADY);
    if (m_state == State::Connected)
        return Fail(WSAEISCONN);
    if (m_state == State::Listening)
        return Fail(WSAEINVAL);

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int resolved = ::getaddrinfo(host, nullptr, &hints, &found);
    if (resolved != 0 || found == nullptr) {
        const int code = resolved != 0 ? SocketErrorFromResolver(resolved, errno) : WSAHOST_NOT_FOUND;
        if (found != nullptr)
            ::freeaddrinfo(found);
        return Fail(code);
    }
    sockaddr_in addr{};
    std::memcpy(&addr, found->ai_addr, sizeof addr);
    ::freeaddrinfo(found);
    addr.sin_port = htons(static_cast<uint16_t>(port));

    int result;
    do {
        result = ::connect(static_cast<int>(m_hSocket), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    } while (result != 0 && errno == EINTR);
    const int err = result == 0 ? 0 : errno;
    if (err != 0 && err != EINPROGRESS && !IsConnectOutcome(err))
        return Fail(SocketErrorFromErrno(err));

    // Even an attempt that finished at once reports its outcome through OnConnect, so that
    // callers see one behaviour.
    m_state = State::Connecting;
    m_nPendingConnectError = IsConnectOutcome(err) ? SocketErrorFromErrno(err) : 0;
    return Fail(WSAEWOULDBLOCK);
}

bool CAsyncSocket::Listen(const char* address, unsigned port)
{
    if (!IsOpen() && !Create())
        return false;
    if (m_state != State::Idle || port > 0xFFFF)
        return Fail(WSAEINVAL);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (address != nullptr && ::inet_pton(AF_INET, address, &addr.sin_addr) != 1)
        return Fail(WSAEINVAL);
    const int fd = static_cast<int>(m_hSocket);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, SOMAXCONN) != 0)
        return Fail(SocketErrorFromErrno(errno));
    m_state = State::Listening;
    return true;
}

bool CAsyncSocket::Accept(CAsyncSocket& into)
{
    if (m_state != State::Listening || into.IsOpen() || &into == this)
        return Fail(WSAEINVAL);
    if (m_pLoop == nullptr)
        return Fail(WSANOTINITIALISED);
    int fd;
    do {
        fd = ::accept4(static_cast<int>(m_hSocket), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Fail(SocketErrorFromErrno(errno));
    into.m_hSocket = fd;
    into.m_state = State::Connected;
    return into.Register(m_pLoop);
}

int CAsyncSocket::Send(const void* buffer, int count, int flags)
{
    if (!IsOpen())
        return FailCount(WSAENOTSOCK);
    if (count < 0 || (buffer == nullptr && count > 0))
        return FailCount(WSAEFAULT);
    if ((flags & ~(MSG_OOB | MSG_DONTROUTE)) != 0)
        return FailCount(WSAEOPNOTSUPP);
    if (m_state != State::Connected)
        return FailCount(WSAENOTCONN);
    if (count == 0)
        return 0;
    ssize_t sent;
    do {
        sent = ::send(static_cast<int>(m_hSocket), buffer, static_cast<size_t>(count), flags | MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent > 0)
        return static_cast<int>(sent);
    // A stream socket that takes nothing is full: treat it as would-block so OnSend follows.
    const int code = sent == 0 ? WSAEWOULDBLOCK : SocketErrorFromErrno(errno);
    if (code == WSAEWOULDBLOCK)
        m_bWantSend = true;
    return FailCount(code);
}

int CAsyncSocket::Receive(void* buffer, int count, int flags)
{
    if (!IsOpen())
        return FailCount(WSAENOTSOCK);
    if (count < 0 || (buffer == nullptr && count > 0))
        return FailCount(WSAEFAULT);
    if ((flags & ~(MSG_OOB | MSG_PEEK)) != 0)
        return FailCount(WSAEOPNOTSUPP);
    if (m_state != State::Connected)
        return FailCount(WSAENOTCONN);
    if (count == 0)
        return 0;
    ssize_t got;
    do {
        got = ::recv(static_cast<int>(m_hSocket), buffer, static_cast<size_t>(count), flags | MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return FailCount(SocketErrorFromErrno(errno));
    return static_cast<int>(got);
}

unsigned CAsyncSocket::LocalPort() const
{
    if (!IsOpen())
        return 0;
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(static_cast<int>(m_hSocket), reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

bool CAsyncSocket::SetSendBufferSize(int bytes)
{
    if (!IsOpen())
        return Fail(WSAENOTSOCK);
    if (::setsockopt(static_cast<int>(m_hSocket), SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) != 0)
        return Fail(SocketErrorFromErrno(errno));
    return true;
}

bool CAsyncSocket::SetReceiveBufferSize(int bytes)
{
    if (!IsOpen())
        return Fail(WSAENOTSOCK);
    if (::setsockopt(static_cast<int>(m_hSocket), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0)
        return Fail(SocketErrorFromErrno(errno));
    return true;
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

CAsyncSocket::ReadState CAsyncSocket::ProbeRead(int* code) const
{
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
