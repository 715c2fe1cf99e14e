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
template <typename T>
class CBlockList {
public:
    static constexpr int kBlockEntries = 10;

    class CEntry {
    public:
        const T& Value() const { return m_value; }
        const CEntry* Next() const { return m_pNext; }
        const CEntry* Prev() const { return m_pPrev; }
        std::uintptr_t Id() const { return m_nId; }

    private:
        friend class CBlockList;
        CEntry(CEntry* pPrev, std::uintptr_t nId, T&& value) : m_pPrev(pPrev), m_nId(nId), m_value(std::move(value)) {}

        CEntry* m_pNext = nullptr;
        CEntry* m_pPrev;
        std::uintptr_t m_nId;
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
        const CEntry* pEntry = m_pHead;
        for (; index > 0; --index) {
            pEntry = pEntry->m_pNext;
        }
        return pEntry;
    }

    const CEntry& AddTail(T value) { return AddTail(std::move(value), nullptr); }
    const CEntry& AddTail(T value, CDocArena* pArena)
    {
        void* pSlot = TakeFreeSlot(pArena);
        const std::uintptr_t nId = pArena != nullptr ? pArena->NewIdentity() : NextEntryIdentity();
        CEntry* pEntry = new (pSlot) CEntry(m_pTail, nId, std::move(value));
        if (m_pTail != nullptr) {
            m_pTail->m_pNext = pEntry;
        } else {
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
        T value = std::move(pEntry->m_value);
        m_pHead = pEntry->m_pNext;
        if (m_pHead != nullptr) {
            m_pHead->m_pPrev = nullptr;
        } else {
            m_pTail = nullptr;
        }
        --m_nCount;
        ReturnSlot(pEntry);
        if (m_nCount == 0) {
            ReleaseBlocks();
        }
        return value;
    }

    void RemoveAll()
    {
        for (CEntry* pEntry = m_pHead; pEntry != nullptr;) {
            CEntry* pNext = pEntry->m_pNext;
            pEntry->~CEntry();
            pEntry = pNext;
        }
        m_pHead = nullptr;
        m_pTail = nullptr;
        m_nCount = 0;
        ReleaseBlocks();
    }

private:
    static_assert(std::is_nothrow_move_constructible_v<T>, "entries are filled by moving");

    struct SFreeSlot {
        SFreeSlot* pNext;
    };
    struct SBlock {
        SBlock* pNext;
        alignas(CEntry) unsigned char slots[kBlockEntries][sizeof(CEntry)];
    };
    static_assert(sizeof(CEntry) >= sizeof(SFreeSlot) && alignof(CEntry) >= alignof(SFreeSlot));

    void* TakeFreeSlot(CDocArena* pArena)
    {
        if (m_pFree == nullptr) {
            SBlock* pBlock = nullptr;
            if (pArena != nullptr) {
                // Not chained: the arena's blocks are not the list's to free.
                pBlock = pArena->Create<SBlock>();
                pBlock->pNext = nullptr;
            } else {
                pBlock = new SBlock;
                pBlock->pNext = m_pBlocks;
                m_pBlocks = pBlock;
            }
            ++m_nBlocks;
            // Chain backwards so the block's first slot is handed out first.
            for (int i = kBlockEntries - 1; i >= 0; --i) {
                m_pFree = new (pBlock->slots[i]) SFreeSlot{m_pFree};
            }
        }
        SFreeSlot* pSlot = m_pFree;
        m_pFree = pSlot->pNext;
        return pSlot;
    }

    void ReturnSlot(CEntry* pEntry)
    {
        void* pMemory = pEntry;
        pEntry->~CEntry();
        m_pFree = new (pMemory) SFreeSlot{m_pFree};
    }

    void ReleaseBlocks()
    {
        while (m_pBlocks != nullptr) {
            SBlock* pNext = m_pBlocks->pNext;
            delete m_pBlocks;
            m_pBlocks = pNext;
        }
        m_pFree = nullptr;
        m_nBlocks = 0;
    }

    CEntry* m_pHead = nullptr;
    CEntry* m_pTail = nullptr;
    SFreeSlot* m_pFree = nullptr;
    SBlock* m_pBlocks = nullptr;      // the heap's blocks only
    std::int32_t m_nCount = 0;
    std::int32_t m_nBlocks = 0;
};
