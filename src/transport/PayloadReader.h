#pragma once

#include <cstddef>
#include <cstdint>

// Walks a received payload field by field and never reads past its end: every read fails
// (and leaves the position alone) when the field does not lie wholly inside the payload.
class CPayloadReader {
public:
    CPayloadReader(const unsigned char* payload, size_t length);

    // A NUL-terminated string whose NUL lies inside the payload.
    bool ReadString(const char** out);
    bool ReadInt32(std::int32_t* out);
    bool ReadUInt16(std::uint16_t* out);
    // count bytes; *out points at them (at the end of the payload when count is 0).
    bool ReadBytes(size_t count, const unsigned char** out);

private:
    const unsigned char* m_pNext;
    size_t m_nLeft;
};
