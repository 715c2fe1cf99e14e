#include "document/InfoNode.h"

CInfoNode::CInfoNode() : m_pArena(new CDocArena), m_bOwnsArena(true) {}

CInfoNode::~CInfoNode()
{
    // The nodes below live in the arena and hold nothing else: none needs its destructor.
    // The lists' own destructors run before the arena goes (they only forget their blocks).
    if (m_bOwnsArena) {
        m_lstAttr.RemoveAll();
        m_lstField.RemoveAll();
        m_lstChild.RemoveAll();
        delete m_pArena;
    }
}

std::uintptr_t CInfoNode::AddAttr(const CInfoAttr& attr)
{
    return m_lstAttr
        .AddTail(CInfoAttr{m_pArena->CopyText(attr.m_strAttrName),
                           m_pArena->CopyText(attr.m_strAttrValue)},
                 m_pArena)
        .Id();
}

std::uintptr_t CInfoNode::AddField(const CInfoField& field)
{
    m_pArena->CountField();
    return m_lstField
        .AddTail(CInfoField{field.m_nType, m_pArena->CopyText(field.m_strFieldName),
                            m_pArena->CopyText(field.m_strFieldValue)},
                 m_pArena)
        .Id();
}

CInfoNode& CInfoNode::AddChild(std::uintptr_t* pId)
{
    m_pArena->CountNode();
    auto* pChild =
        new (m_pArena->Allocate(sizeof(CInfoNode), alignof(CInfoNode))) CInfoNode(m_pArena);
    const std::uintptr_t nId = m_lstChild.AddTail(CNodeRef(pChild), m_pArena).Id();
    if (pId != nullptr) {
        *pId = nId;
    }
    return *pChild;
}
