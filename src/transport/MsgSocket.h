#pragma once

#include <cstdint>

#include "platform/AsyncSocket.h"
#include "transport/FrameAssembler.h"
#include "transport/GrowBuffer.h"

// Turns the byte stream of a non-blocking socket into whole frames: a little-endian length
// word (header included), a type word and up to 65531 payload bytes. One outgoing frame is
// held at a time, finished from OnSend when the platform would block; incoming bytes are
// collected until a frame is complete and then handed to OnMessage. The meaning of the
// types is left to the derived class. The framing itself is socket-free (CFrameAssembler,
// EncodeFrame); this class only moves bytes between it and the platform socket.
//
// Incoming frames: each OnReceive makes exactly one Receive call, for the bytes the current
// frame still lacks and no more, so bytes of the next frame stay queued in the platform and
// raise a further OnReceive. A length word below 4 can never make a frame: the socket is
// closed and OnError(-1) reported. The peer ending the stream inside a frame reports
// OnError(-1) and drops the partial frame, whether the end shows up as a read of 0 bytes or
// as OnClose.
class CMsgSocket : public CAsyncSocket {
public:
    CMsgSocket();
    ~CMsgSocket() override;

    // True: the frame was sent whole, or partly with the rest pending, or its sending failed,
    // the socket was closed and then OnError was called. False: nothing was queued (closed, a frame still pending,
    // null payload, payload over 65531 bytes, or the buffer could not be allocated).
    bool SendMsg(std::uint16_t type, const void* payload, std::uint16_t length);

    // The peer closed the connection or a send failed hard; every later SendMsg is refused.
    bool IsClosed() const { return m_bClosed; }
    // Part of a frame is waiting for the socket to become writable.
    bool IsSendPending() const { return m_bSendPending; }

protected:
    void OnSend(int nErrorCode) override;
    void OnReceive(int nErrorCode) override;
    void OnClose(int nErrorCode) override;

    // payload is valid only during the call; length is the frame length minus 4.
    virtual void OnMessage(std::uint16_t type, const unsigned char* payload, int length) = 0;
    // A platform socket error code, or -1 for errors without one.
    virtual void OnError(std::int32_t code) = 0;

    void FlushSend();

private:
    bool m_bClosed;
    bool m_bSendPending;
    std::int32_t m_nSent;
    CGrowBuffer m_send;        // one outgoing frame; length word 0 once sent
    CFrameAssembler m_frames;  // the incoming frame

    void FailRead(std::int32_t code);
};
