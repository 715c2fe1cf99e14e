#ifndef KORV_TESTS_PROBE_SOCKET_H
#define KORV_TESTS_PROBE_SOCKET_H

#include <cstdint>
#include <vector>

#include "transport/RptSocket.h"

// The client socket with a window on its framing: which frames were delivered by which
// notification, and how far each read step got.
class CProbeSocket : public CRptSocket {
public:
    struct Frame {
        uint16_t type;
        std::vector<unsigned char> payload;
        int notification;
    };

    std::vector<Frame> m_frames;
    std::vector<int32_t> m_receivedAfterStep;  // m_nReceived after each read step
    int m_nNotifications = 0;

    int32_t RecvCap() const { return m_nRecvCap; }
    uint32_t SendCap() const { return m_nSendCap; }

    // The decoder on its own, for payloads handed in directly.
    void Decode(uint16_t type, const unsigned char* payload, int length)
    {
        CRptSocket::OnMessage(type, payload, length);
    }

protected:
    void OnReceive(int code) override
    {
        ++m_nNotifications;
        CRptSocket::OnReceive(code);
        m_receivedAfterStep.push_back(m_nReceived);
    }
    void OnMessage(uint16_t type, const unsigned char* payload, int length) override
    {
        m_frames.push_back(Frame{type, std::vector<unsigned char>(payload, payload + length), m_nNotifications});
        CRptSocket::OnMessage(type, payload, length);
    }
};

#endif
