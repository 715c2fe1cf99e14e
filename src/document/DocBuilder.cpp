#include "document/DocBuilder.h"

#include <cstring>

#include "KorvanelleClient.h"
#include "document/BuildBudget.h"
#include "document/DocIndex.h"
#include "document/InfoNode.h"
#include "markup/AlwaysInline.h"
#include "markup/MarkupToken.h"
#include "markup/SameBytes.h"
#include "markup/StartTagReader.h"
#include "markup/TextDecoder.h"

namespace {

// Charges a new entry of a list: a block for every tenth.
template <typename List>
bool ChargeEntry(CBuildBudget& budget, const List& list)
{
    return budget.Charge(list.Count() % List::kBlockEntries == 0 ? List::BlockBytes() : 0);
}

// An entry is read for these two names alone, in this order.
constexpr std::string_view kEntryNames[] = {"FieldName", "FieldValue"};
constexpr std::size_t kFieldName = 0;
constexpr std::size_t kFieldValue = 1;

// A name's slot in the cache, from its length and its first and last 4 bytes (or its bytes,
// when shorter), mixed so that names that differ in one byte land apart: the field names of a
// document often differ only in a digit or a character in the middle. A collision only costs
// a copy, since the bytes themselves are compared.
KORV_ALWAYS_INLINE std::size_t NameSlot(std::string_view raw, bool bDecode, std::size_t slots)
{
    const std::size_t n = raw.size();
    std::uint32_t head = 0;
    std::uint32_t tail = 0;
    if (n >= 4) {
        std::memcpy(&head, raw.data(), 4);
        std::memcpy(&tail, raw.data() + n - 4, 4);
    } else {
        head = static_cast<unsigned char>(raw[0]) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(raw[n / 2])) << 8);
        tail = static_cast<unsigned char>(raw[n - 1]);
    }
    const std::uint32_t mixed =
        (head ^ ((tail << 13) | (tail >> 19)) ^ (static_cast<std::uint32_t>(n) * 0x9E3779B1u) ^
         (bDecode ? 1u : 0u)) *
        0x85EBCA6Bu;
    // The top bits are the best mixed.
    return (mixed >> 24) % slots;
}

}  // namespace

// Inlined into its callers: the call cost more than decoding a short value.
KORV_ALWAYS_INLINE CArenaText CDocBuilder::ValueText(const CStartTagReader& reader,
                                                     std::int32_t start, std::int32_t length)
{
    if (length <= 0) {
        return {};
    }
    const std::size_t capacity = static_cast<std::size_t>(length) + kDecodeSlack;
    char* pChars = m_arena.ReserveText(capacity);
    const std::size_t used = reader.DecodeValueInto(start, length, pChars);
    return m_arena.CommitText(pChars, capacity, used);
}

KORV_ALWAYS_INLINE CArenaText CDocBuilder::NameText(const CStartTagReader& reader,
                                                    std::int32_t start, std::int32_t length,
                                                    bool bDecode)
{
    if (length <= 0) {
        return {};
    }
    const std::string_view raw(reader.Text() + start, static_cast<std::size_t>(length));
    if (length > kLongestKeptName) {
        if (!m_budget.ChargeString(raw.size())) {
            return {};
        }
        return bDecode ? ValueText(reader, start, length) : m_arena.CopyText(raw);
    }
    SKeptName& kept = m_names[NameSlot(raw, bDecode, kKeptNames)];
    if (kept.bDecoded == bDecode && kept.raw.size() == raw.size() &&
        SameBytes(kept.raw.data(), raw.data(), raw.size())) {
        return kept.stored;
    }
    if (!m_budget.ChargeString(raw.size())) {
        return {};
    }
    kept.raw = raw;
    kept.bDecoded = bDecode;
    kept.stored = bDecode ? ValueText(reader, start, length) : m_arena.CopyText(raw);
    return kept.stored;
}

CDocBuilder::CDocBuilder(CInfoNode& root, CBuildBudget& budget)
    : m_root(root), m_budget(budget), m_arena(root.Arena())
{
    m_open.reserve(64);
}

CDocBuilder::~CDocBuilder() = default;

CStartTagReader::SWants CDocBuilder::NextTagWants() const
{
    using EWants = CStartTagReader::EWants;
    if (m_bStopped || m_open.empty()) {
        return {EWants::kTagName};
    }
    switch (m_open.back().kind) {
    case EOpen::kGroup: return {EWants::kNamedValues, kEntryNames, std::size(kEntryNames)};
    case EOpen::kNode: return {EWants::kAttributes};
    case EOpen::kTop: return {m_bRootBuilt ? EWants::kTagName : EWants::kAttributes};
    case EOpen::kFields:
    case EOpen::kPassedOver: break;
    }
    return {EWants::kTagName};
}

