#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ProbeSocket.h"
#include "RecordingSink.h"
#include "WireMessages.h"
#include "platform/LoopPump.h"
#include "platform/MessageLoop.h"
#include "platform/RawPeer.h"

inline Bytes ToBytes(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

// The client socket, on a loop attached to the test thread, connected to a raw peer.
class LoopbackFixture : public ::testing::Test {
protected:
    void SetUp() override { Connect(m_listener); }

    void Connect(RawListener& listener)
    {
        m_loop.Attach();
        m_socket.SetSink(&m_sink);
        ASSERT_TRUE(m_socket.Create());
        m_socket.Connect("127.0.0.1", listener.Port());
        m_peer = listener.Accept();
        ASSERT_TRUE(m_peer.IsOpen());
        ASSERT_TRUE(PumpUntil(m_loop, [&] { return m_sink.HasKind("connect"); }));
        ASSERT_EQ(m_sink.m_calls, std::vector<std::string>{"connect|0"});
        m_sink.m_calls.clear();
    }

    // Serves the loop until the peer has `count` bytes more than before; returns them.
    Bytes PeerReads(size_t count)
    {
        Bytes got;
        PumpUntil(m_loop, [&] {
            m_peer.ReadAvailable(&got);
            return got.size() >= count;
        });
        return got;
    }

    bool PumpUntilFrames(size_t count)
    {
        return PumpUntil(m_loop, [&] { return m_socket.m_frames.size() >= count; });
    }

    CMessageLoop m_loop;
    RawListener m_listener;
    CRecordingSink m_sink;
    CProbeSocket m_socket;
    RawPeer m_peer;
};
