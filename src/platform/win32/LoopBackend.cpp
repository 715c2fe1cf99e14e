#include "platform/LoopBackend.h"

#include <winsock2.h>
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <vector>

// One auto-reset event per loop ends a wait. Wake sets it from any thread; the watched
// sockets are tied to it with WSAEventSelect, so that Windows Sockets sets it when their
// state changes. Which sockets are ready is then read with select() and a zero time-out:
// select tells the level (data waiting, space to write, the connect finished), so a
// notification that was recorded once and consumed by an earlier wait is never lost, and
// the event is only the means to sleep until something may have changed.

namespace {

// The network events that can make the wanted readiness true. FD_WRITE is asked for only
// while writing is wanted: selecting it on a writable socket records it at once.
long EventMask(unsigned wanted)
{
    long mask = FD_CLOSE;
    if (wanted & kLoopReadable)
        mask |= FD_READ | FD_ACCEPT | FD_OOB;
    if (wanted & kLoopWritable)
        mask |= FD_WRITE | FD_CONNECT;
    return mask;
}

// An fd_set of any size: Windows reads fd_count and that many handles, so the array may
// be longer than FD_SETSIZE. Laid out as fd_set is: a u_int count, then the handles at
// the alignment of SOCKET.
class SocketSet {
public:
    explicit SocketSet(size_t capacity) : m_slots(capacity + 1, 0) {}

    void Add(SOCKET s)
    {
        m_slots[1 + Count()] = s;
        SetCount(Count() + 1);
    }
    bool Contains(SOCKET s) const
    {
        const u_int count = Count();
        for (u_int i = 0; i < count; ++i) {
            if (m_slots[1 + i] == s)
                return true;
        }
        return false;
    }
    bool Empty() const { return Count() == 0; }
    fd_set* Get() { return reinterpret_cast<fd_set*>(m_slots.data()); }

private:
    static_assert(offsetof(fd_set, fd_array) == sizeof(SOCKET), "fd_set layout");

    u_int Count() const
    {
        u_int count;
        std::memcpy(&count, m_slots.data(), sizeof count);
        return count;
    }
    void SetCount(u_int count) { std::memcpy(m_slots.data(), &count, sizeof count); }

    std::vector<SOCKET> m_slots;
};

// Fills each watch's nReady from a select() that does not wait; true when any is ready.
bool PollWatches(LoopWatch* watches, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        watches[i].nReady = 0;
    if (count == 0)
        return false;
    SocketSet readSet(count);
    SocketSet writeSet(count);
    SocketSet errorSet(count);
    for (size_t i = 0; i < count; ++i) {
        const SOCKET s = static_cast<SOCKET>(watches[i].hSocket);
        if (watches[i].nWanted & kLoopReadable)
            readSet.Add(s);
        if (watches[i].nWanted & kLoopWritable) {
            writeSet.Add(s);
            // A connect that failed shows up here, not as writable.
            errorSet.Add(s);
        }
    }
    timeval zero{0, 0};
    const int result = ::select(0, readSet.Empty() ? nullptr : readSet.Get(),
                                writeSet.Empty() ? nullptr : writeSet.Get(),
                                errorSet.Empty() ? nullptr : errorSet.Get(), &zero);
    if (result == SOCKET_ERROR) {
        // A handle closed behind the loop's back (WSAENOTSOCK): report it as failed, as
        // poll reports POLLNVAL, so that its owner hears of it instead of the loop spinning.
        if (::WSAGetLastError() != WSAENOTSOCK)
            return false;
        bool any = false;
        for (size_t i = 0; i < count; ++i) {
            int type = 0;
            int len = sizeof type;
            if (::getsockopt(static_cast<SOCKET>(watches[i].hSocket), SOL_SOCKET, SO_TYPE,
                             reinterpret_cast<char*>(&type), &len) == SOCKET_ERROR) {
                watches[i].nReady = kLoopError;
                any = true;
            }
        }
        return any;
    }
    if (result <= 0)
        return false;
    bool any = false;
    for (size_t i = 0; i < count; ++i) {
        const SOCKET s = static_cast<SOCKET>(watches[i].hSocket);
        unsigned ready = 0;
        if (readSet.Contains(s))
            ready |= kLoopReadable;
        if (writeSet.Contains(s))
            ready |= kLoopWritable;
        if (errorSet.Contains(s))
            ready |= kLoopError;
        watches[i].nReady = ready & (watches[i].nWanted | kLoopError);
        any = any || watches[i].nReady != 0;
    }
    return any;
}

HANDLE WakeEvent(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

CLoopBackend::CLoopBackend()
    : m_hWake(reinterpret_cast<std::intptr_t>(::CreateEventA(nullptr, FALSE, FALSE, nullptr)))
{}

CLoopBackend::~CLoopBackend()
{
    if (m_hWake != 0)
        ::CloseHandle(WakeEvent(m_hWake));
}

bool CLoopBackend::IsValid() const
{
    return m_hWake != 0;
}

void CLoopBackend::Wake()
{
    if (m_hWake != 0)
        ::SetEvent(WakeEvent(m_hWake));
}

void CLoopBackend::Wait(LoopWatch* watches, size_t count, std::uint32_t timeoutMs)
{
    if (m_hWake == 0) {
        for (size_t i = 0; i < count; ++i)
            watches[i].nReady = 0;
        return;
    }
    const HANDLE event = WakeEvent(m_hWake);
    // Tied again on every wait: the mask follows what each socket wants now, and a socket
    // created on a handle value that an earlier one had is tied as well.
    for (size_t i = 0; i < count; ++i)
        ::WSAEventSelect(static_cast<SOCKET>(watches[i].hSocket), event,
                         EventMask(watches[i].nWanted));

    if (!PollWatches(watches, count) && timeoutMs != 0) {
        // Ends on a wake-up or on a network event of a watched socket; a change that came
        // after the poll above has set the event already, so it is not slept through.
        ::WaitForSingleObject(event,
                              timeoutMs == kInfinite ? INFINITE : static_cast<DWORD>(timeoutMs));
        PollWatches(watches, count);
    }
    // Consume a pending wake-up. Nothing is lost by it: the caller looks at its queue after
    // every wait, and socket readiness is polled afresh at the start of the next one.
    ::WaitForSingleObject(event, 0);
}
