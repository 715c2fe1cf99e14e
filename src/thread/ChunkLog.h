#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// Chunks kept in arrival order until there is room for them in the reply's buffer: each a
// six-byte header (offset, length) and its bytes, packed into fixed-size blocks so that the
// memory held follows the bytes kept, not the number of chunks or the offsets they name.
class CChunkLog {
public:
    static constexpr size_t kBlockSize = 64 * 1024;
    static constexpr size_t kHeaderSize = 6;

    // False when memory runs out (the log then holds what it held before).
    bool Append(std::uint32_t offset, const unsigned char* bytes, std::uint16_t length);
    // Hands every chunk to `take` in arrival order and empties the log as it goes, so its
    // blocks are freed while the chunks are moved elsewhere.
    void Drain(const std::function<void(std::uint32_t offset, const unsigned char* bytes,
                                        std::uint16_t length)>& take);
    void Clear();

    bool IsEmpty() const { return m_nChunks == 0; }
    size_t ChunkCount() const { return m_nChunks; }
    // The lowest offset of a chunk in the log (meaningless when it is empty).
    std::uint32_t LowestOffset() const { return m_nLowest; }
    // Memory held: the blocks and the table that points at them.
    size_t HeldBytes() const;

private:
    void Write(const unsigned char* bytes, size_t length);

    std::vector<std::unique_ptr<unsigned char[]>> m_blocks;
    size_t m_nUsed = 0;  // bytes written in total over all blocks
    size_t m_nChunks = 0;
    std::uint32_t m_nLowest = 0;
};