void CDocBuilder::OnStartTag(const MarkupToken& tag, CStartTagReader& reader)
{
    const SOpen open = m_bStopped ? SOpen{EOpen::kPassedOver, 0, nullptr} : Open(reader);
    // An empty-element tag has no end tag: nothing stays open.
    if ((tag.flags & TOKEN_EMPTY_TAG) == 0) {
        m_open.push_back(open);
    }
}

void CDocBuilder::OnEndTag(const MarkupToken&)
{
    // The parse reports an end tag only while an element is open.
    m_open.pop_back();
}

CDocBuilder::SOpen CDocBuilder::Open(CStartTagReader& reader)
{
    if (m_open.empty()) {
        // The top-level element: only "ROOT" leads to a document.
        return SOpen{reader.TagNameIs("ROOT") ? EOpen::kTop : EOpen::kPassedOver, 0, nullptr};
    }
    const SOpen& parent = m_open.back();
    switch (parent.kind) {
    case EOpen::kTop:
        // The first child of "ROOT" is the patient; later ones are passed over.
        if (m_bRootBuilt) {
            break;
        }
        m_bRootBuilt = true;
        if (!FillNode(m_root, reader)) {
            break;
        }
        return SOpen{EOpen::kNode, 0, &m_root};
    case EOpen::kNode: {
        if (reader.TagNameIs("Fields")) {
            return SOpen{EOpen::kFields, 0, parent.pNode};
        }
        if (!ChargeEntry(m_budget, parent.pNode->Children()) ||
            !m_budget.Charge(sizeof(CInfoNode) + CDocIndex::kBytesPerNode)) {
            m_bStopped = true;
            break;
        }
        CInfoNode& child = parent.pNode->AddChild();
        if (!FillNode(child, reader)) {
            break;
        }
        return SOpen{EOpen::kNode, 0, &child};
    }
    case EOpen::kFields:
        // Every child of "Fields" is a group, whatever its name; only "Image" is not text.
        return SOpen{EOpen::kGroup, reader.TagNameIs("Image") ? FIELD_IMAGE : FIELD_TEXT,
                     parent.pNode};
    case EOpen::kGroup:
        // Every child of a group is an entry; nothing below an entry is read.
        if (!AddField(*parent.pNode, parent.nType, reader)) {
            m_bStopped = true;
        }
        break;
    case EOpen::kPassedOver: break;
    }
    return SOpen{EOpen::kPassedOver, 0, nullptr};
}

// Copies the tag and the attributes in start-tag order; a repeated name carries the value of
// its first occurrence, and the node's name is the "Name" attribute's value itself.
bool CDocBuilder::FillNode(CInfoNode& node, CStartTagReader& reader)
{
    node.SetArenaTag(NameText(reader, reader.TagNameStart(), reader.TagNameLength()));
    if (m_budget.Exceeded()) {
        m_bStopped = true;
        return false;
    }
    for (const CStartTagReader::SAttribute& attribute : reader.Attributes()) {
        if (!ChargeEntry(m_budget, node.Attrs()) ||
            !m_budget.ChargeString(
                attribute.valueStart < 0 ? 0 : static_cast<std::size_t>(attribute.valueLength))) {
            m_bStopped = true;
            return false;
        }
        CInfoAttr attr;
        attr.m_strAttrName = NameText(reader, attribute.nameStart, attribute.nameLength);
        if (m_budget.Exceeded()) {
            m_bStopped = true;
            return false;
        }
        if (attribute.valueStart >= 0) {
            attr.m_strAttrValue = ValueText(reader, attribute.valueStart, attribute.valueLength);
        }
        if (attr.m_strAttrName == "Name") {
            node.SetArenaName(attr.m_strAttrValue);
        }
        node.AddArenaAttr(attr);
    }
    return true;
}

// An entry without a "FieldName" value adds nothing, and its "FieldValue" is not read.
bool CDocBuilder::AddField(CInfoNode& node, std::int32_t nType, CStartTagReader& reader)
{
    std::int32_t nameStart = 0;
    std::int32_t nameLength = 0;
    if (!reader.WantedValue(kFieldName, nameStart, nameLength) || nameLength <= 0) {
        return true;
    }
    std::int32_t valueStart = 0;
    std::int32_t valueLength = 0;
    reader.WantedValue(kFieldValue, valueStart, valueLength);
    if (!ChargeEntry(m_budget, node.Fields()) || !m_budget.Charge(CDocIndex::kBytesPerField) ||
        !m_budget.ChargeString(static_cast<std::size_t>(valueLength))) {
        return false;
    }
    const CArenaText name = NameText(reader, nameStart, nameLength, true);
    if (m_budget.Exceeded()) {
        return false;
    }
    if (!name.empty()) {
        node.AddArenaField(CInfoField{nType, name, ValueText(reader, valueStart, valueLength)});
    }
    return true;
}
