#include "document/DocArena.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "document/EntryIdentity.h"

namespace {

// Chunks grow from the first size to the last by doubling: a small document takes little,
// a large one few chunks. Pages of a chunk that are never written are never made resident.
constexpr std::size_t kFirstChunk = 4 * 1024;
constexpr std::size_t kLastChunk = 4 * 1024 * 1024;

}  // namespace

CDocArena::~CDocArena()
{
    while (m_pChunks != nullptr) {
        SChunk* pNext = m_pChunks->pNext;
        std::free(m_pChunks);
        m_pChunks = pNext;
    }
}

void* CDocArena::AllocateSlow(std::size_t bytes, std::size_t align)
{
    m_nNextChunk = m_nNextChunk == 0 ? kFirstChunk : std::min(m_nNextChunk * 2, kLastChunk);
    // The chunk header keeps the rest max_align_t-aligned; larger alignments are not asked for.
    const std::size_t header = alignof(std::max_align_t);
    std::size_t size = m_nNextChunk;
    if (bytes + align + header > size) {
        size = bytes + align + header;
    }
    auto* pChunk = static_cast<SChunk*>(std::malloc(size));
    if (pChunk == nullptr) {
        throw std::bad_alloc();
    }
    // The tree's texts keep their addresses in fewer bits than a pointer: memory beyond
    // them cannot hold a tree.
    if (CArenaText::kAddressLimit != 0 &&
        reinterpret_cast<std::uintptr_t>(pChunk) + size > CArenaText::kAddressLimit) {
        std::free(pChunk);
        throw std::bad_alloc();
    }
    pChunk->pNext = m_pChunks;
    m_pChunks = pChunk;
    m_nChunkBytes += size;
    char* pStart = reinterpret_cast<char*>(pChunk) + header;
    char* pEnd = reinterpret_cast<char*>(pChunk) + size;
    // A chunk made for one large request keeps the current chunk's free room for later ones.
    if (size > m_nNextChunk && m_pNext != nullptr) {
        const auto start = reinterpret_cast<std::uintptr_t>(pStart);
        return reinterpret_cast<void*>((start + (align - 1)) &
                                       ~static_cast<std::uintptr_t>(align - 1));
    }
    m_pNext = pStart;
    m_pEnd = pEnd;
    return Allocate(bytes, align);
}

CArenaText CDocArena::CopyText(std::string_view text)
{
    if (text.empty()) {
        return {};
    }
    char* pChars = ReserveText(text.size());
    std::memcpy(pChars, text.data(), text.size());
    return CommitText(pChars, text.size(), text.size());
}

void CDocArena::TakeIdentityRun()
{
    m_nNextId = TakeEntryIdentities(kIdentityRun);
    m_nIdEnd = m_nNextId + kIdentityRun;
}
