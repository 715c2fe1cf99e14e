#pragma once

#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "RawPeer.h"

// What the kernel holds for a loopback connection, so that a test orders "the bytes are
// there" or "the buffer stays full" before the loop looks, instead of sleeping for a while
// that a busy machine outlasts.

namespace socket_queues_detail {

// Polls `done` every millisecond for up to limitMs; false when it never held.
template <typename Done>
bool WaitFor(Done done, int limitMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        const int state = done();
        if (state != 0)
            return state > 0;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

inline bool SameEnd(const sockaddr_in& a, const sockaddr_in& b)
{
    return a.sin_port == b.sin_port && a.sin_addr.s_addr == b.sin_addr.s_addr;
}

}  // namespace socket_queues_detail

// Waits until the other end's kernel has acknowledged every byte the peer wrote: the data
// sits in that socket's receive queue, and its next readiness check reports it.
inline bool WaitUntilDelivered(const RawPeer& peer, int limitMs = 5000)
{
    return socket_queues_detail::WaitFor(
        [&] {
            int unacknowledged = -1;
            if (::ioctl(peer.Fd(), SIOCOUTQ, &unacknowledged) != 0)
                return -1;
            return unacknowledged == 0 ? 1 : 0;
        },
        limitMs);
}

// The descriptor of this process's end of the peer's connection (the socket under test),
// -1 when there is none.
inline int LocalEndOf(const RawPeer& peer)
{
    sockaddr_in peerLocal{};
    sockaddr_in peerRemote{};
    socklen_t length = sizeof peerLocal;
    if (::getsockname(peer.Fd(), reinterpret_cast<sockaddr*>(&peerLocal), &length) != 0)
        return -1;
    length = sizeof peerRemote;
    if (::getpeername(peer.Fd(), reinterpret_cast<sockaddr*>(&peerRemote), &length) != 0)
        return -1;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const int fd = std::atoi(entry.path().filename().c_str());
        sockaddr_in local{};
        sockaddr_in remote{};
        socklen_t localLength = sizeof local;
        socklen_t remoteLength = sizeof remote;
        if (fd != peer.Fd() &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) == 0 &&
            ::getpeername(fd, reinterpret_cast<sockaddr*>(&remote), &remoteLength) == 0 &&
            socket_queues_detail::SameEnd(local, peerRemote) &&
            socket_queues_detail::SameEnd(remote, peerLocal))
            return fd;
    }
    return -1;
}

// Waits until nothing the socket sent is still unacknowledged: from then on its free room
// changes only when the far end reads (which lets the window open again).
inline bool WaitUntilNothingInFlight(int fd, int limitMs = 5000)
{
    return socket_queues_detail::WaitFor(
        [&] {
            int queued = -1;
            int unsent = -1;
            if (::ioctl(fd, SIOCOUTQ, &queued) != 0 || ::ioctl(fd, SIOCOUTQNSD, &unsent) != 0)
                return -1;
            return queued == unsent ? 1 : 0;
        },
        limitMs);
}

// Whether the kernel would report the socket writable now.
inline bool IsWritable(int fd)
{
    pollfd watch{fd, POLLOUT, 0};
    return ::poll(&watch, 1, 0) == 1 && (watch.revents & POLLOUT) != 0;
}
