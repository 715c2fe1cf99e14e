#pragma once

#include <cstdint>
#include <string>

#include "document/InfoNode.h"

// Builds document trees by hand for the tests.
struct SNewNode {
    CInfoNode* pNode;
    std::uintptr_t handle;
};

inline SNewNode AddNode(CInfoNode& parent, const std::string& tag, const std::string& name = {})
{
    std::uintptr_t handle = 0;
    CInfoNode& child = parent.AddChild(&handle);
    child.SetTag(tag);
    child.SetName(name);
    return {&child, handle};
}

inline std::uintptr_t AddNamedField(CInfoNode& node, const std::string& name,
                                    const std::string& value, std::int32_t type = FIELD_TEXT)
{
    return node.AddField(type, name, value);
}
