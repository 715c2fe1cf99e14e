#include "transport/GrowBuffer.h"

#include <cstdlib>

CGrowBuffer::~CGrowBuffer()
{
    std::free(m_pData);
}

bool CGrowBuffer::Reserve(std::uint32_t size)
{
    if (m_pData != nullptr && m_nCapacity >= size)
        return true;
    // Exactly the size asked for: replies of one kind tend to repeat their size.
    auto* block = static_cast<unsigned char*>(std::malloc(size == 0 ? 1 : size));
    if (block == nullptr)
        return false;
    std::free(m_pData);
    m_pData = block;
    m_nCapacity = size;
    return true;
}

bool CGrowBuffer::Grow(std::uint32_t size)
{
    if (m_pData != nullptr && m_nCapacity >= size)
        return true;
    // realloc can move a large block by remapping its pages instead of copying them.
    auto* block = static_cast<unsigned char*>(std::realloc(m_pData, size == 0 ? 1 : size));
    if (block == nullptr)
        return false;
    m_pData = block;
    m_nCapacity = size;
    return true;
}

void CGrowBuffer::Release()
{
    std::free(m_pData);
    m_pData = nullptr;
    m_nCapacity = 0;
}
