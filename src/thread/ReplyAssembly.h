#pragma once

#include "thread/ChunkLog.h"
#include "transport/GrowBuffer.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// Puts one reply (the patient text or an image) together from chunks that name their offset
// in a declared total. The memory held grows with the bytes received, never with the total
// a peer declares: the reply's buffer is a window [0, Window()) that grows, by half at least,
// only while it stays within twice the bytes received; a chunk beyond the window waits in a
// log and moves into the buffer when the window reaches it. Chunks that arrive in ascending
// order and tile the reply are copied once, straight into the buffer.
//
// Text: the reply is complete when a chunk reaches the total; bytes never received stay zero,
// so the text ends at its first gap (as the server sends text in ascending order).
// Image: the reply is complete when every byte of the total has been received; where chunks
// overlap, the later one's bytes are kept.
class CReplyAssembly {
public:
    enum class Kind { Text, Image };
    enum class Result {
        Dropped,   // the chunk does not fit its declared total, is longer than a message can carry,
                   // or the total is above the limit
        Partial,   // taken; more is expected
        Complete,  // taken, and the reply is complete
    };

    // The largest total accepted: 256 MiB of text; 1 GiB of image (512 MiB on 32-bit builds).
    static constexpr std::uint32_t kMaxTextTotal = 256u << 20;
    static constexpr std::uint32_t kMaxImageTotal = sizeof(void*) == 4 ? 512u << 20 : 1024u << 20;
    // What each chunk's message costs on the wire at the least besides its bytes (frame
    // header, the fixed fields and the terminators of empty names).
    static constexpr std::uint32_t kTextMessageCost = 15;
    static constexpr std::uint32_t kImageMessageCost = 27;
    // HeldBytes() stays within twice ReceivedBytes() plus this.
    static constexpr size_t kSlack = 256 * 1024;

    explicit CReplyAssembly(Kind kind);
    CReplyAssembly(const CReplyAssembly&) = delete;
    CReplyAssembly& operator=(const CReplyAssembly&) = delete;

    // Takes a chunk of `length` bytes at `offset` of a reply of `total` bytes. A chunk whose
    // total differs from the reply in progress starts a new reply.
    Result Add(std::int32_t total, std::int32_t offset, const unsigned char* bytes, size_t length);

    // Forgets the reply in progress; the buffer is kept for the next one.
    void Clear();
    // Forgets the reply in progress and frees all memory.
    void Release();

    bool IsEmpty() const { return !m_bActive; }
    bool IsComplete() const;
    std::uint32_t Total() const { return m_nTotal; }
    // The reply's bytes: an image's Total() bytes once complete; a text's NUL-terminated
    // characters once complete.
    const unsigned char* Data() const { return m_buffer.Data(); }
    const char* Text() const;

    // Memory held for the reply: buffer, coverage map and log.
    size_t HeldBytes() const;
    // The bytes received for the reply in progress, counting each message's least wire cost.
    std::uint64_t ReceivedBytes() const { return m_nReceived; }
    std::uint32_t Window() const { return m_nWindow; }

private:
    std::uint32_t MaxTotal() const;
    std::uint64_t WindowBudget() const;
    bool GrowWindow(std::uint32_t needed, bool settle);
    bool SetWindow(std::uint32_t window);
    void Place(std::uint32_t offset, const unsigned char* bytes, std::uint32_t length);
    bool Keep(std::uint32_t offset, const unsigned char* bytes, std::uint32_t length);
    void MarkCovered(std::uint32_t begin, std::uint32_t end);
    void AdvancePrefix();
    bool StartCoverageMap();
    void Settle();

    Kind m_kind;
    bool m_bActive = false;
    std::uint32_t m_nTotal = 0;
    std::uint64_t m_nReceived = 0;  // accounted bytes of the reply's messages
    CGrowBuffer m_buffer;           // the window's bytes (a text's one more for its NUL)
    std::uint32_t m_nWindow = 0;
    std::uint32_t m_nPrefix = 0;  // images: every byte below it has been received
    // Images, once a chunk left a gap below it: one bit per byte of the window.
    std::unique_ptr<std::uint64_t[]> m_pCoverage;
    size_t m_nCoverageWords = 0;
    CChunkLog m_log;  // chunks, or their parts, at or beyond the window
};
