#include "transport/FrameAssembler.h"

#include "transport/LittleEndian.h"
#include "transport/MsgTypes.h"

std::int32_t CFrameAssembler::FrameLength() const
{
    return LittleEndian::Get16(m_buffer.Data());
}

bool CFrameAssembler::Reserve()
{
    if (m_buffer.Data() == nullptr) {
        m_nCollected = 0;
        return m_buffer.Reserve(kMsgHeaderSize);
    }
    if (m_nCollected >= kMsgHeaderSize) {
        const std::int32_t frameLength = FrameLength();
        if (!m_buffer.Grow(static_cast<std::uint32_t>(frameLength))) {
            // The partial frame cannot be completed: it goes with the buffer.
            m_buffer.Release();
            m_nCollected = 0;
            return false;
        }
    }
    return true;
}

std::int32_t CFrameAssembler::Missing() const
{
    if (m_nCollected < kMsgHeaderSize || m_buffer.Data() == nullptr)
        return kMsgHeaderSize - m_nCollected;
    return FrameLength() - m_nCollected;
}

unsigned char* CFrameAssembler::Space()
{
    return m_buffer.Data() + m_nCollected;
}

CFrameAssembler::Result CFrameAssembler::Commit(std::int32_t count)
{
    if (count > 0)
        m_nCollected += count;
    if (m_nCollected < kMsgHeaderSize)
        return Result::Partial;
    const std::int32_t frameLength = FrameLength();
    if (frameLength < kMsgHeaderSize)
        return Result::Broken;
    return m_nCollected == frameLength ? Result::Complete : Result::Partial;
}

std::uint16_t CFrameAssembler::Type() const
{
    return LittleEndian::Get16(m_buffer.Data() + 2);
}

const unsigned char* CFrameAssembler::Payload() const
{
    return m_buffer.Data() + kMsgHeaderSize;
}

std::int32_t CFrameAssembler::PayloadLength() const
{
    return FrameLength() - kMsgHeaderSize;
}

void CFrameAssembler::Drop()
{
    if (m_buffer.Data() != nullptr)
        LittleEndian::Put16(m_buffer.Data(), 0);
    m_nCollected = 0;
}
