#include "thread/GrowBuffer.h"

#include <new>

bool CGrowBuffer::Reserve(uint32_t size)
{
    if (m_pData != nullptr && m_nCapacity >= size)
        return true;
    // Exactly the size asked for: replies of one kind tend to repeat their size.
    unsigned char* block = new (std::nothrow) unsigned char[size == 0 ? 1 : size];
    if (block == nullptr)
        return false;
    delete[] m_pData;
    m_pData = block;
    m_nCapacity = size;
    return true;
}
