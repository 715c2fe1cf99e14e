#pragma once

#include <cstddef>
#include <cstdint>

// An owned byte block that is reused (across frames, across replies) and only ever replaced
// by a larger one.
//
// The allocation rule of the library: a buffer whose size comes from the network (a frame, a
// reply's announced total, an outgoing frame) lives in a CGrowBuffer and reports running out
// of memory as a failed result, never as an exception: the caller drops the reply or fails
// the socket and carries on. Fixed, small allocations (objects, node and table blocks of the
// markup and the document) use the language's throwing new and are not checked one by one.
class CGrowBuffer {
public:
    CGrowBuffer() = default;
    ~CGrowBuffer();
    CGrowBuffer(const CGrowBuffer&) = delete;
    CGrowBuffer& operator=(const CGrowBuffer&) = delete;

    // Makes the block hold at least `size` bytes, without keeping its contents; false (block
    // unchanged) when memory runs out.
    bool Reserve(std::uint32_t size);
    // Makes the block hold at least `size` bytes and keeps the bytes it held; false (block
    // unchanged) when memory runs out.
    bool Grow(std::uint32_t size);
    // Frees the block.
    void Release();

    unsigned char* Data() { return m_pData; }
    const unsigned char* Data() const { return m_pData; }
    std::uint32_t Capacity() const { return m_nCapacity; }

private:
    unsigned char* m_pData = nullptr;
    std::uint32_t m_nCapacity = 0;
};
