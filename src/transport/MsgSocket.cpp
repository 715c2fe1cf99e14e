#include "transport/MsgSocket.h"

#include <cstring>
#include <new>

#include "transport/LittleEndian.h"
#include "transport/MsgTypes.h"

CMsgSocket::CMsgSocket()
    : m_bClosed(false), m_bSendPending(false), m_nSent(0), m_nSendCap(0), m_nReceived(0),
      m_nRecvCap(0), m_pSendBuf(nullptr), m_pRecvBuf(nullptr)
{
}

CMsgSocket::~CMsgSocket()
{
    delete[] m_pSendBuf;
    delete[] m_pRecvBuf;
}

bool CMsgSocket::SendMsg(uint16_t type, const void* payload, uint16_t length)
{
    if (m_bClosed || m_bSendPending || payload == nullptr || length > kMsgMaxPayload)
        return false;

    const uint32_t frameLength = static_cast<uint32_t>(length) + kMsgHeaderSize;
    if (m_pSendBuf == nullptr || m_nSendCap < frameLength) {
        delete[] m_pSendBuf;
        m_pSendBuf = new (std::nothrow) unsigned char[frameLength];
        m_nSendCap = frameLength;
    }
    if (m_pSendBuf == nullptr) {
        m_nSendCap = 0;
        OnError(-1);
        return false;
    }

    LittleEndian::Put16(m_pSendBuf, static_cast<uint16_t>(frameLength));
    LittleEndian::Put16(m_pSendBuf + 2, type);
    if (length > 0)
        std::memcpy(m_pSendBuf + kMsgHeaderSize, payload, length);
    m_nSent = 0;
    FlushSend();
    return true;
}

void CMsgSocket::FlushSend()
{
    if (m_pSendBuf == nullptr)
        return;
    const int32_t frameLength = LittleEndian::Get16(m_pSendBuf);
    if (frameLength == 0)
        return;

    while (m_nSent < frameLength) {
        const int sent = Send(m_pSendBuf + m_nSent, frameLength - m_nSent, 0);
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
    LittleEndian::Put16(m_pSendBuf, 0);
    m_nSent = 0;
}

void CMsgSocket::OnSend(int nErrorCode)
{
    FlushSend();
    CAsyncSocket::OnSend(nErrorCode);
}

bool CMsgSocket::ReadyRecvBuffer()
{
    if (m_pRecvBuf == nullptr) {
        m_pRecvBuf = new (std::nothrow) unsigned char[kMsgHeaderSize];
        m_nRecvCap = m_pRecvBuf != nullptr ? kMsgHeaderSize : 0;
        return m_pRecvBuf != nullptr;
    }
    if (m_nReceived >= kMsgHeaderSize) {
        const int32_t frameLength = LittleEndian::Get16(m_pRecvBuf);
        if (frameLength > m_nRecvCap) {
            unsigned char* larger = new (std::nothrow) unsigned char[frameLength];
            if (larger != nullptr)
                std::memcpy(larger, m_pRecvBuf, static_cast<size_t>(m_nRecvCap));
            delete[] m_pRecvBuf;
            m_pRecvBuf = larger;
            if (larger == nullptr)
                return false;
            m_nRecvCap = frameLength;
        }
    }
    return true;
}

void CMsgSocket::DropIncoming()
{
    if (m_pRecvBuf != nullptr)
        LittleEndian::Put16(m_pRecvBuf, 0);
    m_nReceived = 0;
}

void CMsgSocket::FailRead(int32_t code)
{
    DropIncoming();
    Close();
    OnError(code);
}

void CMsgSocket::OnReceive(int nErrorCode)
{
    if (!ReadyRecvBuffer()) {
        m_nRecvCap = 0;
        m_nReceived = 0;
        Close();
        OnError(-1);
        CAsyncSocket::OnReceive(nErrorCode);
        return;
    }

    int32_t frameLength = 0;
    int32_t missing = kMsgHeaderSize - m_nReceived;
    if (m_nReceived >= kMsgHeaderSize) {
        frameLength = LittleEndian::Get16(m_pRecvBuf);
        missing = frameLength - m_nReceived;
    }
    if (missing <= 0) {
        // Only a header whose length word is below 4 gets here.
        FailRead(-1);
        CAsyncSocket::OnReceive(nErrorCode);
        return;
    }

    const int got = Receive(m_pRecvBuf + m_nReceived, missing, 0);
    if (got == SOCKET_ERROR) {
        const int code = GetLastError();
        if (code != WSAEWOULDBLOCK)
            FailRead(code);
    } else if (got == 0) {
        FailRead(-1);  // the peer ended the stream inside a frame
    } else {
        m_nReceived += got;
        if (m_nReceived >= kMsgHeaderSize) {
            frameLength = LittleEndian::Get16(m_pRecvBuf);
            if (frameLength < kMsgHeaderSize) {
                FailRead(-1);
            } else if (m_nReceived == frameLength) {
                OnMessage(LittleEndian::Get16(m_pRecvBuf + 2), m_pRecvBuf + kMsgHeaderSize,
                          frameLength - kMsgHeaderSize);
                DropIncoming();
            }
        }
    }
    CAsyncSocket::OnReceive(nErrorCode);
}

void CMsgSocket::OnClose(int nErrorCode)
{
    const bool bCutShort = m_nReceived > 0;
    DropIncoming();
    m_bClosed = true;
    // The platform reports the end of the stream once every byte has been read; a frame
    // begun by then can never complete.
    if (bCutShort)
        OnError(-1);
    CAsyncSocket::OnClose(nErrorCode);
}
