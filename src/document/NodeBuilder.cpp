#include "document/NodeBuilder.h"

#include <cstdint>
#include <string_view>
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
    return budget.Charge(list.Count() % List::kBlockEntries == 0 ? List::BlockBytes() : 0);
}

class CTreeFiller {
public:
    CTreeFiller(CXmlDoc& nav, CBuildBudget& budget, CDocArena& arena)
        : m_nav(nav), m_budget(budget), m_arena(arena)
    {}

    void Build(CInfoNode& root);

private:
    bool ReadStartTag(CInfoNode& node);
    bool ReadFieldList(CInfoNode& node);
    // A tag, attribute or field name in the arena: the names of a document repeat, so a name
    // read again while it is still in the cache is stored once. Tag and attribute names are
    // kept as written, field names (attribute values) decoded.
    std::string_view NameText(std::int32_t start, std::int32_t length, bool bDecode = false);
    // The bytes as written, copied into the arena.
    std::string_view RawText(std::int32_t start, std::int32_t length);
    // A value decoded straight into the arena.
    std::string_view ValueText(std::int32_t start, std::int32_t length);

    // A direct-mapped cache of names by their bytes in the text; longer ones are not kept.
    static constexpr std::size_t kKeptNames = 256;
    static constexpr std::int32_t kLongestKeptName = 64;
    struct SKeptName {
        std::string_view raw;     // the bytes in the text (alive while the tree is built)
        std::string_view stored;  // the arena's copy
        bool bDecoded = false;
    };

    CXmlDoc& m_nav;
    CBuildBudget& m_budget;
    CDocArena& m_arena;
    CStartTagReader m_reader;
    SKeptName m_names[kKeptNames];
};

std::string_view CTreeFiller::RawText(std::int32_t start, std::int32_t length)
{
    return m_arena.CopyText(
        std::string_view(m_reader.Text() + start, static_cast<std::size_t>(length)));
}

std::string_view CTreeFiller::NameText(std::int32_t start, std::int32_t length, bool bDecode)
{
    if (length <= 0) {
        return {};
    }
    if (length > kLongestKeptName) {
        if (!m_budget.ChargeString(static_cast<std::size_t>(length))) {
            return {};
        }
        return bDecode ? ValueText(start, length) : RawText(start, length);
    }
    const std::string_view raw(m_reader.Text() + start, static_cast<std::size_t>(length));
    // The slot depends on the length and the first and last bytes only: a collision only
    // costs a copy, since the bytes themselves are compared.
    const auto first = static_cast<unsigned char>(raw.front());
    const auto last = static_cast<unsigned char>(raw.back());
    const auto second = static_cast<unsigned char>(raw[raw.size() / 2]);
    const std::uint32_t hash = (static_cast<std::uint32_t>(raw.size()) * 131u) ^ (first * 31u) ^
                               (second * 7u) ^ (last * 17u) ^ (bDecode ? 97u : 0u);
    SKeptName& kept = m_names[hash % kKeptNames];
    if (kept.bDecoded == bDecode && kept.raw == raw) {
        return kept.stored;
    }
    if (!m_budget.ChargeString(raw.size())) {
        return {};
    }
    kept.raw = raw;
    kept.bDecoded = bDecode;
    kept.stored = bDecode ? ValueText(start, length) : RawText(start, length);
    return kept.stored;
}

std::string_view CTreeFiller::ValueText(std::int32_t start, std::int32_t length)
{
    if (length <= 0) {
        return {};
    }
    const auto capacity = static_cast<std::size_t>(length);
    char* pChars = m_arena.ReserveChars(capacity);
    const std::size_t used = m_reader.DecodeInto(start, length, pChars);
    m_arena.Commit(pChars, capacity, used);
    return {pChars, used};
}

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
            !m_budget.Charge(sizeof(CInfoNode) + CDocIndex::kBytesPerNode)) {
            return;
        }
        CInfoNode& child = parent.AddChild();
        if (!ReadStartTag(child)) {
            return;
        }
        open.push_back(&child);
    }
}

// Takes the tag from the child position, enters the element and copies its attributes in
// start-tag order. A repeated name carries the value of its first occurrence. False when the
// budget ran out.
bool CTreeFiller::ReadStartTag(CInfoNode& node)
{
    node.SetArenaTag(NameText(m_reader.TagNameStart(), m_reader.TagNameLength()));
    if (m_budget.Exceeded()) {
        return false;
    }
    m_nav.EnterElement();
    for (const CStartTagReader::SAttribute& attribute : m_reader.Attributes()) {
        if (!ChargeEntry(m_budget, node.Attrs()) ||
            !m_budget.ChargeString(
                attribute.valueStart < 0 ? 0 : static_cast<std::size_t>(attribute.valueLength))) {
            return false;
        }
        CInfoAttr attr;
        attr.m_strAttrName = NameText(attribute.nameStart, attribute.nameLength);
        if (m_budget.Exceeded()) {
            return false;
        }
        if (attribute.valueStart >= 0) {
            attr.m_strAttrValue = ValueText(attribute.valueStart, attribute.valueLength);
        }
        if (attr.m_strAttrName == "Name") {
            // The node's name is the attribute's value itself, not a copy.
            node.SetArenaName(attr.m_strAttrValue);
        }
        node.AddArenaAttr(attr);
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
            std::int32_t nameStart = 0;
            std::int32_t nameLength = 0;
            if (m_reader.FindValue("FieldName", nameStart, nameLength) && nameLength > 0) {
                std::int32_t valueStart = 0;
                std::int32_t valueLength = 0;
                m_reader.FindValue("FieldValue", valueStart, valueLength);
                if (!ChargeEntry(m_budget, node.Fields()) ||
                    !m_budget.Charge(CDocIndex::kBytesPerField) ||
                    !m_budget.ChargeString(static_cast<std::size_t>(valueLength))) {
                    return false;
                }
                const std::string_view name = NameText(nameStart, nameLength, true);
                if (m_budget.Exceeded()) {
                    return false;
                }
                if (!name.empty()) {
                    node.AddArenaField(CInfoField{nType, name, ValueText(valueStart, valueLength)});
                }
            }
            m_nav.LeaveElement();
        }
        m_nav.LeaveElement();
    }
    return true;
}

}  // namespace

bool CNodeBuilder::BuildNode(CXmlDoc* pNav, CInfoNode* pNode, CBuildBudget* pBudget)
{
    if (pNav == nullptr || pNode == nullptr) {
        return false;
    }
    CBuildBudget unlimited;
    CTreeFiller(*pNav, pBudget != nullptr ? *pBudget : unlimited, pNode->Arena()).Build(*pNode);
    return true;
}
