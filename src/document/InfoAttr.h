#pragma once

#include "document/ArenaText.h"

// One attribute of the element a node was built from. In a tree, both strings lie in the
// tree's arena; an attribute handed to CInfoNode::AddAttr may view any text, which is copied.
class CInfoAttr {
public:
    CArenaText m_strAttrName;
    CArenaText m_strAttrValue;
};
