#pragma once

#include <linux/sockios.h>
#include <sys/ioctl.h>

#include <chrono>
#include <thread>

#include "RawPeer.h"

// Waits until the other end's kernel has acknowledged every byte the peer wrote, that is,
// until the data sits in that socket's receive queue and its next readiness check reports
// it; false after limitMs. A test that needs data "there before the loop looks" orders it
// this way, not with a sleep that a busy machine outlasts.
inline bool WaitUntilDelivered(const RawPeer& peer, int limitMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        int unacknowledged = -1;
        if (::ioctl(peer.Fd(), SIOCOUTQ, &unacknowledged) != 0)
            return false;
        if (unacknowledged == 0)
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
