#pragma once

#include "document/ArenaText.h"

// One attribute of the element a node was built from; both strings lie in the tree's arena.
class CInfoAttr {
public:
    CArenaText m_strAttrName;
    CArenaText m_strAttrValue;
};
