#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "document/DocArena.h"
#include "document/EntryIdentity.h"

// An ordered list that grows at the tail only. Entries are carved from blocks of
// kBlockEntries and never move while they exist, so an entry keeps one identity for its
// whole life; the host's handles are those identities. Blocks come from the heap, or from a
// document's arena when one is given: those are never freed by the list (the arena releases
// them with the whole tree) and the entries take their identities from the arena.
//
// An entry holds only its identity, its slot in the block and its value: the block knows its
// neighbours, its first live slot and how many it has handed out, and every block but the
// tail is full, so an entry finds its neighbours through its block.
template <typename T>
class CBlockList {
    struct SBlock;

public:
    static constexpr int kBlockEntries = 10;

    class CEntry {
    public:
        const T& Value() const { return m_value; }
        const CEntry* Next() const;
        const CEntry* Prev() const;
        std::uintptr_t Id() const { return static_cast<std::uintptr_t>(m_nIdSlot & kIdMask); }

    private:
        friend class CBlockList;
        CEntry(std::uintptr_t nId, int slot, T&& value)
            : m_nIdSlot(static_cast<std::uint64_t>(nId) |
                        (static_cast<std::uint64_t>(slot) << kSlotShift)),
              m_value(std::move(value))
        {}
        int Slot() const { return static_cast<int>(m_nIdSlot >> kSlotShift); }
        const SBlock* Block() const
        {
            return reinterpret_cast<const SBlock*>(
                reinterpret_cast<const unsigned char*>(this) -
                static_cast<std::size_t>(Slot()) * sizeof(CEntry) - offsetof(SBlock, slots));
        }
        SBlock* Block() { return const_cast<SBlock*>(static_cast<const CEntry*>(this)->Block()); }

        // The identity in the low 56 bits (a counter that never gets near them), the slot above.
        std::uint64_t m_nIdSlot;
        T m_value;
    };

    CBlockList() = default;
    ~CBlockList() { RemoveAll(); }
    CBlockList(const CBlockList&) = delete;
    CBlockList& operator=(const CBlockList&) = delete;

    const CEntry* Head() const { return m_pHead; }
    const CEntry* Tail() const { return m_pTail; }
    std::int32_t Count() const { return m_nCount; }
    int BlockCount() const { return m_nBlocks; }
    // Bytes of one block of entries, for accounting.
    static constexpr std::size_t BlockBytes() { return sizeof(SBlock); }

    // The entry at a 0-based position from the head, or null when out of range.
    const CEntry* At(std::int32_t index) const
    {
        if (index < 0 || index >= m_nCount) {
            return nullptr;
        }
        const SBlock* pBlock = m_pHead->Block();
        std::int32_t pos = m_pHead->Slot() + index;
        while (pos >= pBlock->nFilled) {
            pos -= pBlock->nFilled;
            pBlock = pBlock->pNext;
        }
        return pBlock->At(pos);
    }

    // Calls visit(entry) for every entry, head to tail, block by block.
    template <typename Visit>
    void ForEach(Visit&& visit) const
    {
        if (m_pHead == nullptr) {
            return;
        }
        for (const SBlock* pBlock = m_pHead->Block(); pBlock != nullptr; pBlock = pBlock->pNext) {
            for (int slot = pBlock->nFirst; slot < pBlock->nFilled; ++slot) {
                visit(*pBlock->At(slot));
            }
        }
    }

    const CEntry& AddTail(T value) { return AddTail(std::move(value), nullptr); }
    const CEntry& AddTail(T value, CDocArena* pArena)
    {
        SBlock* pBlock = m_pTail != nullptr ? m_pTail->Block() : nullptr;
        if (pBlock == nullptr || pBlock->nFilled == kBlockEntries) {
            // Default-initialised, not zeroed: the links and counts are set below and a slot
            // is written only when an entry is made in it.
            SBlock* pNew = pArena != nullptr
                               ? new (pArena->Allocate(sizeof(SBlock), alignof(SBlock))) SBlock
                               : new SBlock;
            pNew->pNext = nullptr;
            pNew->pPrev = pBlock;
            pNew->nFirst = 0;
            pNew->nFilled = 0;
            pNew->bHeap = pArena == nullptr;
            if (pBlock != nullptr) {
                pBlock->pNext = pNew;
            }
            ++m_nBlocks;
            pBlock = pNew;
        }
        const int slot = pBlock->nFilled++;
        const std::uintptr_t nId = pArena != nullptr ? pArena->NewIdentity() : NextEntryIdentity();
        CEntry* pEntry = new (pBlock->slots[slot]) CEntry(nId, slot, std::move(value));
        if (m_pHead == nullptr) {
            m_pHead = pEntry;
        }
        m_pTail = pEntry;
        ++m_nCount;
        return *pEntry;
    }

