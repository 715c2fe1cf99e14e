#include "document/DocIndex.h"

#include "document/TreeWalk.h"

void CDocIndex::Clear()
{
    m_mapNode.clear();
    m_mapField.clear();
    m_rootChildren.clear();
}

void CDocIndex::Build(const CInfoNode* pRoot)
{
    Clear();
    WalkTree(pRoot, [&](const CInfoNode* pParent, const CInfoNode::ChildList::CEntry* pEntry,
                        const CInfoNode* pNode) {
        if (pEntry == nullptr) {
            SNodeRecord rootRecord;
            ListPositions(pNode, rootRecord);
            m_rootChildren = std::move(rootRecord.children);
        } else {
            // emplace keeps the first entry in walk order, as the search would.
            auto [it, bAdded] = m_mapNode.try_emplace(pEntry->Id());
            if (bAdded) {
                it->second.pNode = pNode;
                it->second.bRootChild = (pParent == pRoot);
                ListPositions(pNode, it->second);
            }
        }
        if (pNode != nullptr) {
            for (auto* pField = pNode->Fields().Head(); pField != nullptr; pField = pField->Next()) {
                m_mapField.try_emplace(pField->Id(), &pField->Value());
            }
        }
        return false;
    });
}

void CDocIndex::ListPositions(const CInfoNode* pNode, SNodeRecord& record)
{
    if (pNode == nullptr) {
        return;
    }
    record.children.reserve(static_cast<std::size_t>(pNode->Children().Count()));
    for (auto* pEntry = pNode->Children().Head(); pEntry != nullptr; pEntry = pEntry->Next()) {
        record.children.push_back(pEntry->Id());
    }
    record.fields.reserve(static_cast<std::size_t>(pNode->Fields().Count()));
    for (auto* pEntry = pNode->Fields().Head(); pEntry != nullptr; pEntry = pEntry->Next()) {
        record.fields.push_back(pEntry->Id());
    }
}

std::uintptr_t CDocIndex::At(const std::vector<std::uintptr_t>& handles, std::int32_t index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= handles.size()) {
        return 0;
    }
    return handles[static_cast<std::size_t>(index)];
}

const CInfoNode* CDocIndex::FindNode(std::uintptr_t handle) const
{
    auto it = m_mapNode.find(handle);
    return it == m_mapNode.end() ? nullptr : it->second.pNode;
}

const CInfoNode* CDocIndex::FindRootChild(std::uintptr_t handle) const
{
    auto it = m_mapNode.find(handle);
    return (it == m_mapNode.end() || !it->second.bRootChild) ? nullptr : it->second.pNode;
}

const CInfoField* CDocIndex::FindField(std::uintptr_t handle) const
{
    auto it = m_mapField.find(handle);
    return it == m_mapField.end() ? nullptr : it->second;
}

std::uintptr_t CDocIndex::RootChildAt(std::int32_t index) const
{
    return At(m_rootChildren, index);
}

std::uintptr_t CDocIndex::ChildAt(std::uintptr_t handle, std::int32_t index) const
{
    auto it = m_mapNode.find(handle);
    return it == m_mapNode.end() ? 0 : At(it->second.children, index);
}

std::uintptr_t CDocIndex::FieldAt(std::uintptr_t handle, std::int32_t index) const
{
    auto it = m_mapNode.find(handle);
    return it == m_mapNode.end() ? 0 : At(it->second.fields, index);
}
