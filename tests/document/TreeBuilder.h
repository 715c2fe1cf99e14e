#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "document/InfoNode.h"

// Builds document trees by hand for the tests.
struct SNewNode {
    CInfoNode* pNode;
    std::uintptr_t handle;
};

inline SNewNode AddNode(CInfoNode& parent, const std::string& tag, const std::string& name = {})
{
    auto pChild = std::make_unique<CInfoNode>();
    pChild->SetTag(tag);
    pChild->SetName(name);
    CInfoNode* pRaw = pChild.get();
    std::uintptr_t handle = parent.AddChild(std::move(pChild));
    return {pRaw, handle};
}

inline std::uintptr_t AddNamedField(CInfoNode& node, const std::string& name,
                                    const std::string& value, std::int32_t type = FIELD_TEXT)
{
    return node.AddField(CInfoField{type, name, value});
}
