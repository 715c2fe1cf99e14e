#include "platform/AsyncSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "platform/Inet4.h"
#include "platform/LoopBackend.h"

// Windows Sockets backend of CAsyncSocket: the system calls behind the portable checks of
// AsyncSocket.cpp. Sockets are non-blocking; the thread's CMessageLoop collects their
// readiness (win32/LoopBackend.cpp) and hands it to DispatchReadiness on the owning thread.
// Error codes are those of WSAGetLastError, unchanged.

namespace {

SOCKET Handle(std::intptr_t socket)
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

// A fresh socket made non-blocking, or closed again when that fails.
int TakeHandle(SOCKET s, std::intptr_t* handle)
{
    if (s == INVALID_SOCKET)
        return ::WSAGetLastError();
    if (!MakeNonBlocking(s)) {
        const int code = ::WSAGetLastError();
        ::closesocket(s);
        return code;
    }
    *handle = static_cast<std::intptr_t>(s);
    return 0;
}
}  // namespace

const int CAsyncSocket::kSendFlags = MSG_OOB | MSG_DONTROUTE;
const int CAsyncSocket::kReceiveFlags = MSG_OOB | MSG_PEEK;

void CAsyncSocket::CloseSocketHandle(std::intptr_t handle)
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

int CAsyncSocket::OpenHandle(std::intptr_t* handle)
{
    return TakeHandle(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), handle);
}

int CAsyncSocket::ResolveHost(const char* host, std::uint32_t* address)
{
    // getaddrinfo's results are Windows Sockets codes (WSAHOST_NOT_FOUND, WSATRY_AGAIN, ...).
    return ResolveInet4(host, address);
}

int CAsyncSocket::StartConnect(std::uint32_t address, unsigned port) const
{
    const sockaddr_in addr = Inet4(address, port);
    if (::connect(Handle(m_hSocket), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0)
        return 0;
    const int err = ::WSAGetLastError();
    return err == WSAEWOULDBLOCK ? 0 : err;
}

int CAsyncSocket::BindAndListen(const char* address, unsigned port) const
{
    std::uint32_t parsed = 0;
    if (!ParseInet4(address, &parsed))
        return WSAEINVAL;
    const sockaddr_in addr = Inet4(parsed, port);
    const SOCKET s = Handle(m_hSocket);
    // No SO_REUSEADDR: on Windows it would let another socket take the port from this one.
    if (::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == SOCKET_ERROR ||
        ::listen(s, SOMAXCONN) == SOCKET_ERROR)
        return ::WSAGetLastError();
    return 0;
}

int CAsyncSocket::AcceptHandle(std::intptr_t* handle) const
{
    return TakeHandle(::accept(Handle(m_hSocket), nullptr, nullptr), handle);
}

int CAsyncSocket::SendBytes(const void* buffer, int count, int flags, int* moved) const
{
    const int sent = ::send(Handle(m_hSocket), static_cast<const char*>(buffer), count, flags);
    if (sent == SOCKET_ERROR)
        return ::WSAGetLastError();
    *moved = sent;
    return 0;
}

int CAsyncSocket::ReceiveBytes(void* buffer, int count, int flags, int* moved, int* queued) const
{
    *queued = 0;  // the loop's readiness tells
    const int got = ::recv(Handle(m_hSocket), static_cast<char*>(buffer), count, flags);
    if (got == SOCKET_ERROR)
        return ::WSAGetLastError();
    *moved = got;
    return 0;
}

unsigned CAsyncSocket::BoundPort() const
{
    sockaddr_in addr{};
    int len = sizeof addr;
    if (::getsockname(Handle(m_hSocket), reinterpret_cast<sockaddr*>(&addr), &len) == SOCKET_ERROR)
        return 0;
    return ntohs(addr.sin_port);
}

int CAsyncSocket::SetBufferSize(bool bSend, int bytes) const
{
    if (::setsockopt(Handle(m_hSocket), SOL_SOCKET, bSend ? SO_SNDBUF : SO_RCVBUF,
                     reinterpret_cast<const char*>(&bytes), sizeof bytes) == SOCKET_ERROR)
        return ::WSAGetLastError();
    return 0;
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

CAsyncSocket::ReadState CAsyncSocket::ProbeRead(unsigned, int* code) const
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
