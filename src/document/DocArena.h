#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <utility>

#include "document/ArenaText.h"

// The memory of one document tree: nodes, list blocks and strings are carved from chunks
// that are released together when the arena goes, never one by one. Also hands out the
// identities of the tree's list entries, taking them from the process-wide counter in runs,
// so that a tree's identities lie close together and a load takes one atomic step per run
// instead of one per entry. Identities are never 0 and never handed out twice.
class CDocArena {
public:
    CDocArena() = default;
    ~CDocArena();
    CDocArena(const CDocArena&) = delete;
    CDocArena& operator=(const CDocArena&) = delete;

    // Identities taken from the shared counter at a time.
    static constexpr std::uintptr_t kIdentityRun = 1024;

    void* Allocate(std::size_t bytes, std::size_t align);
    template <typename T, typename... Args>
    T* Create(Args&&... args)
    {
        return new (Allocate(sizeof(T), alignof(T))) T(std::forward<Args>(args)...);
    }
    // Room for up to `capacity` characters; Commit then keeps the first `used` of them. No
    // other allocation may come between the two.
    char* ReserveChars(std::size_t capacity) { return static_cast<char*>(Allocate(capacity, 1)); }
    void Commit(const char* pChars, std::size_t capacity, std::size_t used)
    {
        if (pChars + capacity == m_pNext && used <= capacity) {
            m_pNext = const_cast<char*>(pChars) + used;
        }
    }
    // A copy of the characters in the arena (empty text takes no room).
    CArenaText CopyText(std::string_view text);
    // The same in two steps, for text written in place: room for up to `capacity`
    // characters, then CommitText keeps the first `used` of them as the arena's text. No
    // other allocation may come between the two.
    char* ReserveText(std::size_t capacity)
    {
        if (capacity < CArenaText::kLongLength) {
            return ReserveChars(capacity);
        }
        return ReserveChars(capacity + CArenaText::kLengthPrefix) + CArenaText::kLengthPrefix;
    }
    CArenaText CommitText(const char* pChars, std::size_t capacity, std::size_t used)
    {
        Commit(pChars, capacity, used);
        return used == 0 ? CArenaText() : CArenaText::InArena(pChars, used);
    }

    std::uintptr_t NewIdentity()
    {
        if (m_nNextId == m_nIdEnd) {
            TakeIdentityRun();
        }
        const std::uintptr_t nId = m_nNextId++;
        if (nId < m_nLowestId) {
            m_nLowestId = nId;
        }
        if (nId > m_nHighestId) {
            m_nHighestId = nId;
        }
        return nId;
    }
    // The range of the identities handed out (lowest > highest when none were).
    std::uintptr_t LowestIdentity() const { return m_nLowestId; }
    std::uintptr_t HighestIdentity() const { return m_nHighestId; }

    // What the tree holds, counted as it is built, for sizing its index.
    void CountNode() { ++m_nNodes; }
    void CountField() { ++m_nFields; }
    std::size_t NodeCount() const { return m_nNodes; }
    std::size_t FieldCount() const { return m_nFields; }

    // Bytes taken from the heap for chunks.
    std::size_t ChunkBytes() const { return m_nChunkBytes; }

private:
    struct SChunk {
        SChunk* pNext;
    };
    void* AllocateSlow(std::size_t bytes, std::size_t align);
    void TakeIdentityRun();

    SChunk* m_pChunks = nullptr;
    char* m_pNext = nullptr;
    char* m_pEnd = nullptr;
    std::size_t m_nNextChunk = 0;
    std::size_t m_nChunkBytes = 0;
    std::uintptr_t m_nNextId = 0;
    std::uintptr_t m_nIdEnd = 0;
    std::uintptr_t m_nLowestId = UINTPTR_MAX;
    std::uintptr_t m_nHighestId = 0;
    std::size_t m_nNodes = 0;
    std::size_t m_nFields = 0;
};

inline void* CDocArena::Allocate(std::size_t bytes, std::size_t align)
{
    const auto address = reinterpret_cast<std::uintptr_t>(m_pNext);
    const std::uintptr_t aligned =
        (address + (align - 1)) & ~static_cast<std::uintptr_t>(align - 1);
    if (m_pNext != nullptr && aligned + bytes <= reinterpret_cast<std::uintptr_t>(m_pEnd)) {
        m_pNext = reinterpret_cast<char*>(aligned + bytes);
        return reinterpret_cast<void*>(aligned);
    }
    return AllocateSlow(bytes, align);
}
