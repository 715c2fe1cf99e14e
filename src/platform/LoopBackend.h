#pragma once

#include <cstddef>
#include <cstdint>

// Readiness a message loop asks for and gets back, per socket handle.
enum : unsigned {
    kLoopReadable = 1u,
    kLoopWritable = 2u,
    kLoopError = 4u,
    kLoopHangup = 8u,
    // Not waited for: the socket has a notification to deliver at once.
    kLoopImmediate = 16u,
    // The peer has ended its side of the stream (reported only where the platform tells it
    // apart from readable data; a backend that cannot leaves it out).
    kLoopPeerClosed = 32u,
};

struct LoopWatch {
    std::intptr_t hSocket;
    unsigned nWanted;  // kLoopReadable and/or kLoopWritable
    unsigned nReady;   // filled by CLoopBackend::Wait
};

// The platform part of a message loop: a wake-up channel that any thread can trigger,
// and a wait for socket readiness that also ends on a wake-up.
class CLoopBackend {
public:
    static constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

    CLoopBackend();
    ~CLoopBackend();
    CLoopBackend(const CLoopBackend&) = delete;
    CLoopBackend& operator=(const CLoopBackend&) = delete;

    bool IsValid() const;
    // Any thread: makes the current or next Wait return.
    void Wake();
    // Owning thread: waits up to timeoutMs for a wake-up or for the readiness the watches
    // ask for, and fills in each watch's nReady. A pending wake-up is consumed.
    void Wait(LoopWatch* watches, size_t count, std::uint32_t timeoutMs);

private:
    std::intptr_t m_hWake;
};
