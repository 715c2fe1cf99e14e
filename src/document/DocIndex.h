#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "document/HandleTable.h"
#include "document/InfoNode.h"

// Lookups by handle and by position for one built tree, so that walking a large document
// through the getters costs the same per entry whatever its size. Built once after a load;
// every answer equals that of the depth-first search from the root (handles are unique
// within a tree, and where they were not the first entry in depth-first order would win).
// The tree must not change while the index refers to it.
class CDocIndex {
public:
    // About what the index takes per node and per field once built (records, handle runs and
    // lookup tables), for the build budget.
    static constexpr std::size_t kBytesPerNode = 40;
    static constexpr std::size_t kBytesPerField = 20;

    void Build(const CInfoNode* pRoot);
    void Clear();

    // The node held by the child entry with this handle anywhere below the root, or null.
    const CInfoNode* FindNode(std::uintptr_t handle) const;
    // The same, but only among the root's own children.
    const CInfoNode* FindRootChild(std::uintptr_t handle) const;
    // The field of the field entry with this handle anywhere in the tree, the root's too.
    const CInfoField* FindField(std::uintptr_t handle) const;

    // Handles by 0-based position; 0 when the position or the node does not exist.
    std::uintptr_t RootChildAt(std::int32_t index) const;
    std::uintptr_t ChildAt(std::uintptr_t handle, std::int32_t index) const;
    std::uintptr_t FieldAt(std::uintptr_t handle, std::int32_t index) const;

private:
    // A node's child and field handles are runs of the handle list. Counts fit in 31 bits
    // (lists count in signed 32 bits), which leaves the top bit of one for the root-child mark.
    struct SNodeRecord {
        const CInfoNode* pNode = nullptr;
        std::uint32_t nChildStart = 0;
        std::uint32_t nChildCountAndMark = 0;
        std::uint32_t nFieldStart = 0;
        std::uint32_t nFieldCount = 0;

        std::uint32_t ChildCount() const { return nChildCountAndMark & ~kRootChildMark; }
        bool IsRootChild() const { return (nChildCountAndMark & kRootChildMark) != 0; }
    };
    static constexpr std::uint32_t kRootChildMark = 0x80000000u;

    // The runs of a node's child and field handles; its fields also go into the table.
    SNodeRecord ListPositions(const CInfoNode* pNode);
    void AddField(const CInfoNode::FieldList::CEntry& field);
    const SNodeRecord* FindRecord(std::uintptr_t handle) const;
    std::uintptr_t At(std::uint32_t start, std::uint32_t count, std::int32_t index) const;
    std::size_t HandleCount() const;
    void PushHandle(std::uintptr_t handle);

    std::vector<SNodeRecord> m_records;       // by node table value - 1
    std::vector<const CInfoField*> m_fields;  // by field table value - 1
    // The handles, as offsets from the tree's lowest identity while its identities span
    // less than 2^32 (always, unless billions were handed out to other trees meanwhile),
    // else whole.
    std::uintptr_t m_nHandleBase = 0;
    bool m_bNarrowHandles = true;
    std::vector<std::uint32_t> m_narrowHandles;
    std::vector<std::uintptr_t> m_wideHandles;
    // One table for both kinds: a node's value is its record's position + 1, a field's its
    // position + 1 with kFieldMark set.
    static constexpr std::uint32_t kFieldMark = 0x80000000u;
    CHandleTable m_table;
    SNodeRecord m_root;
};
