#include "document/DocIndex.h"

#include "document/TreeWalk.h"
#include "markup/AlwaysInline.h"

void CDocIndex::Clear()
{
    m_records.clear();
    m_fields.clear();
    m_narrowHandles.clear();
    m_wideHandles.clear();
    m_nHandleBase = 0;
    m_bNarrowHandles = true;
    m_table.Clear();
    m_root = SNodeRecord();
}

void CDocIndex::Build(const CInfoNode* pRoot)
{
    Clear();
    if (pRoot == nullptr) {
        return;
    }
    // Every entry of the tree took its identity from the tree's arena, which knows their
    // range and how many nodes and fields it holds: the tables take their final size
    // without a walk of their own.
    const CDocArena& arena = pRoot->Arena();
    const std::uintptr_t lo = arena.LowestIdentity();
    const std::uintptr_t hi = arena.HighestIdentity();
    const std::size_t nodes = arena.NodeCount();
    const std::size_t fields = arena.FieldCount();
    m_table.Reset(lo, hi, nodes + fields);
    m_records.reserve(nodes);
    m_fields.reserve(fields);
    m_nHandleBase = lo;
    m_bNarrowHandles = hi < lo || hi - lo < UINT32_MAX;
    if (m_bNarrowHandles) {
        m_narrowHandles.reserve(nodes + fields);
    } else {
        m_wideHandles.reserve(nodes + fields);
    }

    WalkTree(pRoot, [&](const CInfoNode* pParent, const CInfoNode::ChildList::CEntry* pEntry,
                        const CInfoNode* pNode) {
        if (pEntry == nullptr) {
            m_root = ListPositions(pNode);
        } else if (m_table.Insert(pEntry->Id(), static_cast<std::uint32_t>(m_records.size() + 1))) {
            // Only the first entry in walk order is kept, as the search would find it.
            SNodeRecord record = ListPositions(pNode);
            record.pNode = pNode;
            if (pParent == pRoot) {
                record.nChildCountAndMark |= kRootChildMark;
            }
            m_records.push_back(record);
        } else if (pNode != nullptr) {
            // A node whose handle an earlier entry holds lists nothing, but its fields still
            // count where their own handles come first.
            pNode->Fields().ForEach(
                [this](const CInfoNode::FieldList::CEntry& field) { AddField(field); });
        }
        return false;
    });
}

KORV_ALWAYS_INLINE void CDocIndex::AddField(const CInfoNode::FieldList::CEntry& field)
{
    if (m_table.Insert(field.Id(), static_cast<std::uint32_t>(m_fields.size() + 1) | kFieldMark)) {
        m_fields.push_back(&field.Value());
    }
}

CDocIndex::SNodeRecord CDocIndex::ListPositions(const CInfoNode* pNode)
{
    SNodeRecord record;
    if (pNode == nullptr) {
        return record;
    }
    record.nChildStart = static_cast<std::uint32_t>(HandleCount());
    pNode->Children().ForEach(
        [this](const CInfoNode::ChildList::CEntry& entry) { PushHandle(entry.Id()); });
    record.nChildCountAndMark = static_cast<std::uint32_t>(HandleCount()) - record.nChildStart;
    record.nFieldStart = static_cast<std::uint32_t>(HandleCount());
    // The fields are listed and entered in the table in one visit.
    pNode->Fields().ForEach([this](const CInfoNode::FieldList::CEntry& entry) {
        PushHandle(entry.Id());
        AddField(entry);
    });
    record.nFieldCount = static_cast<std::uint32_t>(HandleCount()) - record.nFieldStart;
    return record;
}

std::size_t CDocIndex::HandleCount() const
{
    return m_bNarrowHandles ? m_narrowHandles.size() : m_wideHandles.size();
}

void CDocIndex::PushHandle(std::uintptr_t handle)
{
    if (m_bNarrowHandles) {
        m_narrowHandles.push_back(static_cast<std::uint32_t>(handle - m_nHandleBase));
    } else {
        m_wideHandles.push_back(handle);
    }
}

const CDocIndex::SNodeRecord* CDocIndex::FindRecord(std::uintptr_t handle) const
{
    const std::uint32_t slot = m_table.Find(handle);
    return (slot == 0 || (slot & kFieldMark) != 0) ? nullptr : &m_records[slot - 1];
}

std::uintptr_t CDocIndex::At(std::uint32_t start, std::uint32_t count, std::int32_t index) const
{
    if (index < 0 || static_cast<std::uint32_t>(index) >= count) {
        return 0;
    }
    const std::size_t position = start + static_cast<std::uint32_t>(index);
    return m_bNarrowHandles ? m_nHandleBase + m_narrowHandles[position] : m_wideHandles[position];
}

const CInfoNode* CDocIndex::FindNode(std::uintptr_t handle) const
{
    const SNodeRecord* pRecord = FindRecord(handle);
    return pRecord == nullptr ? nullptr : pRecord->pNode;
}

const CInfoNode* CDocIndex::FindRootChild(std::uintptr_t handle) const
{
    const SNodeRecord* pRecord = FindRecord(handle);
    return (pRecord == nullptr || !pRecord->IsRootChild()) ? nullptr : pRecord->pNode;
}

const CInfoField* CDocIndex::FindField(std::uintptr_t handle) const
{
    const std::uint32_t slot = m_table.Find(handle);
    return (slot & kFieldMark) == 0 ? nullptr : m_fields[(slot & ~kFieldMark) - 1];
}

std::uintptr_t CDocIndex::RootChildAt(std::int32_t index) const
{
    return At(m_root.nChildStart, m_root.ChildCount(), index);
}

std::uintptr_t CDocIndex::ChildAt(std::uintptr_t handle, std::int32_t index) const
{
    const SNodeRecord* pRecord = FindRecord(handle);
    return pRecord == nullptr ? 0 : At(pRecord->nChildStart, pRecord->ChildCount(), index);
}

std::uintptr_t CDocIndex::FieldAt(std::uintptr_t handle, std::int32_t index) const
{
    const SNodeRecord* pRecord = FindRecord(handle);
    return pRecord == nullptr ? 0 : At(pRecord->nFieldStart, pRecord->nFieldCount, index);
}
