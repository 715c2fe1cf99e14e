#pragma once

#include <cstdint>
#include <vector>

#include "transport/RptSocket.h"

// The client socket with a window on its notifications: which frames were delivered by
// which OnReceive. The framing itself is tested without a socket (FrameAssemblerTest).
class CProbeSocket : public CRptSocket {
public:
    struct Frame {
        std::uint16_t type;
        std::vector<unsigned char> payload;
        int notification;
    };

    std::vector<Frame> m_frames;
    int m_nNotifications = 0;

protected:
    void OnReceive(int code) override
    {
        ++m_nNotifications;
        CRptSocket::OnReceive(code);
    }
    void OnMessage(std::uint16_t type, const unsigned char* payload, int length) override
    {
        m_frames.push_back(
            Frame{type, std::vector<unsigned char>(payload, payload + length), m_nNotifications});
        CRptSocket::OnMessage(type, payload, length);
    }
};
