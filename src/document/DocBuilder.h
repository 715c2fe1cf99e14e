#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "document/ArenaText.h"
#include "markup/StartTagReader.h"

class CBuildBudget;
class CDocArena;
class CInfoNode;
struct MarkupToken;

// Builds a patient document while the markup is parsed: the parse's consumer (see
// MarkupParser.h). The first child of the top-level "ROOT" element fills the root node;
// below it every element becomes a child node, except "Fields" elements, whose children are
// groups ("Image" gives FIELD_IMAGE, any other name FIELD_TEXT) and whose grandchildren are
// entries read for their "FieldName" and "FieldValue" alone. Everything else is passed over:
// the attributes of "ROOT", its later children, "Fields" and group attributes, and all that
// lies below an entry. Names are the word reader's (a tag name ends at '=', '\\', ...), and a
// repeated attribute name carries the value of its first occurrence, as the navigator gives.
//
// When the parse fails, or the budget runs out, what was built is incomplete; the caller
// discards it.
class CDocBuilder {
public:
    static constexpr bool ReadsAttributes() { return true; }

    CDocBuilder(CInfoNode& root, CBuildBudget& budget);
    ~CDocBuilder();
    CDocBuilder(const CDocBuilder&) = delete;
    CDocBuilder& operator=(const CDocBuilder&) = delete;

    CStartTagReader::SWants NextTagWants() const;
    void OnStartTag(const MarkupToken& tag, CStartTagReader& reader);
    void OnEndTag(const MarkupToken& tag);

    // Was the root node filled (a first child of "ROOT" seen)?
    bool BuiltRoot() const { return m_bRootBuilt; }

private:
    enum class EOpen : std::uint8_t {
        kPassedOver,  // nothing below it reaches the tree
        kTop,         // the top-level "ROOT"
        kNode,        // an element that is a node: its children are nodes or "Fields"
        kFields,      // a "Fields" element: its children are groups
        kGroup,       // a group: its children are field entries
    };
    struct SOpen {
        EOpen kind;
        std::int32_t nType;  // a group's field type
        CInfoNode* pNode;    // the node that a node, "Fields" or group element adds to
    };

    // Opens what the start tag begins below the innermost open element.
    SOpen Open(CStartTagReader& reader);
    // The node's tag and attributes from its start tag; false when the budget ran out.
    bool FillNode(CInfoNode& node, CStartTagReader& reader);
    // A field entry's "FieldName" and "FieldValue"; false when the budget ran out.
    bool AddField(CInfoNode& node, std::int32_t nType, CStartTagReader& reader);

    // A tag, attribute or field name in the arena: the names of a document repeat, so a name
    // read again while it is still in the cache is stored once. Tag and attribute names are
    // kept as written, field names (attribute values) decoded.
    CArenaText NameText(const CStartTagReader& reader, std::int32_t start, std::int32_t length,
                        bool bDecode = false);
    // A value decoded straight into the arena.
    CArenaText ValueText(const CStartTagReader& reader, std::int32_t start, std::int32_t length);

    // A direct-mapped cache of names by their bytes in the text; longer ones are not kept.
    static constexpr std::size_t kKeptNames = 256;
    static constexpr std::int32_t kLongestKeptName = 64;
    struct SKeptName {
        std::string_view raw;  // the bytes in the text (alive while the tree is built)
        CArenaText stored;     // the arena's copy
        bool bDecoded = false;
    };

    CInfoNode& m_root;
    CBuildBudget& m_budget;
    CDocArena& m_arena;
    bool m_bRootBuilt = false;
    bool m_bStopped = false;  // the budget ran out: nothing more is built
    std::vector<SOpen> m_open;
    SKeptName m_names[kKeptNames];
};
