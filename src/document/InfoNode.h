#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "document/BlockList.h"
#include "document/InfoAttr.h"
#include "document/InfoField.h"

// One information node of the patient document: the tag, "Name" and attributes of the
// element it was built from, its fields and its child nodes, all in document order.
class CInfoNode {
public:
    using AttrList = CBlockList<CInfoAttr>;
    using FieldList = CBlockList<CInfoField>;
    using ChildList = CBlockList<std::unique_ptr<CInfoNode>>;

    CInfoNode() = default;
    ~CInfoNode();
    CInfoNode(const CInfoNode&) = delete;
    CInfoNode& operator=(const CInfoNode&) = delete;

    const std::string& Tag() const { return m_strTag; }
    const std::string& Name() const { return m_strName; }
    void SetTag(std::string strTag) { m_strTag = std::move(strTag); }
    void SetName(std::string strName) { m_strName = std::move(strName); }

    const AttrList& Attrs() const { return m_lstAttr; }
    const FieldList& Fields() const { return m_lstField; }
    const ChildList& Children() const { return m_lstChild; }

    // Each returns the identity of the new entry: a FieldID, or a ModID / StudyID.
    std::uintptr_t AddAttr(CInfoAttr attr);
    std::uintptr_t AddField(CInfoField field);
    std::uintptr_t AddChild(std::unique_ptr<CInfoNode> pChild);

    // Destroys the whole subtree without recursion: children first to last, each subtree
    // before its next sibling and every node after its own children.
    void RemoveAllChildren();

private:
    std::string m_strTag;
    std::string m_strName;
    // Members are destroyed in reverse: children, then fields, then attributes.
    AttrList m_lstAttr;
    FieldList m_lstField;
    ChildList m_lstChild;
};
