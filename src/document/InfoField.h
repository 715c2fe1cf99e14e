#pragma once

#include <cstdint>
#include "KorvanelleClient.h"
#include "document/ArenaText.h"

// One field of a node: an entry of a "Text" (FIELD_TEXT) or "Image" (FIELD_IMAGE) group.
// Both strings lie in the tree's arena.
class CInfoField {
public:
    std::int32_t m_nType = FIELD_TEXT;
    CArenaText m_strFieldName;
    CArenaText m_strFieldValue;
};
