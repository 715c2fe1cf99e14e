#pragma once

class CInfoNode;
class CXmlDoc;

// Fills information nodes from the markup navigator: one node per element, "Fields"
// elements read as the fields of the element that holds them.
class CNodeBuilder {
public:
    // The navigator's child position is at the element E to build from. Fills pNode from E
    // and everything below it and returns with E as the current element. False, doing
    // nothing, only when the navigator or the node is missing.
    static bool BuildNode(CXmlDoc* pNav, CInfoNode* pNode);

private:
    static void ReadStartTag(CXmlDoc& nav, CInfoNode& node);
    static void ReadFieldList(CXmlDoc& nav, CInfoNode& node);
};
