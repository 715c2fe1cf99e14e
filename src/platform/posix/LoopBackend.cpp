#include "platform/LoopBackend.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

CLoopBackend::CLoopBackend() : m_hWake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CLoopBackend::~CLoopBackend()
{
    if (m_hWake >= 0)
        ::close(static_cast<int>(m_hWake));
}

bool CLoopBackend::IsValid() const
{
    return m_hWake >= 0;
}

void CLoopBackend::Wake()
{
    if (m_hWake < 0)
        return;
    const std::uint64_t one = 1;
    // A full counter (EAGAIN) already means "wake up"; nothing else can fail here.
    while (::write(static_cast<int>(m_hWake), &one, sizeof one) < 0 && errno == EINTR) {}
}

static unsigned ToLoopReadiness(short revents)
{
    unsigned ready = 0;
    if (revents & POLLIN)
        ready |= kLoopReadable;
    if (revents & POLLOUT)
        ready |= kLoopWritable;
    if (revents & (POLLERR | POLLNVAL))
        ready |= kLoopError;
    if (revents & POLLHUP)
        ready |= kLoopHangup;
    if (revents & POLLRDHUP)
        ready |= kLoopPeerClosed;
    return ready;
}

void CLoopBackend::Wait(LoopWatch* watches, size_t count, std::uint32_t timeoutMs)
{
    // A loop watches one socket or a few: their entries live on the stack, so that a wait
    // allocates nothing.
    constexpr size_t kOnStack = 8;
    pollfd local[kOnStack];
    std::vector<pollfd> many;
    pollfd* fds = local;
    if (count + 1 > kOnStack) {
        many.resize(count + 1);
        fds = many.data();
    }
    fds[0] = pollfd{static_cast<int>(m_hWake), POLLIN, 0};
    for (size_t i = 0; i < count; ++i) {
        short events = 0;
        // The peer's end of the stream is asked for beside readability, so that readable
        // without it means data is queued.
        if (watches[i].nWanted & kLoopReadable)
            events |= POLLIN | POLLRDHUP;
        if (watches[i].nWanted & kLoopWritable)
            events |= POLLOUT;
        fds[i + 1] = pollfd{static_cast<int>(watches[i].hSocket), events, 0};
        watches[i].nReady = 0;
    }

    // poll() takes an int; longer waits are cut, and the caller simply waits again.
    const int timeout = timeoutMs == kInfinite    ? -1
                        : timeoutMs > 0x7FFFFFFFu ? 0x7FFFFFFF
                                                  : static_cast<int>(timeoutMs);
    const int result = ::poll(fds, count + 1, timeout);
    if (result <= 0)
        return;  // time-out, or a signal: the caller re-checks and waits again

    if (fds[0].revents & POLLIN) {
        std::uint64_t drained = 0;
        while (::read(static_cast<int>(m_hWake), &drained, sizeof drained) < 0 && errno == EINTR) {}
    }
    for (size_t i = 0; i < count; ++i)
        watches[i].nReady = ToLoopReadiness(fds[i + 1].revents);
}
