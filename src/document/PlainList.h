#pragma once

#include <cstdint>
#include <iterator>
#include <new>
#include <type_traits>

#include "document/DocArena.h"

// An ordered list of a tree's arena whose entries nobody designates: no identity, no links
// of their own. It grows at the tail only, in blocks of kBlockEntries that never move an
// entry, and is read front to back or by position. The blocks belong to the arena, which
// releases them with the tree, so the elements must need no destructor.
template <typename T>
class CPlainList {
    struct SBlock;

public:
    static constexpr int kBlockEntries = 10;

    class CIterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;

        const T& operator*() const { return m_pBlock->At(m_nSlot); }
        const T* operator->() const { return &m_pBlock->At(m_nSlot); }
        CIterator& operator++()
        {
            if (++m_nSlot == m_pBlock->nFilled) {
                m_pBlock = m_pBlock->pNext;
                m_nSlot = 0;
            }
            return *this;
        }
        friend bool operator==(const CIterator& a, const CIterator& b)
        {
            return a.m_pBlock == b.m_pBlock && a.m_nSlot == b.m_nSlot;
        }
        friend bool operator!=(const CIterator& a, const CIterator& b) { return !(a == b); }

    private:
        friend class CPlainList;
        CIterator(const SBlock* pBlock, int slot) : m_pBlock(pBlock), m_nSlot(slot) {}
        const SBlock* m_pBlock;
        int m_nSlot;
    };

    CPlainList() = default;
    CPlainList(const CPlainList&) = delete;
    CPlainList& operator=(const CPlainList&) = delete;

    std::int32_t Count() const { return m_nCount; }
    // Bytes of one block of entries, for accounting.
    static constexpr std::size_t BlockBytes() { return sizeof(SBlock); }

    CIterator begin() const { return CIterator(m_pFirst, 0); }
    CIterator end() const { return CIterator(nullptr, 0); }

    // The element at a 0-based position from the head, or null when out of range.
    const T* At(std::int32_t index) const
    {
        if (index < 0 || index >= m_nCount) {
            return nullptr;
        }
        const SBlock* pBlock = m_pFirst;
        for (; index >= kBlockEntries; index -= kBlockEntries) {
            pBlock = pBlock->pNext;
        }
        return &pBlock->At(index);
    }
    const T* Tail() const
    {
        return m_pLast != nullptr ? &m_pLast->At(m_pLast->nFilled - 1) : nullptr;
    }

    void AddTail(const T& value, CDocArena& arena)
    {
        if (m_pLast == nullptr || m_pLast->nFilled == kBlockEntries) {
            auto* pNew = new (arena.Allocate(sizeof(SBlock), alignof(SBlock))) SBlock;
            pNew->pNext = nullptr;
            pNew->nFilled = 0;
            (m_pLast != nullptr ? m_pLast->pNext : m_pFirst) = pNew;
            m_pLast = pNew;
        }
        new (m_pLast->slots[m_pLast->nFilled++]) T(value);
        ++m_nCount;
    }

    // Forgets every entry; the blocks go with the arena.
    void RemoveAll()
    {
        m_pFirst = nullptr;
        m_pLast = nullptr;
        m_nCount = 0;
    }

private:
    static_assert(std::is_trivially_destructible_v<T>, "the arena frees blocks unvisited");

    struct SBlock {
        SBlock* pNext;
        std::int32_t nFilled;
        alignas(T) unsigned char slots[kBlockEntries][sizeof(T)];

        const T& At(int slot) const
        {
            return *std::launder(reinterpret_cast<const T*>(slots[slot]));
        }
    };

    SBlock* m_pFirst = nullptr;
    SBlock* m_pLast = nullptr;
    std::int32_t m_nCount = 0;
};
