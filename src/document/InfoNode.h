#pragma once

#include <cstdint>
#include <string_view>

#include "document/BlockList.h"
#include "document/DocArena.h"
#include "document/InfoAttr.h"
#include "document/InfoField.h"
#include "document/PlainList.h"

class CInfoNode;

// A child entry's value: the node, which lives in the tree's arena.
class CNodeRef {
public:
    CNodeRef() = default;
    explicit CNodeRef(CInfoNode* pNode) : m_pNode(pNode) {}
    CInfoNode* get() const { return m_pNode; }
    CInfoNode* operator->() const { return m_pNode; }
    CInfoNode& operator*() const { return *m_pNode; }
    explicit operator bool() const { return m_pNode != nullptr; }

private:
    CInfoNode* m_pNode = nullptr;
};

// One information node of the patient document: the tag, "Name" and attributes of the
// element it was built from, its fields and its child nodes, all in document order.
//
// A tree is one arena: the node made with the public constructor (the root) owns it, and
// every node, list block and string below it is carved from it and released with it at
// once; nodes below the root are made only by AddChild and never freed on their own.
class CInfoNode {
public:
    using AttrList = CPlainList<CInfoAttr>;  // designated by nothing: no identities
    using FieldList = CBlockList<CInfoField>;
    using ChildList = CBlockList<CNodeRef>;

    // A root with an arena of its own.
    CInfoNode();
    ~CInfoNode();
    CInfoNode(const CInfoNode&) = delete;
    CInfoNode& operator=(const CInfoNode&) = delete;

    std::string_view Tag() const { return m_strTag; }
    std::string_view Name() const { return m_strName; }
    // Both copy the text into the arena.
    void SetTag(std::string_view strTag) { m_strTag = Arena().CopyText(strTag); }
    void SetName(std::string_view strName) { m_strName = Arena().CopyText(strName); }

    const AttrList& Attrs() const { return m_lstAttr; }
    const FieldList& Fields() const { return m_lstField; }
    const ChildList& Children() const { return m_lstChild; }

    // The strings are copied into the arena. An attribute entry has no identity; AddField
    // returns the new entry's, a FieldID.
    void AddAttr(std::string_view strName, std::string_view strValue);
    std::uintptr_t AddField(std::int32_t nType, std::string_view strName,
                            std::string_view strValue);
    // A new empty child node at the tail; its identity goes to *pId when pId is given.
    CInfoNode& AddChild(std::uintptr_t* pId = nullptr);

    // For the tree builder: strings that already lie in this tree's arena, kept as they are.
    void SetArenaTag(CArenaText strTag) { m_strTag = strTag; }
    void SetArenaName(CArenaText strName) { m_strName = strName; }
    void AddArenaAttr(const CInfoAttr& attr) { m_lstAttr.AddTail(attr, Arena()); }
    void AddArenaField(const CInfoField& field)
    {
        Arena().CountField();
        m_lstField.AddTail(field, &Arena());
    }
    CDocArena& Arena() const { return *reinterpret_cast<CDocArena*>(m_nArena & ~kOwnsArena); }

    // Empties the child list; the nodes' memory goes with the arena.
    void RemoveAllChildren() { m_lstChild.RemoveAll(); }

private:
    explicit CInfoNode(CDocArena* pArena) : m_nArena(reinterpret_cast<std::uintptr_t>(pArena)) {}

    // The arena's address, its lowest bit set in the node that owns it (the root). A large
    // document is mostly nodes, so the flag takes no word of its own.
    static constexpr std::uintptr_t kOwnsArena = 1;
    static_assert(alignof(CDocArena) > 1);

    CArenaText m_strTag;
    CArenaText m_strName;
    AttrList m_lstAttr;
    FieldList m_lstField;
    ChildList m_lstChild;
    std::uintptr_t m_nArena;
};
