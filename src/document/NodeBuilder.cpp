#include "document/NodeBuilder.h"

#include <memory>
#include <string>
#include <vector>

#include "document/BuildBudget.h"
#include "document/DocIndex.h"
#include "document/InfoNode.h"
#include "markup/StartTagReader.h"
#include "markup/XmlDoc.h"

namespace {

// Charges a new entry of a list: a block for every tenth.
template <typename List>
bool ChargeEntry(CBuildBudget& budget, const List& list)
{
    return budget.Charge(list.Count() % List::kBlockEntries == 0 ? List::BlockBytes() + CBuildBudget::kAllocationBytes
                                                                 : 0);
}

class CTreeFiller {
public:
    CTreeFiller(CXmlDoc& nav, CBuildBudget& budget) : m_nav(nav), m_budget(budget) {}

    void Build(CInfoNode& root);

private:
    bool ReadStartTag(CInfoNode& node);
    bool ReadFieldList(CInfoNode& node);

    CXmlDoc& m_nav;
    CBuildBudget& m_budget;
    CStartTagReader m_reader;
};

void CTreeFiller::Build(CInfoNode& root)
{
    m_nav.ReadChildTag(m_reader);
    if (!ReadStartTag(root)) {
        return;
    }
    // The nodes whose elements are open, innermost last. The markup may nest 65,535 levels,
    // too deep to recurse on a thread stack, so the open elements live on the heap.
    std::vector<CInfoNode*> open{&root};
    while (!open.empty()) {
        if (!m_nav.FindChild()) {
            // The innermost element is complete; return to its parent, whose child
            // position is then this element, so the next FindChild yields its sibling.
            open.pop_back();
            if (!open.empty()) {
                m_nav.LeaveElement();
            }
            continue;
        }
        m_nav.ReadChildTag(m_reader);
        if (m_reader.TagNameIs("Fields")) {
            if (!ReadFieldList(*open.back())) {
                return;
            }
            m_nav.LeaveElement();
            continue;
        }
        CInfoNode& parent = *open.back();
        if (!ChargeEntry(m_budget, parent.Children()) ||
            !m_budget.Charge(sizeof(CInfoNode) + CBuildBudget::kAllocationBytes + CDocIndex::kBytesPerNode)) {
            return;
        }
        auto pChild = std::make_unique<CInfoNode>();
        CInfoNode* pRaw = pChild.get();
        parent.AddChild(std::move(pChild));
        if (!ReadStartTag(*pRaw)) {
            return;
        }
        open.push_back(pRaw);
    }
}

// Takes the tag from the child position, enters the element and copies its attributes in
// start-tag order. A repeated name carries the value of its first occurrence. False when the
// budget ran out.
bool CTreeFiller::ReadStartTag(CInfoNode& node)
{
    std::string strTag = m_reader.TagName();
    if (!m_budget.ChargeString(strTag.size())) {
        return false;
    }
    node.SetTag(std::move(strTag));
    m_nav.EnterElement();
    const char* text = m_reader.Text();
    for (const CStartTagReader::SAttribute& attribute : m_reader.Attributes()) {
        if (!ChargeEntry(m_budget, node.Attrs()) || !m_budget.ChargeString(static_cast<std::size_t>(attribute.nameLength)) ||
            !m_budget.ChargeString(attribute.valueStart < 0 ? 0 : static_cast<std::size_t>(attribute.valueLength))) {
            return false;
        }
        CInfoAttr attr;
        attr.m_strAttrName.assign(text + attribute.nameStart, static_cast<std::size_t>(attribute.nameLength));
        if (attribute.valueStart >= 0) {
            attr.m_strAttrValue = m_reader.Decode(attribute.valueStart, attribute.valueLength);
        }
        if (attr.m_strAttrName == "Name") {
            if (!m_budget.ChargeString(attr.m_strAttrValue.size())) {
                return false;
            }
            node.SetName(attr.m_strAttrValue);
        }
        node.AddAttr(std::move(attr));
    }
    return true;
}

// The child position is at a "Fields" element F. Every child of F is a group whose name sets
// the type; every child of a group is an entry read only for "FieldName" and "FieldValue".
// Returns with F as the current element; false when the budget ran out.
bool CTreeFiller::ReadFieldList(CInfoNode& node)
{
    m_nav.EnterElement();
    while (m_nav.FindChild()) {
        m_nav.ReadChildTag(m_reader);
        // A group named neither "Text" nor "Image" stores FIELD_TEXT, the same as "Text".
        const std::int32_t nType = m_reader.TagNameIs("Image") ? FIELD_IMAGE : FIELD_TEXT;
        m_nav.EnterElement();
        while (m_nav.FindChild()) {
            m_nav.ReadChildTag(m_reader);
            m_nav.EnterElement();
            std::string strFieldName = m_reader.ValueOf("FieldName");
            if (!strFieldName.empty()) {
                std::string strFieldValue = m_reader.ValueOf("FieldValue");
                if (!ChargeEntry(m_budget, node.Fields()) || !m_budget.Charge(CDocIndex::kBytesPerField) ||
                    !m_budget.ChargeString(strFieldName.size()) || !m_budget.ChargeString(strFieldValue.size())) {
                    return false;
                }
                node.AddField(CInfoField{nType, std::move(strFieldName), std::move(strFieldValue)});
            }
            m_nav.LeaveElement();
        }
        m_nav.LeaveElement();
    }
    return true;
}

} // namespace

bool CNodeBuilder::BuildNode(CXmlDoc* pNav, CInfoNode* pNode, CBuildBudget* pBudget)
{
    if (pNav == nullptr || pNode == nullptr) {
        return false;
    }
    CBuildBudget unlimited;
    CTreeFiller(*pNav, pBudget != nullptr ? *pBudget : unlimited).Build(*pNode);
    return true;
}