    // Takes the head entry off and hands back its element; an empty list gives T{}.
    T RemoveHead()
    {
        if (m_pHead == nullptr) {
            return T{};
        }
        CEntry* pEntry = m_pHead;
        SBlock* pBlock = pEntry->Block();
        const int slot = pEntry->Slot();
        T value = std::move(pEntry->m_value);
        pEntry->~CEntry();
        --m_nCount;
        if (m_nCount == 0) {
            m_pHead = nullptr;
            m_pTail = nullptr;
            ReleaseBlocks(pBlock);
            return value;
        }
        pBlock->nFirst = static_cast<std::uint8_t>(slot + 1);
        if (slot + 1 < pBlock->nFilled) {
            m_pHead = pBlock->At(slot + 1);
        } else {
            // The block is used up (its first live slot is past its last) and stays linked
            // for the release; the next one now starts the list.
            m_pHead = pBlock->pNext->At(0);
        }
        return value;
    }

    void RemoveAll()
    {
        SBlock* pAnyBlock = m_pTail != nullptr ? m_pTail->Block() : nullptr;
        for (CEntry* pEntry = m_pHead; pEntry != nullptr;) {
            CEntry* pNext = const_cast<CEntry*>(pEntry->Next());
            pEntry->~CEntry();
            pEntry = pNext;
        }
        m_pHead = nullptr;
        m_pTail = nullptr;
        m_nCount = 0;
        ReleaseBlocks(pAnyBlock);
    }

private:
    static_assert(std::is_nothrow_move_constructible_v<T>, "entries are filled by moving");
    static_assert(sizeof(std::uintptr_t) <= sizeof(std::uint64_t));
    static constexpr int kSlotShift = 56;
    static constexpr std::uint64_t kIdMask = (std::uint64_t{1} << kSlotShift) - 1;

    struct SBlock {
        SBlock* pNext;         // the next block in list order
        SBlock* pPrev;         // the one before; once used up, nFirst == nFilled there
        std::uint8_t nFirst;   // first slot still holding an entry
        std::uint8_t nFilled;  // slots handed out
        bool bHeap;            // from the heap, freed by the list; else the arena's
        alignas(CEntry) unsigned char slots[kBlockEntries][sizeof(CEntry)];

        const CEntry* At(int slot) const
        {
            return std::launder(reinterpret_cast<const CEntry*>(slots[slot]));
        }
        CEntry* At(int slot) { return std::launder(reinterpret_cast<CEntry*>(slots[slot])); }
    };

    // Frees the heap's blocks of the chain that pAnyBlock is in; an arena's stay with it.
    void ReleaseBlocks(SBlock* pAnyBlock)
    {
        m_nBlocks = 0;
        if (pAnyBlock == nullptr || !pAnyBlock->bHeap) {
            return;
        }
        SBlock* pBlock = pAnyBlock;
        while (pBlock->pPrev != nullptr) {
            pBlock = pBlock->pPrev;
        }
        while (pBlock != nullptr) {
            SBlock* pNext = pBlock->pNext;
            delete pBlock;
            pBlock = pNext;
        }
    }

    CEntry* m_pHead = nullptr;
    CEntry* m_pTail = nullptr;
    std::int32_t m_nCount = 0;
    std::int32_t m_nBlocks = 0;
};

template <typename T>
const typename CBlockList<T>::CEntry* CBlockList<T>::CEntry::Next() const
{
    const SBlock* pBlock = Block();
    const int slot = Slot();
    if (slot + 1 < pBlock->nFilled) {
        return pBlock->At(slot + 1);
    }
    return pBlock->pNext != nullptr ? pBlock->pNext->At(0) : nullptr;
}

template <typename T>
const typename CBlockList<T>::CEntry* CBlockList<T>::CEntry::Prev() const
{
    const SBlock* pBlock = Block();
    const int slot = Slot();
    if (slot > pBlock->nFirst) {
        return pBlock->At(slot - 1);
    }
    const SBlock* pPrev = pBlock->pPrev;
    return pPrev != nullptr && pPrev->nFirst < pPrev->nFilled ? pPrev->At(kBlockEntries - 1)
                                                              : nullptr;
}
