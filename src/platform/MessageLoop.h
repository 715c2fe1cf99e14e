#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/LoopBackend.h"
#include "platform/ThreadMessage.h"

class CAsyncSocket;

// The message queue of one thread plus the readiness of the asynchronous sockets that
// thread owns. Post works from any thread from construction on; everything else runs on
// the owning thread (the one that called Attach).
//
// GetMessage alternates between the two sources: after each socket notification it looks
// at the queue, and while messages are queued it still polls the sockets without waiting,
// so neither a stream of incoming data nor a stream of posted messages starves the other.
// A socket handler may close or destroy any socket, its own included; it must not pump
// the loop itself.
class CMessageLoop {
public:
    static constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

    CMessageLoop();
    // Sockets still registered stop receiving notifications; they are not closed.
    ~CMessageLoop();
    CMessageLoop(const CMessageLoop&) = delete;
    CMessageLoop& operator=(const CMessageLoop&) = delete;

    // False when the platform refused the wake-up channel; such a loop accepts no posts.
    bool IsValid() const;

    // Any thread. False when the loop is invalid or its queue has been closed.
    bool Post(const ThreadMessage& msg);
    // Refuses every later Post; messages already queued can still be taken.
    void CloseQueue();

    // Binds the loop to the calling thread: Current() returns it there, and sockets created
    // on that thread register with it.
    void Attach();
    // Unbinds the loop from the calling thread if it is bound there.
    void Detach();
    static CMessageLoop* Current();

    // Delivers socket notifications until a posted message is available (true, *out
    // filled) or timeoutMs has passed (false). kInfinite waits without limit.
    bool GetMessage(ThreadMessage* out, std::uint32_t timeoutMs);
    // Takes a queued message without waiting and without serving sockets.
    bool PeekMessage(ThreadMessage* out);

private:
    friend class CAsyncSocket;

    struct Registration {
        CAsyncSocket* pSocket;
        std::uint64_t nSerial;
    };
    struct Ready {
        CAsyncSocket* pSocket;
        std::uint64_t nSerial;
        unsigned nReadiness;
    };

    void AddSocket(CAsyncSocket* socket);
    void RemoveSocket(CAsyncSocket* socket);
    bool HasQueued();
    void CollectReadiness(std::uint32_t timeoutMs);
    void DispatchNextReady();
    bool IsRegistered(const Ready& ready) const;

    std::unique_ptr<CLoopBackend> m_pBackend;

    std::mutex m_lock;  // guards m_queue and m_bQueueClosed
    std::deque<ThreadMessage> m_queue;
    bool m_bQueueClosed;

    // Owning thread only.
    std::vector<Registration> m_lstSockets;
    std::vector<Ready> m_lstReady;
    size_t m_nNextReady;
    std::uint64_t m_nNextSerial;
    std::vector<LoopWatch> m_lstWatches;
    std::vector<Registration> m_lstWatched;
};
