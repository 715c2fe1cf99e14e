#include "platform/AsyncSocket.h"

#include "platform/LoopBackend.h"
#include "platform/MessageLoop.h"

// Everything every backend shares: the argument and state checks of each operation, the
// state transitions, the last error it leaves, and the readiness state machine (what the
// loop should wait for, and which notification a readiness it saw becomes). The backends
// (posix/, win32/) supply only the system calls and the two probes, ConnectOutcome and
// ProbeRead.

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
bool IsConnectOutcome(int code)
{
    return code == WSAECONNREFUSED || code == WSAENETUNREACH || code == WSAEHOSTUNREACH ||
           code == WSAETIMEDOUT || code == WSAECONNRESET || code == WSAECONNABORTED;
}

// The checks Send and Receive share: 0, or the error to fail with.
int TransferError(bool bOpen, bool bConnected, const void* buffer, int count, int flags,
                  int allowedFlags)
{
    if (!bOpen)
        return WSAENOTSOCK;
    if (count < 0 || (buffer == nullptr && count > 0))
        return WSAEFAULT;
    if ((flags & ~allowedFlags) != 0)
        return WSAEOPNOTSUPP;
    if (!bConnected)
        return WSAENOTCONN;
    return 0;
}

}  // namespace

CAsyncSocket::CAsyncSocket()
    : m_hSocket(kNoSocket), m_pLoop(nullptr), m_state(State::Idle), m_nPendingConnectError(0),
      m_bWantSend(false), m_bEndSeen(false), m_bReadinessFresh(false), m_bDataQueued(false)
{}

CAsyncSocket::~CAsyncSocket()
{
    Close();
}

bool CAsyncSocket::IsOpen() const
{
    return m_hSocket != kNoSocket;
}

bool CAsyncSocket::Register(CMessageLoop* loop)
{
    m_pLoop = loop;
    loop->AddSocket(this);
    return true;
}

bool CAsyncSocket::Adopt(int code, std::intptr_t handle, State state, CMessageLoop* loop)
{
    if (code != 0)
        return Fail(code);
    m_hSocket = handle;
    m_state = state;
    return Register(loop);
}

bool CAsyncSocket::Create()
{
    if (IsOpen())
        return Fail(WSAEINVAL);
    CMessageLoop* loop = CMessageLoop::Current();
    if (loop == nullptr)
        return Fail(WSANOTINITIALISED);
    std::intptr_t handle = kNoSocket;
    const int code = OpenHandle(&handle);
    return Adopt(code, handle, State::Idle, loop);
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
    // An empty name names no server (Windows would resolve it to the local machine's own
    // addresses; the exports pass "" for a null address).
    if (host[0] == '\0')
        return Fail(WSAHOST_NOT_FOUND);

    std::uint32_t address = 0;
    const int resolved = ResolveHost(host, &address);
    if (resolved != 0)
        return Fail(resolved);
    const int code = StartConnect(address, port);
    if (code != 0 && !IsConnectOutcome(code))
        return Fail(code);

    // Even an attempt that finished at once reports its outcome through OnConnect, so that
    // callers see one behaviour.
    m_state = State::Connecting;
    m_nPendingConnectError = code;
    return Fail(WSAEWOULDBLOCK);
}

bool CAsyncSocket::Listen(const char* address, unsigned port)
{
    if (!IsOpen() && !Create())
        return false;
    if (m_state != State::Idle || port > 0xFFFF)
        return Fail(WSAEINVAL);
    const int code = BindAndListen(address, port);
    if (code != 0)
        return Fail(code);
    m_state = State::Listening;
    return true;
}

bool CAsyncSocket::Accept(CAsyncSocket& into)
{
    if (m_state != State::Listening || into.IsOpen() || &into == this)
        return Fail(WSAEINVAL);
    if (m_pLoop == nullptr)
        return Fail(WSANOTINITIALISED);
    std::intptr_t handle = kNoSocket;
    const int code = AcceptHandle(&handle);
    return into.Adopt(code, handle, State::Connected, m_pLoop);
}

int CAsyncSocket::Send(const void* buffer, int count, int flags)
{
    const int refused =
        TransferError(IsOpen(), m_state == State::Connected, buffer, count, flags, kSendFlags);
    if (refused != 0)
        return FailCount(refused);
    if (count == 0)
        return 0;
    int sent = 0;
    int code = SendBytes(buffer, count, flags, &sent);
    if (code == 0 && sent > 0)
        return sent;
    // A stream socket that takes nothing is full: treat it as would-block so OnSend follows.
    if (code == 0)
        code = WSAEWOULDBLOCK;
    if (code == WSAEWOULDBLOCK)
        m_bWantSend = true;
    return FailCount(code);
}

