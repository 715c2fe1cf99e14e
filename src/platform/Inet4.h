#pragma once

// IPv4 socket addresses through the calls that POSIX and Windows Sockets share
// (getaddrinfo, inet_pton, sockaddr_in). Included by the backends (posix/, win32/) only.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstdint>
#include <cstring>

// The first IPv4 address of host (a name or a dotted address), in network byte order.
// getaddrinfo's result: 0, or EAI_NONAME when it found no address.
inline int ResolveInet4(const char* host, std::uint32_t* address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int resolved = ::getaddrinfo(host, nullptr, &hints, &found);
    if (resolved != 0 || found == nullptr) {
        if (found != nullptr)
            ::freeaddrinfo(found);
        return resolved != 0 ? resolved : EAI_NONAME;
    }
    sockaddr_in addr{};
    std::memcpy(&addr, found->ai_addr, sizeof addr);
    ::freeaddrinfo(found);
    *address = addr.sin_addr.s_addr;
    return 0;
}

// address: a dotted IPv4 address, or null for any. False when it does not parse.
inline bool ParseInet4(const char* address, std::uint32_t* out)
{
    in_addr parsed{};
    if (address == nullptr)
        parsed.s_addr = htonl(INADDR_ANY);
    else if (::inet_pton(AF_INET, address, &parsed) != 1)
        return false;
    *out = parsed.s_addr;
    return true;
}

// address in network byte order.
inline sockaddr_in Inet4(std::uint32_t address, unsigned port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = address;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    return addr;
}
