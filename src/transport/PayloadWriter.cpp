#include "transport/PayloadWriter.h"

#include <cstring>

#include "transport/LittleEndian.h"

CPayloadWriter::CPayloadWriter(unsigned char* block, size_t size)
    : m_pBlock(block), m_nSize(block != nullptr ? size : 0), m_nWritten(0)
{}

bool CPayloadWriter::WriteString(const char* text)
{
    if (text == nullptr)
        return false;
    return WriteBytes(text, std::strlen(text) + 1);
}

bool CPayloadWriter::WriteInt32(std::int32_t value)
{
    unsigned char field[4];
    LittleEndian::Put32(field, value);
    return WriteBytes(field, sizeof field);
}

bool CPayloadWriter::WriteUInt16(std::uint16_t value)
{
    unsigned char field[2];
    LittleEndian::Put16(field, value);
    return WriteBytes(field, sizeof field);
}

bool CPayloadWriter::WriteBytes(const void* bytes, size_t count)
{
    if (count > m_nSize - m_nWritten || (bytes == nullptr && count > 0))
        return false;
    if (count > 0)
        std::memcpy(m_pBlock + m_nWritten, bytes, count);
    m_nWritten += count;
    return true;
}
