#include "document/InfoNode.h"

#include <vector>

CInfoNode::~CInfoNode()
{
    RemoveAllChildren();
}

std::uintptr_t CInfoNode::AddAttr(CInfoAttr attr)
{
    return m_lstAttr.AddTail(std::move(attr)).Id();
}

std::uintptr_t CInfoNode::AddField(CInfoField field)
{
    return m_lstField.AddTail(std::move(field)).Id();
}

std::uintptr_t CInfoNode::AddChild(std::unique_ptr<CInfoNode> pChild)
{
    return m_lstChild.AddTail(std::move(pChild)).Id();
}

void CInfoNode::RemoveAllChildren()
{
    // Documents may nest tens of thousands of levels, deeper than a thread stack allows
    // for recursion, so the path from this node down is kept on the heap. A node is freed
    // only once it has no children left, so its own destructor never descends.
    std::vector<std::unique_ptr<CInfoNode>> path;
    CInfoNode* pTop = this;
    for (;;) {
        if (pTop->m_lstChild.Count() > 0) {
            std::unique_ptr<CInfoNode> pChild = pTop->m_lstChild.RemoveHead();
            if (pChild) {
                pTop = pChild.get();
                path.push_back(std::move(pChild));
            }
            continue;
        }
        if (path.empty()) {
            return;
        }
        path.pop_back();
        pTop = path.empty() ? this : path.back().get();
    }
}
