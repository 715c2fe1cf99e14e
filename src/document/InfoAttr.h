#pragma once

#include <string>

// One attribute of the element a node was built from.
class CInfoAttr {
public:
    std::string m_strAttrName;
    std::string m_strAttrValue;
};