int CAsyncSocket::Receive(void* buffer, int count, int flags)
{
    const int refused =
        TransferError(IsOpen(), m_state == State::Connected, buffer, count, flags, kReceiveFlags);
    if (refused != 0)
        return FailCount(refused);
    if (count == 0)
        return 0;
    // Whatever readiness the loop saw before this read no longer tells what is queued.
    m_bReadinessFresh = false;
    int got = 0;
    int queued = 0;
    const int code = ReceiveBytes(buffer, count, flags, &got, &queued);
    // Only a plain read that took bytes says what follows it; a peek or out-of-band read
    // leaves the loop to find out.
    m_bDataQueued = code == 0 && got > 0 && flags == 0 && queued > 0;
    if (code != 0)
        return FailCount(code);
    return got;
}

unsigned CAsyncSocket::LocalPort() const
{
    return IsOpen() ? BoundPort() : 0;
}

bool CAsyncSocket::SetSendBufferSize(int bytes)
{
    if (!IsOpen())
        return Fail(WSAENOTSOCK);
    const int code = SetBufferSize(true, bytes);
    return code == 0 ? true : Fail(code);
}

bool CAsyncSocket::SetReceiveBufferSize(int bytes)
{
    if (!IsOpen())
        return Fail(WSAENOTSOCK);
    const int code = SetBufferSize(false, bytes);
    return code == 0 ? true : Fail(code);
}

void CAsyncSocket::Close()
{
    if (m_pLoop != nullptr) {
        m_pLoop->RemoveSocket(this);
        m_pLoop = nullptr;
    }
    if (m_hSocket != kNoSocket) {
        CloseSocketHandle(m_hSocket);
        m_hSocket = kNoSocket;
    }
    m_state = State::Idle;
    m_nPendingConnectError = 0;
    m_bWantSend = false;
    m_bEndSeen = false;
    m_bReadinessFresh = false;
    m_bDataQueued = false;
}

unsigned CAsyncSocket::WantedReadiness() const
{
    if (!IsOpen())
        return 0;
    switch (m_state) {
    case State::Connecting: return m_nPendingConnectError != 0 ? kLoopImmediate : kLoopWritable;
    case State::Listening: return kLoopReadable;
    case State::Connected:
        // Data known to be queued is served without a wait, unless the socket also waits to
        // write: then the wait finds both at once.
        if (m_bDataQueued && !m_bEndSeen && !m_bWantSend)
            return kLoopImmediate;
        return (m_bEndSeen ? 0u : kLoopReadable) | (m_bWantSend ? kLoopWritable : 0u);
    case State::Idle:
    case State::Failed: break;
    }
    return 0;
}

unsigned CAsyncSocket::DispatchReadiness(unsigned ready)
{
    switch (m_state) {
    case State::Connecting: DispatchConnect(ready); return 0;
    case State::Listening:
        if (ready & (kLoopReadable | kLoopError | kLoopHangup))
            OnAccept(0);
        return 0;
    case State::Connected: return DispatchConnected(ready);
    case State::Idle:
    case State::Failed: break;
    }
    return 0;
}

void CAsyncSocket::DispatchConnect(unsigned ready)
{
    int code = m_nPendingConnectError;
    if (code == 0) {
        if ((ready & (kLoopWritable | kLoopError | kLoopHangup)) == 0)
            return;
        code = ConnectOutcome(ready);
    }
    m_nPendingConnectError = 0;
    m_state = code == 0 ? State::Connected : State::Failed;
    OnConnect(code);
}

unsigned CAsyncSocket::DispatchConnected(unsigned ready)
{
    if (ready & kLoopImmediate) {
        // An earlier handler of the same round may have read the data or closed the stream.
        if (m_bDataQueued && !m_bEndSeen)
            OnReceive(0);  // `this` may be gone now
        return 0;
    }
    const bool bWriteDue = m_bWantSend && (ready & (kLoopWritable | kLoopError | kLoopHangup));
    if (!m_bEndSeen && (ready & (kLoopReadable | kLoopError | kLoopHangup))) {
        const unsigned rest = bWriteDue ? kLoopWritable : 0u;
        int code = 0;
        switch (ProbeRead(m_bReadinessFresh ? ready : 0u, &code)) {
        case ReadState::Data: OnReceive(0); return rest;  // `this` may be gone now
        case ReadState::End:
            m_bEndSeen = true;
            OnClose(0);
            return rest;
        case ReadState::Nothing: return rest;
        case ReadState::Broken: break;
        }
        // A broken connection takes nothing more: no OnSend after its OnClose.
        m_bEndSeen = true;
        m_bWantSend = false;
        OnClose(code);
        return 0;
    }
    if (bWriteDue) {
        m_bWantSend = false;
        OnSend(0);
    }
    return 0;
}

void CAsyncSocket::OnReceive(int) {}
void CAsyncSocket::OnSend(int) {}
void CAsyncSocket::OnConnect(int) {}
void CAsyncSocket::OnClose(int) {}
void CAsyncSocket::OnAccept(int) {}
