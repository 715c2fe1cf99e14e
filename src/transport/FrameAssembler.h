#pragma once

#include <cstdint>

#include "transport/GrowBuffer.h"

// Collects the bytes of one incoming frame at a time, without touching a socket: it says how
// many bytes the frame still lacks (the rest of the 4-byte header, then the rest of the
// frame, never more), the caller puts at most that many at Space() and commits them. So a
// reader that fetches exactly Missing() bytes per read never takes a byte of the next frame.
//
//     if (!frames.Reserve()) ...                 // out of memory: the partial frame is lost
//     const int32_t want = frames.Missing();     // <= 0 only for a broken header
//     got = read(frames.Space(), want);          // 0 < got <= want
//     switch (frames.Commit(got)) { ... }        // Complete: Type(), Payload(); then Drop()
//
// The buffer grows to the largest frame seen and is reused; it is freed with the assembler.
class CFrameAssembler {
public:
    enum class Result {
        Partial,   // the frame still lacks bytes
        Complete,  // a whole frame: Type(), Payload(), PayloadLength() until Drop()
        Broken,    // the length word is below 4: no frame can come of this stream
    };

    CFrameAssembler() = default;
    CFrameAssembler(const CFrameAssembler&) = delete;
    CFrameAssembler& operator=(const CFrameAssembler&) = delete;

    // Makes room at Space() for the Missing() bytes. False when the buffer could not be
    // allocated; the buffer and the partial frame are then gone (a later call starts afresh).
    bool Reserve();
    // Bytes the current frame still lacks: 4 - Collected() while the header is incomplete,
    // then the frame length - Collected(). 0 or less once the header is broken.
    std::int32_t Missing() const;
    // Where the next bytes go, after a successful Reserve().
    unsigned char* Space();
    // Takes count bytes written at Space(), 0 < count <= Missing().
    Result Commit(std::int32_t count);

    // The frame Commit reported Complete; the payload is valid until Drop().
    std::uint16_t Type() const;
    const unsigned char* Payload() const;
    std::int32_t PayloadLength() const;

    // Forgets the frame being collected (a delivered one, or a partial one that will never
    // complete); the buffer is kept.
    void Drop();

    std::int32_t Collected() const { return m_nCollected; }
    std::int32_t Capacity() const { return static_cast<std::int32_t>(m_buffer.Capacity()); }

private:
    std::int32_t FrameLength() const;

    CGrowBuffer m_buffer;  // the frame being collected; length word 0 once dropped
    std::int32_t m_nCollected = 0;
};
