#include "platform/AsyncSocket.h"

#include "platform/LoopBackend.h"
#include "platform/MessageLoop.h"

// The readiness state machine shared by every backend: what the loop should wait for, and
// which notification a readiness it saw becomes. The backends supply the socket calls and
// the two probes, ConnectOutcome and ProbeRead.

CAsyncSocket::CAsyncSocket()
    : m_hSocket(kNoSocket), m_pLoop(nullptr), m_state(State::Idle), m_nPendingConnectError(0),
      m_bWantSend(false), m_bEndSeen(false)
{
}

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
}

unsigned CAsyncSocket::WantedReadiness() const
{
    if (!IsOpen())
        return 0;
    switch (m_state) {
    case State::Connecting:
        return m_nPendingConnectError != 0 ? kLoopImmediate : kLoopWritable;
    case State::Listening:
        return kLoopReadable;
    case State::Connected:
        return (m_bEndSeen ? 0u : kLoopReadable) | (m_bWantSend ? kLoopWritable : 0u);
    case State::Idle:
    case State::Failed:
        break;
    }
    return 0;
}

unsigned CAsyncSocket::DispatchReadiness(unsigned ready)
{
    switch (m_state) {
    case State::Connecting:
        DispatchConnect(ready);
        return 0;
    case State::Listening:
        if (ready & (kLoopReadable | kLoopError | kLoopHangup))
            OnAccept(0);
        return 0;
    case State::Connected:
        return DispatchConnected(ready);
    case State::Idle:
    case State::Failed:
        break;
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
    const bool bWriteDue = m_bWantSend && (ready & (kLoopWritable | kLoopError | kLoopHangup));
    if (!m_bEndSeen && (ready & (kLoopReadable | kLoopError | kLoopHangup))) {
        const unsigned rest = bWriteDue ? kLoopWritable : 0u;
        int code = 0;
        switch (ProbeRead(&code)) {
        case ReadState::Data:
            OnReceive(0);
            return rest;  // `this` may be gone now
        case ReadState::End:
            m_bEndSeen = true;
            OnClose(0);
            return rest;
        case ReadState::Nothing:
            return rest;
        case ReadState::Broken:
            break;
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
