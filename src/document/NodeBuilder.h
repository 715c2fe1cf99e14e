#pragma once

class CBuildBudget;
class CInfoNode;
class CXmlDoc;

// Fills information nodes from the markup navigator: one node per element, "Fields"
// elements read as the fields of the element that holds them. Each start tag is read once:
// its name, and all its attributes with their values, come from one reading of its words.
class CNodeBuilder {
public:
    // The navigator's child position is at the element E to build from. Fills pNode from E
    // and everything below it and returns with E as the current element. False, doing
    // nothing, only when the navigator or the node is missing. With a budget, building stops
    // (leaving the tree incomplete) as soon as the budget is exceeded; the caller checks it.
    static bool BuildNode(CXmlDoc* pNav, CInfoNode* pNode, CBuildBudget* pBudget = nullptr);
};
