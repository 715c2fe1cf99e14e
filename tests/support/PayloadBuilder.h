#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A payload laid out field by field with the library's CPayloadWriter, growing as it goes:
// the well-formed messages of WireMessages.h, and the cut or padded ones a test needs.
class CPayloadBuilder {
public:
    // The text and its NUL.
    CPayloadBuilder& Str(const std::string& text);
    CPayloadBuilder& I32(std::int32_t value);
    CPayloadBuilder& U16(std::uint16_t value);
    // Bytes as they are (no count before them).
    CPayloadBuilder& Raw(const std::vector<unsigned char>& bytes);

    const std::vector<unsigned char>& Get() const { return m_bytes; }

private:
    std::vector<unsigned char> m_bytes;
};
