#include "transport/MsgSocket.h"

#include "transport/FrameEncoder.h"
#include "transport/LittleEndian.h"
#include "transport/MsgTypes.h"

CMsgSocket::CMsgSocket() : m_bClosed(false), m_bSendPending(false), m_nSent(0) {}

CMsgSocket::~CMsgSocket() = default;

bool CMsgSocket::SendMsg(std::uint16_t type, const void* payload, std::uint16_t length)
{
    if (m_bClosed || m_bSendPending || payload == nullptr || length > kMsgMaxPayload)
        return false;

    if (!EncodeFrame(m_send, type, payload, length)) {
        OnError(-1);
        return false;
    }
    m_nSent = 0;
    FlushSend();
    return true;
}

void CMsgSocket::FlushSend()
{
    unsigned char* const frame = m_send.Data();
    if (frame == nullptr)
        return;
    const std::int32_t frameLength = LittleEndian::Get16(frame);
    if (frameLength == 0)
        return;

    while (m_nSent < frameLength) {
        const int sent = Send(frame + m_nSent, frameLength - m_nSent, 0);
        if (sent > 0) {
            m_nSent += sent;
            continue;
        }
        const int code = sent == 0 ? WSAEWOULDBLOCK : GetLastError();
        if (code == WSAEWOULDBLOCK) {
            m_bSendPending = true;
            return;
        }
        // The rest of the frame is never sent. Closed before the report, so that a sink
        // sending again from OnError is refused instead of re-entering the broken socket.
        Close();
        m_bClosed = true;
        m_bSendPending = false;
        OnError(code);
        return;
    }
    m_bSendPending = false;
    LittleEndian::Put16(frame, 0);
    m_nSent = 0;
}

void CMsgSocket::OnSend(int nErrorCode)
{
    FlushSend();
    CAsyncSocket::OnSend(nErrorCode);
}

void CMsgSocket::FailRead(std::int32_t code)
{
    m_frames.Drop();
    Close();
    OnError(code);
}

void CMsgSocket::OnReceive(int nErrorCode)
{
    if (!m_frames.Reserve()) {
        Close();
        OnError(-1);
        CAsyncSocket::OnReceive(nErrorCode);
        return;
    }
    const std::int32_t missing = m_frames.Missing();
    if (missing <= 0) {
        // Only a header whose length word is below 4 gets here.
        FailRead(-1);
        CAsyncSocket::OnReceive(nErrorCode);
        return;
    }

    // One Receive per notification, for the bytes the frame still lacks and no more.
    const int got = Receive(m_frames.Space(), missing, 0);
    if (got == SOCKET_ERROR) {
        const int code = GetLastError();
        if (code != WSAEWOULDBLOCK)
            FailRead(code);
    } else if (got == 0) {
        FailRead(-1);  // the peer ended the stream inside a frame
    } else {
        switch (m_frames.Commit(got)) {
        case CFrameAssembler::Result::Partial: break;
        case CFrameAssembler::Result::Broken: FailRead(-1); break;
        case CFrameAssembler::Result::Complete:
            OnMessage(m_frames.Type(), m_frames.Payload(), m_frames.PayloadLength());
            m_frames.Drop();
            break;
        }
    }
    CAsyncSocket::OnReceive(nErrorCode);
}

void CMsgSocket::OnClose(int nErrorCode)
{
    const bool bCutShort = m_frames.Collected() > 0;
    m_frames.Drop();
    m_bClosed = true;
    // The platform reports the end of the stream once every byte has been read; a frame
    // begun by then can never complete.
    if (bCutShort)
        OnError(-1);
    CAsyncSocket::OnClose(nErrorCode);
}
