#pragma once

#include <cstdint>

#include "platform/SocketErrors.h"

class CMessageLoop;

// Non-blocking TCP stream socket whose readiness is reported by the virtual notifications
// below. They run on the thread whose CMessageLoop the socket registered with at Create,
// one at a time, between that thread's posted messages; the socket must be used on that
// thread only.
//
// Notifications:
// - OnReceive(0) while unread data remains (raised again until it has been read). When a
//   Receive learns from the platform that more data is queued, the next OnReceive is raised
//   without waiting for readiness, still one notification at a time between posted messages.
// - OnClose(0) once when the peer has ended the stream and every byte before the end has
//   been read; OnClose(code) once when the connection was reset or failed. Data never
//   arrives after OnClose.
// - OnSend(0) once the socket is writable again after a Send reported WSAEWOULDBLOCK.
// - OnConnect(code) exactly once per connection attempt that Connect started: 0 when
//   connected, otherwise the error (a refused connection is WSAECONNREFUSED).
// - OnAccept(0) while a listening socket has a connection waiting.
// Failures set the calling thread's last error (GetLastError), in Windows Sockets numbers.
class CAsyncSocket {
public:
    CAsyncSocket();
    virtual ~CAsyncSocket();
    CAsyncSocket(const CAsyncSocket&) = delete;
    CAsyncSocket& operator=(const CAsyncSocket&) = delete;

    // Creates the socket and registers it with CMessageLoop::Current(); false (and
    // WSANOTINITIALISED) when the calling thread has no loop.
    bool Create();
    // host: a name, resolved on the calling thread, or a dotted IPv4 address. Always false:
    // WSAEWOULDBLOCK when the attempt has started (its outcome follows as OnConnect),
    // any other code when it could not start (no OnConnect follows), WSAHOST_NOT_FOUND
    // for a name that does not resolve.
    bool Connect(const char* host, unsigned port);
    // Creates the socket if needed, binds it to address (a dotted IPv4 address, or null for
    // any) and port (0 picks a free one) and listens.
    bool Listen(const char* address, unsigned port);
    // Takes a waiting connection into `into`, which must not be open; it registers with the
    // same loop as this socket.
    bool Accept(CAsyncSocket& into);

    // Bytes moved, or SOCKET_ERROR with the last error set. Writing to a closed peer never
    // raises a signal.
    int Send(const void* buffer, int count, int flags = 0);
    int Receive(void* buffer, int count, int flags = 0);
    // Closes and unregisters; does nothing when not open. No notification follows.
    void Close();

    bool IsOpen() const;
    unsigned LocalPort() const;
    bool SetSendBufferSize(int bytes);
    bool SetReceiveBufferSize(int bytes);

    static int GetLastError();
    static void SetLastError(int code);

protected:
    virtual void OnReceive(int nErrorCode);
    virtual void OnSend(int nErrorCode);
    virtual void OnConnect(int nErrorCode);
    virtual void OnClose(int nErrorCode);
    virtual void OnAccept(int nErrorCode);

private:
    friend class CMessageLoop;

    enum class State { Idle, Connecting, Connected, Failed, Listening };

    bool Register(CMessageLoop* loop);
    // A handle the backend opened (code 0) becomes this socket's, in `state`, registered
    // with loop; otherwise fails with code.
    bool Adopt(int code, std::intptr_t handle, State state, CMessageLoop* loop);
    // What the loop should wait for (kLoop* flags), kLoopImmediate for a notification that
    // is due without waiting.
    unsigned WantedReadiness() const;
    // Runs at most one notification for the readiness the loop saw and returns the part of
    // it not yet served. `this` may be destroyed when it returns.
    unsigned DispatchReadiness(unsigned ready);
    void DispatchConnect(unsigned ready);
    unsigned DispatchConnected(unsigned ready);

    // Every backend's "no socket" value (-1, INVALID_SOCKET on 32-bit Windows).
    static constexpr std::intptr_t kNoSocket = -1;

    // The backend: system calls and probes only. The portable members check arguments and
    // state, keep the state and set the last error; each backend call returns 0 or a
    // Windows Sockets error code and changes no member.
    static void CloseSocketHandle(std::intptr_t handle);
    // A new non-blocking TCP socket that child processes do not inherit.
    static int OpenHandle(std::intptr_t* handle);
    // host (not empty): a name or a dotted address -> an IPv4 address in network byte order.
    static int ResolveHost(const char* host, std::uint32_t* address);
    // 0 when connected at once or when the attempt is under way.
    int StartConnect(std::uint32_t address, unsigned port) const;
    // address: dotted IPv4 or null for any; WSAEINVAL when it does not parse.
    int BindAndListen(const char* address, unsigned port) const;
    int AcceptHandle(std::intptr_t* handle) const;
    // count > 0; *moved gets the bytes moved when 0 is returned (for a send possibly 0).
    int SendBytes(const void* buffer, int count, int flags, int* moved) const;
    // *queued gets the bytes that a further read would certainly find queued after this
    // one (0 when the platform cannot tell).
    int ReceiveBytes(void* buffer, int count, int flags, int* moved, int* queued) const;
    // 0 when it cannot be told.
    unsigned BoundPort() const;
    int SetBufferSize(bool bSend, int bytes) const;
    // The flags Send and Receive accept.
    static const int kSendFlags;
    static const int kReceiveFlags;

    // Backend probes behind the portable dispatch above.
    enum class ReadState { Data, End, Nothing, Broken };
    // The outcome of the connection attempt the loop saw finish: 0 or an error code.
    int ConnectOutcome(unsigned ready) const;
    // What a read would find now; *code holds the error for Broken. `ready` is the
    // readiness the loop saw since the last Receive, 0 when a Receive has come between:
    // a backend may answer from it without a system call where it is conclusive.
    ReadState ProbeRead(unsigned ready, int* code) const;

    std::intptr_t m_hSocket;
    CMessageLoop* m_pLoop;
    State m_state;
    int m_nPendingConnectError;  // outcome of a connect that failed at once, still to report
    bool m_bWantSend;            // a Send would have blocked: OnSend is due when writable
    bool m_bEndSeen;             // the stream ended or broke: OnClose has been raised
    bool m_bReadinessFresh;      // no Receive since the loop last collected the readiness
    bool m_bDataQueued;          // the last Receive left data queued that it knows of
};
