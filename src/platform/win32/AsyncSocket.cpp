#include "platform/AsyncSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

#include "platform/MessageLoop.h"

// Windows Sockets backend of CAsyncSocket: non-blocking sockets whose readiness the thread's
// CMessageLoop collects (win32/LoopBackend.cpp) and hands to DispatchReadiness on the owning
// thread. Error codes are those of WSAGetLastError, unchanged.

namespace {

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
    return err == WSAECONNREFUSED || err == WSAENETUNREACH || err == WSAEHOSTUNREACH ||
           err == WSAETIMEDOUT || err == WSAECONNRESET || err == WSAECONNABORTED;
}

SOCKET Handle(intptr_t socket)
{
    return static_cast<SOCKET>(socket);
}

// Non-blocking, and not inherited by child processes of the host.
bool MakeNonBlocking(SOCKET s)
{
    u_long on = 1;
    if (::ioctlsocket(s, FIONBIO, &on) == SOCKET_ERROR)
        return false;
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return true;
}
}  // namespace

void CAsyncSocket::CloseSocketHandle(intptr_t handle)
{
    // closesocket also ends the socket's WSAEventSelect tie with the loop's event.
    ::closesocket(Handle(handle));
}

int CAsyncSocket::GetLastError()
{
    return ::WSAGetLastError();
}

void CAsyncSocket::SetLastError(int code)
{
    ::WSASetLastError(code);
}

bool CAsyncSocket::Create()
{
    if (IsOpen())
        return Fail(WSAEINVAL);
    CMessageLoop* loop = CMessageLoop::Current();
    if (loop == nullptr)
        return Fail(WSANOTINITIALISED);
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return Fail(::WSAGetLastError());
    if (!MakeNonBlocking(s)) {
        const int code = ::WSAGetLastError();
        ::closesocket(s);
        return Fail(code);
    }
    m_hSocket = static_cast<intptr_t>(s);
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
    // Windows resolves an empty name to the local machine's own addresses; here it names no
    // server, as on POSIX (the exports pass "" for a null address).
    if (host[0] == '\0')
        return Fail(WSAHOST_NOT_FOUND);

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    // getaddrinfo's results are Windows Sockets codes (WSAHOST_NOT_FOUND, WSATRY_AGAIN, ...).
    const int resolved = ::getaddrinfo(host, nullptr, &hints, &found);
    if (resolved != 0 || found == nullptr) {
        if (found != nullptr)
            ::freeaddrinfo(found);
        return Fail(resolved != 0 ? resolved : WSAHOST_NOT_FOUND);
    }
    sockaddr_in addr{};
    std::memcpy(&addr, found->ai_addr, sizeof addr);
    ::freeaddrinfo(found);
    addr.sin_port = htons(static_cast<u_short>(port));

    const int result =
        ::connect(Handle(m_hSocket), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    const int err = result == 0 ? 0 : ::WSAGetLastError();
    if (err != 0 && err != WSAEWOULDBLOCK && !IsConnectOutcome(err))
        return Fail(err);

    // Even an attempt that finished at once reports its outcome through OnConnect, so that
    // callers see one behaviour.
    m_state = State::Connecting;
    m_nPendingConnectError = IsConnectOutcome(err) ? err : 0;
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
    addr.sin_port = htons(static_cast<u_short>(port));
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (address != nullptr && ::inet_pton(AF_INET, address, &addr.sin_addr) != 1)
        return Fail(WSAEINVAL);
    const SOCKET s = Handle(m_hSocket);
    // No SO_REUSEADDR: on Windows it would let another socket take the port from this one.
    if (::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == SOCKET_ERROR ||
        ::listen(s, SOMAXCONN) == SOCKET_ERROR)
        return Fail(::WSAGetLastError());
    m_state = State::Listening;
    return true;
}

bool CAsyncSocket::Accept(CAsyncSocket& into)
{
    if (m_state != State::Listening || into.IsOpen() || &into == this)
        return Fail(WSAEINVAL);
    if (m_pLoop == nullptr)
        return Fail(WSANOTINITIALISED);
    const SOCKET s = ::accept(Handle(m_hSocket), nullptr, nullptr);
    if (s == INVALID_SOCKET)
        return Fail(::WSAGetLastError());
    if (!MakeNonBlocking(s)) {
        const int code = ::WSAGetLastError();
        ::closesocket(s);
        return Fail(code);
    }
    into.m_hSocket = static_cast<intptr_t>(s);
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
    const int sent = ::send(Handle(m_hSocket), static_cast<const char*>(buffer), count, flags);
    if (sent > 0)
        return sent;
    // A stream socket that takes nothing is full: treat it as would-block so OnSend follows.
    const int code = sent == 0 ? WSAEWOULDBLOCK : ::WSAGetLastError();
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
    const int got = ::recv(Handle(m_hSocket), static_cast<char*>(buffer), count, flags);
    if (got == SOCKET_ERROR)
        return FailCount(::WSAGetLastError());
    return got;
}

unsigned CAsyncSocket::LocalPort() const
{
    if (!IsOpen())
        return 0;
    sockaddr_in addr{};
    int len = sizeof addr;
    if (::getsockname(Handle(m_hSocket), reinterpret_cast<sockaddr*>(&addr), &len) == SOCKET_ERROR)
        return 0;
    return ntohs(addr.sin_port);
}

bool CAsyncSocket::SetSendBufferSize(int bytes)
{
    if (!IsOpen())
        return Fail(WSAENOTSOCK);
    if (::setsockopt(Handle(m_hSocket), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bytes),
                     sizeof bytes) == SOCKET_ERROR)
        return Fail(::WSAGetLastError());
    return true;
}

bool CAsyncSocket::SetReceiveBufferSize(int bytes)
{
    if (!IsOpen())
        return Fail(WSAENOTSOCK);
    if (::setsockopt(Handle(m_hSocket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                     sizeof bytes) == SOCKET_ERROR)
        return Fail(::WSAGetLastError());
    return true;
}

int CAsyncSocket::ConnectOutcome(unsigned ready) const
{
    const SOCKET s = Handle(m_hSocket);
    int err = 0;
    int len = sizeof err;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) == SOCKET_ERROR)
        err = ::WSAGetLastError();
    if (err != 0)
        return err;
    // select() put it among the failures, or SO_ERROR kept nothing: make sure the
    // connection really exists.
    sockaddr_in peer{};
    int peerLen = sizeof peer;
    if (::getpeername(s, reinterpret_cast<sockaddr*>(&peer), &peerLen) == SOCKET_ERROR)
        return ::WSAGetLastError();
    return (ready & kLoopError) ? WSAECONNREFUSED : 0;
}

CAsyncSocket::ReadState CAsyncSocket::ProbeRead(int* code) const
{
    const SOCKET s = Handle(m_hSocket);
    u_long queued = 0;
    if (::ioctlsocket(s, FIONREAD, &queued) == 0 && queued > 0)
        return ReadState::Data;
    // Nothing queued: tell data, end of stream and a broken connection apart.
    char probe;
    const int peeked = ::recv(s, &probe, 1, MSG_PEEK);
    if (peeked > 0)
        return ReadState::Data;
    if (peeked == 0)
        return ReadState::End;
    const int err = ::WSAGetLastError();
    if (err == WSAEWOULDBLOCK || err == WSAEINTR || err == WSAEINPROGRESS)
        return ReadState::Nothing;
    *code = err;
    return ReadState::Broken;
}
