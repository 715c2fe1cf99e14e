#include "document/NodeBuilder.h"

#include <memory>
#include <string>
#include <vector>

#include "document/InfoNode.h"
#include "markup/XmlDoc.h"

bool CNodeBuilder::BuildNode(CXmlDoc* pNav, CInfoNode* pNode)
{
    if (pNav == nullptr || pNode == nullptr) {
        return false;
    }
    CXmlDoc& nav = *pNav;
    ReadStartTag(nav, *pNode);

    // The nodes whose elements are open, innermost last. The markup may nest 65,535 levels,
    // too deep to recurse on a thread stack, so the open elements live on the heap.
    std::vector<CInfoNode*> open{pNode};
    while (!open.empty()) {
        if (!nav.FindChild()) {
            // The innermost element is complete; return to its parent, whose child
            // position is then this element, so the next FindChild yields its sibling.
            open.pop_back();
            if (!open.empty()) {
                nav.LeaveElement();
            }
            continue;
        }
        if (nav.ChildName() == "Fields") {
            ReadFieldList(nav, *open.back());
            nav.LeaveElement();
            continue;
        }
        auto pChild = std::make_unique<CInfoNode>();
        CInfoNode* pRaw = pChild.get();
        open.back()->AddChild(std::move(pChild));
        ReadStartTag(nav, *pRaw);
        open.push_back(pRaw);
    }
    return true;
}

// Takes the tag from the child position, enters the element and copies its attributes in
// start-tag order. A repeated name is looked up by name, so it carries the first value.
void CNodeBuilder::ReadStartTag(CXmlDoc& nav, CInfoNode& node)
{
    node.SetTag(nav.ChildName());
    nav.EnterElement();
    for (int i = 0;; ++i) {
        std::string strName = nav.AttributeName(i);
        if (strName.empty()) {
            break;
        }
        std::string strValue = nav.AttributeValue(strName.c_str());
        if (strName == "Name") {
            node.SetName(strValue);
        }
        node.AddAttr(CInfoAttr{std::move(strName), std::move(strValue)});
    }
}

// The child position is at a "Fields" element F. Every child of F is a group whose name sets
// the type; every child of a group is an entry read only for "FieldName" and "FieldValue".
// Returns with F as the current element.
void CNodeBuilder::ReadFieldList(CXmlDoc& nav, CInfoNode& node)
{
    nav.EnterElement();
    while (nav.FindChild()) {
        const std::string strGroup = nav.ChildName();
        // A group named neither "Text" nor "Image" stores FIELD_TEXT, the same as "Text".
        const std::int32_t nType = (strGroup == "Image") ? FIELD_IMAGE : FIELD_TEXT;
        nav.EnterElement();
        while (nav.FindChild()) {
            nav.EnterElement();
            std::string strFieldName = nav.AttributeValue("FieldName");
            if (!strFieldName.empty()) {
                std::string strFieldValue = nav.AttributeValue("FieldValue");
                node.AddField(CInfoField{nType, std::move(strFieldName), std::move(strFieldValue)});
            }
            nav.LeaveElement();
        }
        nav.LeaveElement();
    }
}
