#include "transport/FrameAssembler.h"

#include <cstring>
#include <new>

#include "transport/LittleEndian.h"
#include "transport/MsgTypes.h"

CFrameAssembler::CFrameAssembler() : m_pBuffer(nullptr), m_nCapacity(0), m_nCollected(0) {}

CFrameAssembler::~CFrameAssembler()
{
    delete[] m_pBuffer;
}

std::int32_t CFrameAssembler::FrameLength() const
{
    return LittleEndian::Get16(m_pBuffer);
}

bool CFrameAssembler::Reserve()
{
    if (m_pBuffer == nullptr) {
        m_nCollected = 0;
        m_pBuffer = new (std::nothrow) unsigned char[kMsgHeaderSize];
        m_nCapacity = m_pBuffer != nullptr ? kMsgHeaderSize : 0;
        return m_pBuffer != nullptr;
    }
    if (m_nCollected >= kMsgHeaderSize) {
        const std::int32_t frameLength = FrameLength();
        if (frameLength > m_nCapacity) {
            unsigned char* larger = new (std::nothrow) unsigned char[frameLength];
            if (larger != nullptr)
                std::memcpy(larger, m_pBuffer, static_cast<size_t>(m_nCapacity));
            delete[] m_pBuffer;
            m_pBuffer = larger;
            if (larger == nullptr) {
                m_nCapacity = 0;
                m_nCollected = 0;
                return false;
            }
            m_nCapacity = frameLength;
        }
    }
    return true;
}

std::int32_t CFrameAssembler::Missing() const
{
    if (m_nCollected < kMsgHeaderSize || m_pBuffer == nullptr)
        return kMsgHeaderSize - m_nCollected;
    return FrameLength() - m_nCollected;
}

unsigned char* CFrameAssembler::Space()
{
    return m_pBuffer + m_nCollected;
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
    return LittleEndian::Get16(m_pBuffer + 2);
}

const unsigned char* CFrameAssembler::Payload() const
{
    return m_pBuffer + kMsgHeaderSize;
}

std::int32_t CFrameAssembler::PayloadLength() const
{
    return FrameLength() - kMsgHeaderSize;
}

void CFrameAssembler::Drop()
{
    if (m_pBuffer != nullptr)
        LittleEndian::Put16(m_pBuffer, 0);
    m_nCollected = 0;
}
