#include "document/InfoNode.h"

CInfoNode::CInfoNode() : m_nArena(reinterpret_cast<std::uintptr_t>(new CDocArena) | kOwnsArena) {}

CInfoNode::~CInfoNode()
{
    // The nodes below live in the arena and hold nothing else: none needs its destructor.
    // The lists' own destructors run before the arena goes (they only forget their blocks).
    if ((m_nArena & kOwnsArena) != 0) {
        m_lstAttr.RemoveAll();
        m_lstField.RemoveAll();
        m_lstChild.RemoveAll();
        delete &Arena();
    }
}

void CInfoNode::AddAttr(std::string_view strName, std::string_view strValue)
{
    CDocArena& arena = Arena();
    m_lstAttr.AddTail(CInfoAttr{arena.CopyText(strName), arena.CopyText(strValue)}, arena);
}

std::uintptr_t CInfoNode::AddField(std::int32_t nType, std::string_view strName,
                                   std::string_view strValue)
{
    CDocArena& arena = Arena();
    arena.CountField();
    return m_lstField
        .AddTail(CInfoField{nType, arena.CopyText(strName), arena.CopyText(strValue)}, &arena)
        .Id();
}

CInfoNode& CInfoNode::AddChild(std::uintptr_t* pId)
{
    CDocArena& arena = Arena();
    arena.CountNode();
    auto* pChild = new (arena.Allocate(sizeof(CInfoNode), alignof(CInfoNode))) CInfoNode(&arena);
    const std::uintptr_t nId = m_lstChild.AddTail(CNodeRef(pChild), &arena).Id();
    if (pId != nullptr) {
        *pId = nId;
    }
    return *pChild;
}
