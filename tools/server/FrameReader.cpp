#include "FrameReader.h"

#include "WireFormat.h"

namespace korv::server {

void CFrameReader::Feed(const std::uint8_t* data, std::size_t length)
{
    // Drop what earlier frames used so the buffer stays about one frame long.
    if (m_consumed > 0) {
        m_buffer.erase(m_buffer.begin(),
                       m_buffer.begin() + static_cast<std::ptrdiff_t>(m_consumed));
        m_consumed = 0;
    }
    m_buffer.insert(m_buffer.end(), data, data + length);
}

CFrameReader::Result CFrameReader::Next(Frame& frame)
{
    if (Buffered() < kFrameHeaderSize) {
        return Result::NeedMore;
    }
    const std::uint8_t* header = m_buffer.data() + m_consumed;
    const std::size_t frameLength = GetU16(header);
    if (frameLength < kFrameHeaderSize) {
        return Result::Malformed;
    }
    if (Buffered() < frameLength) {
        return Result::NeedMore;
    }
    frame.type = GetU16(header + 2);
    frame.payload.assign(header + kFrameHeaderSize, header + frameLength);
    m_consumed += frameLength;
    return Result::Complete;
}

}  // namespace korv::server
