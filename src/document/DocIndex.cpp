#include "document/DocIndex.h"

#include "document/TreeWalk.h"

void CDocIndex::Clear()
{
    m_records.clear();
    m_fields.clear();
    m_handles.clear();
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
    m_handles.reserve(nodes + fields);

    WalkTree(pRoot, [&](const CInfoNode* pParent, const CInfoNode::ChildList::CEntry* pEntry,
                        const CInfoNode* pNode) {
        if (pEntry == nullptr) {
            m_root = ListPositions(pNode);
        } else if (m_table.Find(pEntry->Id()) == 0) {
            // Only the first entry in walk order is kept, as the search would find it.
            SNodeRecord record = ListPositions(pNode);
            record.pNode = pNode;
            record.bRootChild = (pParent == pRoot);
            m_records.push_back(record);
            m_table.Insert(pEntry->Id(), static_cast<std::uint32_t>(m_records.size()));
        }
        if (pNode != nullptr) {
            pNode->Fields().ForEach([this](const CInfoNode::FieldList::CEntry& field) {
                if (m_table.Find(field.Id()) == 0) {
                    m_fields.push_back(&field.Value());
                    m_table.Insert(field.Id(),
                                   static_cast<std::uint32_t>(m_fields.size()) | kFieldMark);
                }
            });
        }
        return false;
    });
}

CDocIndex::SNodeRecord CDocIndex::ListPositions(const CInfoNode* pNode)
{
    SNodeRecord record;
    if (pNode == nullptr) {
        return record;
    }
    record.nChildStart = static_cast<std::uint32_t>(m_handles.size());
    pNode->Children().ForEach(
        [this](const CInfoNode::ChildList::CEntry& entry) { m_handles.push_back(entry.Id()); });
    record.nChildCount = static_cast<std::uint32_t>(m_handles.size()) - record.nChildStart;
    record.nFieldStart = static_cast<std::uint32_t>(m_handles.size());
    pNode->Fields().ForEach(
        [this](const CInfoNode::FieldList::CEntry& entry) { m_handles.push_back(entry.Id()); });
    record.nFieldCount = static_cast<std::uint32_t>(m_handles.size()) - record.nFieldStart;
    return record;
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
    return m_handles[start + static_cast<std::uint32_t>(index)];
}

const CInfoNode* CDocIndex::FindNode(std::uintptr_t handle) const
{
    const SNodeRecord* pRecord = FindRecord(handle);
    return pRecord == nullptr ? nullptr : pRecord->pNode;
}

const CInfoNode* CDocIndex::FindRootChild(std::uintptr_t handle) const
{
    const SNodeRecord* pRecord = FindRecord(handle);
    return (pRecord == nullptr || !pRecord->bRootChild) ? nullptr : pRecord->pNode;
}

const CInfoField* CDocIndex::FindField(std::uintptr_t handle) const
{
    const std::uint32_t slot = m_table.Find(handle);
    return (slot & kFieldMark) == 0 ? nullptr : m_fields[(slot & ~kFieldMark) - 1];
}

std::uintptr_t CDocIndex::RootChildAt(std::int32_t index) const
{
    return At(m_root.nChildStart, m_root.nChildCount, index);
}

std::uintptr_t CDocIndex::ChildAt(std::uintptr_t handle, std::int32_t index) const
{
    const SNodeRecord* pRecord = FindRecord(handle);
    return pRecord == nullptr ? 0 : At(pRecord->nChildStart, pRecord->nChildCount, index);
}

std::uintptr_t CDocIndex::FieldAt(std::uintptr_t handle, std::int32_t index) const
{
    const SNodeRecord* pRecord = FindRecord(handle);
    return pRecord == nullptr ? 0 : At(pRecord->nFieldStart, pRecord->nFieldCount, index);
}
