// Feeds an arbitrary byte stream, cut into arbitrary writes, to the client socket over a
// loopback connection, and checks the frames it delivers against a plain reading of the
// same bytes. The whole input also goes straight into the decoder as each message type.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/MessageLoop.h"
#include "platform/RawPeer.h"
#include "transport/MsgTypes.h"
#include "transport/RptSocket.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

struct Frame {
    std::uint16_t type;
    Bytes payload;
    bool operator==(const Frame& other) const { return type == other.type && payload == other.payload; }
};

// Touches every byte a decoded field claims, so that a field reaching past the payload
// shows up under the address sanitizer.
std::size_t Touch(const char* text)
{
    return text != nullptr ? std::strlen(text) : 0;
}

std::size_t Touch(const unsigned char* bytes, std::size_t count)
{
    std::size_t sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return sum;
}

class CCheckingSink : public IRptSockSink {
public:
    int m_nErrors = 0;
    int m_nCloses = 0;
    int m_nConnects = 0;
    int m_nDecoded = 0;
    std::size_t m_nSum = 0;

    void OnQuery(CRptSocket*, const char* key, const char* value) override
    {
        m_nSum += Touch(key) + Touch(value);
        ++m_nDecoded;
    }
    void OnQueryReply(CRptSocket*, const char* key, const char* value, int32_t, int32_t,
                      const char* text) override
    {
        m_nSum += Touch(key) + Touch(value) + Touch(text);
        ++m_nDecoded;
    }
    void OnThumbRequest(CRptSocket*, const char* name) override
    {
        m_nSum += Touch(name);
        ++m_nDecoded;
    }
    void OnThumbData(CRptSocket*, const char* name, uint16_t length, const unsigned char* bytes) override
    {
        Check(bytes != nullptr);
        m_nSum += Touch(name) + Touch(bytes, length);
        ++m_nDecoded;
    }
    void OnImageRequest(CRptSocket*, const char* name, int32_t, int32_t, int32_t) override
    {
        m_nSum += Touch(name);
        ++m_nDecoded;
    }
    void OnImageData(CRptSocket*, const char* name, int32_t, int32_t, int32_t, int32_t, int32_t,
                     uint16_t length, const unsigned char* bytes) override
    {
        Check(bytes != nullptr);
        m_nSum += Touch(name) + Touch(bytes, length);
        ++m_nDecoded;
    }
    void OnSockError(CRptSocket*, int32_t) override { ++m_nErrors; }
    void OnSockClose(CRptSocket*, int32_t) override { ++m_nCloses; }
    void OnSockConnect(CRptSocket*, int32_t code) override
    {
        Check(code == 0);
        ++m_nConnects;
    }
};

// Records each frame the read step hands up before the decoder sees it.
class CFuzzSocket : public CRptSocket {
public:
    std::vector<Frame> m_frames;

    void Decode(std::uint16_t type, const unsigned char* payload, int length)
    {
        CRptSocket::OnMessage(type, payload, length);
    }

protected:
    void OnMessage(std::uint16_t type, const unsigned char* payload, int length) override
    {
        Check(length >= 0 && length <= kMsgMaxPayload);
        m_frames.push_back(Frame{type, Bytes(payload, payload + length)});
        CRptSocket::OnMessage(type, payload, length);
    }
};

// The frames in a byte stream read the plain way; false when the stream does not end on a
// frame boundary or holds a length word below 4.
bool ReadFrames(const Bytes& stream, std::vector<Frame>& frames)
{
    std::size_t at = 0;
    while (at < stream.size()) {
        if (stream.size() - at < 4)
            return false;
        const std::size_t length = stream[at] | (stream[at + 1] << 8);
        if (length < 4)
            return false;
        if (stream.size() - at < length)
            return false;
        frames.push_back(Frame{static_cast<std::uint16_t>(stream[at + 2] | (stream[at + 3] << 8)),
                               Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at) + 4,
                                     stream.begin() + static_cast<std::ptrdiff_t>(at + length))});
        at += length;
    }
    return true;
}

struct Harness {
    CMessageLoop loop;
    RawListener listener;
    Harness() { loop.Attach(); }
};

Harness& Shared()
{
    static Harness* harness = new Harness();
    return *harness;
}

void PumpOnce(CMessageLoop& loop)
{
    ThreadMessage message{};
    while (loop.GetMessage(&message, 0)) {
    }
}

template <typename Done>
bool PumpUntil(CMessageLoop& loop, Done done)
{
    // GetMessage serves sockets for its whole time-out: poll without waiting first, and
    // wait in small steps only once the socket is slow to report.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (int spins = 0; !done(); ++spins) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        ThreadMessage message{};
        (void)loop.GetMessage(&message, spins < 1000 ? 0 : 1);
    }
    return true;
}

void DecodeDirectly(const std::uint8_t* data, std::size_t size)
{
    CCheckingSink sink;
    CFuzzSocket socket;
    socket.SetSink(&sink);
    const int length = static_cast<int>(size > static_cast<std::size_t>(kMsgMaxPayload) ? kMsgMaxPayload : size);
    // A payload of its own heap block, so that a read past its end is caught.
    Bytes payload(data, data + length);
    for (std::uint16_t type = 0; type <= 7; ++type)
        socket.Decode(type, payload.data(), length);
    // No sink: nothing is reported.
    socket.SetSink(nullptr);
    socket.Decode(MSG_IMAGE_DATA, payload.data(), length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    DecodeDirectly(data, size);

    Harness& harness = Shared();
    CCheckingSink sink;
    CFuzzSocket socket;
    socket.SetSink(&sink);
    Check(socket.Create());
    socket.Connect("127.0.0.1", harness.listener.Port());
    RawPeer peer = harness.listener.Accept();
    Check(peer.IsOpen());
    Check(PumpUntil(harness.loop, [&] { return sink.m_nConnects == 1; }));

    // Input: repeated (cut length byte, that many stream bytes).
    FuzzedDataProvider input(data, size);
    Bytes stream;
    bool peerWrites = true;
    while (input.remaining_bytes() > 0) {
        const std::size_t cut = input.ConsumeIntegralInRange<std::size_t>(1, 300);
        const Bytes piece = input.ConsumeBytes<unsigned char>(cut);
        stream.insert(stream.end(), piece.begin(), piece.end());
        if (peerWrites)
            peerWrites = peer.Write(piece);
        PumpOnce(harness.loop);
    }
    ::shutdown(peer.Fd(), SHUT_WR);
    // The end of the stream always ends in a close or an error report, never a wait.
    Check(PumpUntil(harness.loop, [&] { return sink.m_nErrors > 0 || sink.m_nCloses > 0; }));

    std::vector<Frame> expected;
    const bool whole = ReadFrames(stream, expected);
    if (peerWrites) {
        // Every frame the stream holds, in order, whatever the cuts were; an error exactly
        // when the stream was broken.
        const std::size_t prefix = socket.m_frames.size();
        Check(prefix <= expected.size());
        Check(std::equal(socket.m_frames.begin(), socket.m_frames.end(), expected.begin()));
        Check(whole == (sink.m_nErrors == 0));
        if (whole)
            Check(prefix == expected.size());
    } else {
        // The socket gave up early, which only a broken stream can cause.
        Check(!whole && sink.m_nErrors > 0);
    }
    Check(sink.m_nDecoded <= static_cast<int>(socket.m_frames.size()));

    peer.Reset();
    socket.Close();
    return 0;
}
