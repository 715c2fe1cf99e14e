#include "thread/ChunkLog.h"

#include <algorithm>
#include <cstring>
#include <new>

bool CChunkLog::Append(std::uint32_t offset, const unsigned char* bytes, std::uint16_t length)
{
    // Make room first, so that a failure leaves the log whole.
    const size_t needed = m_nUsed + kHeaderSize + length;
    try {
        while (m_blocks.size() * kBlockSize < needed) {
            std::unique_ptr<unsigned char[]> block(new unsigned char[kBlockSize]);
            m_blocks.push_back(std::move(block));
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    unsigned char header[kHeaderSize];
    std::memcpy(header, &offset, 4);
    std::memcpy(header + 4, &length, 2);
    Write(header, kHeaderSize);
    Write(bytes, length);
    m_nLowest = m_nChunks == 0 ? offset : std::min(m_nLowest, offset);
    ++m_nChunks;
    return true;
}

void CChunkLog::Write(const unsigned char* bytes, size_t length)
{
    while (length > 0) {
        const size_t within = m_nUsed % kBlockSize;
        const size_t step = std::min(length, kBlockSize - within);
        std::memcpy(m_blocks[m_nUsed / kBlockSize].get() + within, bytes, step);
        m_nUsed += step;
        bytes += step;
        length -= step;
    }
}

void CChunkLog::Drain(const std::function<void(std::uint32_t offset, const unsigned char* bytes,
                                               std::uint16_t length)>& take)
{
    std::vector<std::unique_ptr<unsigned char[]>> blocks;
    blocks.swap(m_blocks);
    const size_t used = m_nUsed;
    const size_t chunks = m_nChunks;
    Clear();

    // A chunk may straddle two blocks: it is gathered here before it is handed on.
    std::vector<unsigned char> gatheredBlock(kHeaderSize + UINT16_MAX);
    unsigned char* gathered = gatheredBlock.data();
    size_t position = 0;
    auto read = [&](unsigned char* out, size_t length) {
        while (length > 0) {
            const size_t within = position % kBlockSize;
            const size_t step = std::min(length, kBlockSize - within);
            std::memcpy(out, blocks[position / kBlockSize].get() + within, step);
            // A block is released once the reading has left it.
            if (within + step == kBlockSize)
                blocks[position / kBlockSize].reset();
            position += step;
            out += step;
            length -= step;
        }
    };
    for (size_t i = 0; i < chunks && position < used; ++i) {
        read(gathered, kHeaderSize);
        std::uint32_t offset = 0;
        std::uint16_t length = 0;
        std::memcpy(&offset, gathered, 4);
        std::memcpy(&length, gathered + 4, 2);
        read(gathered + kHeaderSize, length);
        take(offset, gathered + kHeaderSize, length);
    }
}

void CChunkLog::Clear()
{
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_nUsed = 0;
    m_nChunks = 0;
    m_nLowest = 0;
}

size_t CChunkLog::HeldBytes() const
{
    size_t held = m_blocks.capacity() * sizeof(m_blocks[0]);
    for (const auto& block : m_blocks)
        held += block ? kBlockSize : 0;
    return held;
}
