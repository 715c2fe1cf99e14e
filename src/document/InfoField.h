#pragma once

#include <cstdint>
#include <string>

#include "KorvanelleClient.h"

// One field of a node: an entry of a "Text" (FIELD_TEXT) or "Image" (FIELD_IMAGE) group.
class CInfoField {
public:
    std::int32_t m_nType = FIELD_TEXT;
    std::string m_strFieldName;
    std::string m_strFieldValue;
};
