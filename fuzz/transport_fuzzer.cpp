// Feeds an arbitrary byte stream, cut into arbitrary pieces, to the frame assembler the way
// the client socket does (one read per notification, of the bytes the frame still lacks),
// and checks the frames it delivers against a plain reading of the same bytes. Every frame
// goes on to the message decoders and is encoded again; the whole input also goes straight
// into the decoders as each message type. No socket is involved.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "transport/FrameAssembler.h"
#include "transport/FrameEncoder.h"
#include "transport/IRptSockSink.h"
#include "transport/MsgTypes.h"
#include "transport/RptMessages.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

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
    int m_nDecoded = 0;
    std::size_t m_nSum = 0;

    void OnQuery(CRptSocket*, const char* key, const char* value) override
    {
        m_nSum += Touch(key) + Touch(value);
        ++m_nDecoded;
    }
    void OnQueryReply(CRptSocket*, const char* key, const char* value, std::int32_t, std::int32_t,
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
    void OnThumbData(CRptSocket*, const char* name, std::uint16_t length,
                     const unsigned char* bytes) override
    {
        Check(bytes != nullptr);
        m_nSum += Touch(name) + Touch(bytes, length);
        ++m_nDecoded;
    }
    void OnImageRequest(CRptSocket*, const char* name, std::int32_t, std::int32_t,
                        std::int32_t) override
    {
        m_nSum += Touch(name);
        ++m_nDecoded;
    }
    void OnImageData(CRptSocket*, const char* name, std::int32_t, std::int32_t, std::int32_t,
                     std::int32_t, std::int32_t, std::uint16_t length,
                     const unsigned char* bytes) override
    {
        Check(bytes != nullptr);
        m_nSum += Touch(name) + Touch(bytes, length);
        ++m_nDecoded;
    }
};

// Where each frame of a byte stream ends, read the plain way; false when the stream does not
// end on a frame boundary or holds a length word below 4.
bool FrameEnds(const Bytes& stream, std::vector<std::size_t>& ends)
{
    std::size_t at = 0;
    while (at < stream.size()) {
        if (stream.size() - at < 4)
            return false;
        const std::size_t length = stream[at] | (stream[at + 1] << 8);
        if (length < 4 || stream.size() - at < length)
            return false;
        at += length;
        ends.push_back(at);
    }
    return true;
}

// The read side of the client socket without the socket: of the bytes the peer has written
// so far, each step reads what the frame lacks and no more than has arrived. Each frame is
// checked against the plain reading as it is delivered.
class CStreamReader {
public:
    std::size_t m_nFrames = 0;
    bool m_bBroken = false;

    CStreamReader(const Bytes& stream, const std::vector<std::size_t>& ends, CCheckingSink& sink)
        : m_stream(stream), m_ends(ends), m_sink(sink)
    {}

    // The first `arrived` bytes of the stream have come in.
    void Arrive(std::size_t arrived)
    {
        while (!m_bBroken && m_read < arrived)
            Step(arrived);
    }

    // The peer ended the stream: a frame begun by then is cut short.
    void End()
    {
        if (m_assembler.Collected() > 0)
            m_bBroken = true;
    }

private:
    void Step(std::size_t arrived)
    {
        Check(m_assembler.Reserve());
        const std::int32_t missing = m_assembler.Missing();
        if (missing <= 0) {
            m_bBroken = true;
            return;
        }
        const std::size_t count = std::min(arrived - m_read, static_cast<std::size_t>(missing));
        std::memcpy(m_assembler.Space(), m_stream.data() + m_read, count);
        m_read += count;
        switch (m_assembler.Commit(static_cast<std::int32_t>(count))) {
        case CFrameAssembler::Result::Partial: break;
        case CFrameAssembler::Result::Broken: m_bBroken = true; break;
        case CFrameAssembler::Result::Complete:
            Deliver();
            m_assembler.Drop();
            break;
        }
    }

    void Deliver()
    {
        const int length = m_assembler.PayloadLength();
        const unsigned char* payload = m_assembler.Payload();
        Check(length >= 0 && length <= kMsgMaxPayload);
        // The next frame of the plain reading, whatever the cuts were: it ends here, and
        // encoding it again gives back the bytes it came from (type and payload included).
        Check(m_nFrames < m_ends.size() && m_ends[m_nFrames] == m_read);
        ++m_nFrames;
        const std::size_t frameLength = static_cast<std::size_t>(length) + 4;
        Check(EncodeFrame(m_encoded, m_assembler.Type(), payload,
                          static_cast<std::uint16_t>(length)));
        Check(m_encoded.Capacity() >= frameLength);
        Check(std::memcmp(m_encoded.Data(), m_stream.data() + m_read - frameLength, frameLength) ==
              0);
        DeliverMessage(&m_sink, nullptr, m_assembler.Type(), payload, length);
    }

    const Bytes& m_stream;
    const std::vector<std::size_t>& m_ends;
    CCheckingSink& m_sink;
    CFrameAssembler m_assembler;
    std::size_t m_read = 0;
    CGrowBuffer m_encoded;
};

void DecodeDirectly(const std::uint8_t* data, std::size_t size)
{
    CCheckingSink sink;
    const int length =
        static_cast<int>(size > static_cast<std::size_t>(kMsgMaxPayload) ? kMsgMaxPayload : size);
    // A payload of its own heap block, so that a read past its end is caught.
    Bytes payload(data, data + length);
    int decoded = 0;
    for (std::uint16_t type = 0; type <= 7; ++type)
        decoded += DeliverMessage(&sink, nullptr, type, payload.data(), length) ? 1 : 0;
    Check(decoded == sink.m_nDecoded);
    // Unknown types and a missing sink are never reported.
    Check(!DeliverMessage(&sink, nullptr, 0, payload.data(), length));
    Check(!DeliverMessage(&sink, nullptr, 7, payload.data(), length));
    Check(!DeliverMessage(nullptr, nullptr, MSG_IMAGE_DATA, payload.data(), length));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    DecodeDirectly(data, size);

    // Input: repeated (cut length byte, that many stream bytes).
    FuzzedDataProvider input(data, size);
    Bytes stream;
    stream.reserve(size);
    std::vector<std::size_t> cuts;
    cuts.reserve(size / 2 + 1);
    while (input.remaining_bytes() > 0) {
        const std::size_t cut = input.ConsumeIntegralInRange<std::size_t>(1, 300);
        const std::size_t take = std::min(cut, input.remaining_bytes());
        if (take == 0)
            break;
        const std::size_t at = stream.size();
        stream.resize(at + take);
        input.ConsumeData(stream.data() + at, take);
        cuts.push_back(stream.size());
    }
    std::vector<std::size_t> ends;
    ends.reserve(stream.size() / 4 + 1);
    const bool whole = FrameEnds(stream, ends);

    CCheckingSink sink;
    CStreamReader reader(stream, ends, sink);
    for (const std::size_t arrived : cuts)
        reader.Arrive(arrived);
    reader.End();

    // Every frame the stream holds, in order (checked on delivery); broken exactly when the
    // stream was.
    Check(whole == !reader.m_bBroken);
    if (whole)
        Check(reader.m_nFrames == ends.size());
    Check(sink.m_nDecoded <= static_cast<int>(reader.m_nFrames));
    return 0;
}
