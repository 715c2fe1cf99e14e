#include "FaultJob.h"

#include <algorithm>
#include <cstring>

#include "WireFormat.h"

namespace korv::server {
namespace {

// Where the fields after the leading strings start: the query reply echoes two strings,
// thumbnail and image data one. 0 when the frame is not a reply or is already malformed.
std::size_t FixedFieldsAt(const std::vector<std::uint8_t>& frame, std::uint16_t type)
{
    int strings = type == MSG_QUERY_REPLY                              ? 2
                  : (type == MSG_THUMB_DATA || type == MSG_IMAGE_DATA) ? 1
                                                                       : 0;
    std::size_t at = kFrameHeaderSize;
    while (strings-- > 0) {
        const void* nul =
            at < frame.size() ? std::memchr(frame.data() + at, 0, frame.size() - at) : nullptr;
        if (nul == nullptr) {
            return 0;
        }
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - frame.data()) + 1;
    }
    return at;
}

void SetLength(std::vector<std::uint8_t>& frame)
{
    const auto length = static_cast<std::uint16_t>(frame.size());
    frame[0] = static_cast<std::uint8_t>(length & 0xff);
    frame[1] = static_cast<std::uint8_t>(length >> 8);
}

void PutI32At(std::vector<std::uint8_t>& frame, std::size_t at, std::int32_t value)
{
    std::vector<std::uint8_t> bytes;
    PutI32(bytes, value);
    std::copy(bytes.begin(), bytes.end(), frame.begin() + static_cast<std::ptrdiff_t>(at));
}

// Offsets of total and offset inside a text or image reply frame.
std::size_t TotalAt(std::uint16_t type, std::size_t fixed)
{
    return type == MSG_IMAGE_DATA ? fixed + 12 : fixed;
}

// The same frame with its chunk emptied.
std::vector<std::uint8_t> EmptyChunk(const std::vector<std::uint8_t>& frame, std::uint16_t type,
                                     std::size_t fixed)
{
    std::vector<std::uint8_t> empty(frame.begin(),
                                    frame.begin() + static_cast<std::ptrdiff_t>(fixed));
    if (type == MSG_QUERY_REPLY) {
        empty.insert(empty.end(), frame.begin() + static_cast<std::ptrdiff_t>(fixed),
                     frame.begin() + static_cast<std::ptrdiff_t>(fixed + 8));
        empty.push_back(0);
    } else {
        const std::size_t lengthAt = type == MSG_IMAGE_DATA ? fixed + 20 : fixed;
        empty.insert(empty.end(), frame.begin() + static_cast<std::ptrdiff_t>(fixed),
                     frame.begin() + static_cast<std::ptrdiff_t>(lengthAt));
        PutU16(empty, 0);
    }
    SetLength(empty);
    return empty;
}

}  // namespace

CFaultJob::CFaultJob(std::unique_ptr<CReplyJob> inner, ServerFault fault)
    : m_inner(std::move(inner)), m_fault(fault)
{}

void CFaultJob::AppendNextFrame(std::vector<std::uint8_t>& out)
{
    m_frame.clear();
    m_inner->AppendNextFrame(m_frame);
    ++m_frames;
    if (m_frame.size() < kFrameHeaderSize) {
        out.insert(out.end(), m_frame.begin(), m_frame.end());
        return;
    }
    Rewrite(m_frame, out);
}

void CFaultJob::Rewrite(std::vector<std::uint8_t>& frame, std::vector<std::uint8_t>& out)
{
    const std::uint16_t type = GetU16(frame.data() + 2);
    const std::size_t fixed = FixedFieldsAt(frame, type);
    const bool chunked = type == MSG_QUERY_REPLY || type == MSG_IMAGE_DATA;
    switch (m_fault) {
    case ServerFault::CloseMidText:
    case ServerFault::CloseMidImage: {
        const std::uint16_t victim =
            m_fault == ServerFault::CloseMidText ? MSG_QUERY_REPLY : MSG_IMAGE_DATA;
        // An image loses its second frame, so that one chunk has been taken in already.
        const bool cut =
            type == victim && (victim == MSG_QUERY_REPLY || m_frames >= 2 || m_inner->Done());
        if (cut) {
            frame.resize(std::max<std::size_t>(frame.size() / 2, 1));
            m_endsConnection = true;
        }
        break;
    }
    case ServerFault::GarbageShortLength:
        frame[0] = 2;
        frame[1] = 0;
        break;
    case ServerFault::GarbageNoNul:
        std::replace(frame.begin() + static_cast<std::ptrdiff_t>(kFrameHeaderSize), frame.end(),
                     std::uint8_t{0}, std::uint8_t{'x'});
        break;
    case ServerFault::GarbageCutFields:
        if (fixed != 0) {
            frame.resize(std::min(frame.size(), fixed + (type == MSG_THUMB_DATA ? 1 : 6)));
            SetLength(frame);
        }
        break;
    case ServerFault::LyingTotal:
        if (chunked && fixed != 0) {
            const std::int32_t total = GetI32(frame.data() + TotalAt(type, fixed));
            PutI32At(frame, TotalAt(type, fixed),
                     type == MSG_QUERY_REPLY ? total * 2 + 1 : total + 1);
        }
        break;
    case ServerFault::LyingOffset:
        if (chunked && fixed != 0) {
            const std::size_t at = TotalAt(type, fixed) + 4;
            PutI32At(frame, at, GetI32(frame.data() + at) + 1);
        }
        break;
    case ServerFault::ZeroLengthChunk:
        if (fixed != 0 && chunked) {
            const std::vector<std::uint8_t> empty = EmptyChunk(frame, type, fixed);
            out.insert(out.end(), empty.begin(), empty.end());
        } else if (fixed != 0 && type == MSG_THUMB_DATA) {
            frame = EmptyChunk(frame, type, fixed);
        }
        break;
    case ServerFault::OtherName:
        // Same length, another name: the frame keeps its size limit.
        if (fixed > kFrameHeaderSize + 1 && (type == MSG_THUMB_DATA || type == MSG_IMAGE_DATA)) {
            frame[kFrameHeaderSize] = frame[kFrameHeaderSize] == '#' ? '%' : '#';
        }
        break;
    case ServerFault::None:
    case ServerFault::Stall:
    case ServerFault::LateReply: break;
    }
    out.insert(out.end(), frame.begin(), frame.end());
}

}  // namespace korv::server
