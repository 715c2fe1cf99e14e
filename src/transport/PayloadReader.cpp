#include "transport/PayloadReader.h"

#include <cstring>

#include "transport/LittleEndian.h"

CPayloadReader::CPayloadReader(const unsigned char* payload, size_t length)
    : m_pNext(payload), m_nLeft(payload != nullptr ? length : 0)
{}

bool CPayloadReader::ReadString(const char** out)
{
    if (m_nLeft == 0)
        return false;
    const void* nul = std::memchr(m_pNext, 0, m_nLeft);
    if (nul == nullptr)
        return false;
    const size_t size = static_cast<size_t>(static_cast<const unsigned char*>(nul) - m_pNext) + 1;
    *out = reinterpret_cast<const char*>(m_pNext);
    m_pNext += size;
    m_nLeft -= size;
    return true;
}

bool CPayloadReader::ReadInt32(std::int32_t* out)
{
    const unsigned char* field = nullptr;
    if (!ReadBytes(4, &field))
        return false;
    *out = LittleEndian::Get32(field);
    return true;
}

bool CPayloadReader::ReadUInt16(std::uint16_t* out)
{
    const unsigned char* field = nullptr;
    if (!ReadBytes(2, &field))
        return false;
    *out = LittleEndian::Get16(field);
    return true;
}

bool CPayloadReader::ReadBytes(size_t count, const unsigned char** out)
{
    if (count > m_nLeft)
        return false;
    *out = m_pNext;
    m_pNext += count;
    m_nLeft -= count;
    return true;
}
