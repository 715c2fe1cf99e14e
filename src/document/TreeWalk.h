#pragma once

#include <vector>

#include "document/InfoNode.h"

// Visits the nodes below and including pRoot in depth-first document order: a node before
// its children, a subtree before its next sibling. This is the order in which handles are
// compared with entries. visit(pParent, pEntry, pNode) gets null parent and entry for pRoot
// itself and returns true to stop the walk; WalkTree then returns true.
// The path is kept on the heap because documents may nest deeper than the stack allows.
template <typename Visit>
bool WalkTree(const CInfoNode* pRoot, Visit&& visit)
{
    if (pRoot == nullptr) {
        return false;
    }
    if (visit(static_cast<const CInfoNode*>(nullptr),
              static_cast<const CInfoNode::ChildList::CEntry*>(nullptr), pRoot)) {
        return true;
    }
    struct SLevel {
        const CInfoNode* pParent;
        const CInfoNode::ChildList::CEntry* pNext;
    };
    std::vector<SLevel> path;
    path.push_back({pRoot, pRoot->Children().Head()});
    while (!path.empty()) {
        SLevel& level = path.back();
        const CInfoNode::ChildList::CEntry* pEntry = level.pNext;
        if (pEntry == nullptr) {
            path.pop_back();
            continue;
        }
        level.pNext = pEntry->Next();
        const CInfoNode* pNode = pEntry->Value().get();
        if (visit(level.pParent, pEntry, pNode)) {
            return true;
        }
        if (pNode != nullptr && pNode->Children().Head() != nullptr) {
            path.push_back({pNode, pNode->Children().Head()});
        }
    }
    return false;
}
