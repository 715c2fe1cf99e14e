#pragma once

#include <cstdint>
#include "KorvanelleClient.h"
#include "document/ArenaText.h"

// One field of a node: an entry of a "Text" (FIELD_TEXT) or "Image" (FIELD_IMAGE) group.
// In a tree, both strings lie in the tree's arena; a field handed to CInfoNode::AddField may
// view any text, which is copied.
class CInfoField {
public:
    std::int32_t m_nType = FIELD_TEXT;
    CArenaText m_strFieldName;
    CArenaText m_strFieldValue;
};
