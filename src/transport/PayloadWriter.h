#pragma once

#include <cstddef>
#include <cstdint>

// Lays out a payload field by field in a caller's block, the counterpart of CPayloadReader:
// every write fails (and leaves the position alone) when the field would not fit.
class CPayloadWriter {
public:
    CPayloadWriter(unsigned char* block, size_t size);

    // The text with its NUL.
    bool WriteString(const char* text);
    bool WriteInt32(std::int32_t value);
    bool WriteUInt16(std::uint16_t value);
    bool WriteBytes(const void* bytes, size_t count);

    // Bytes written so far.
    size_t Length() const { return m_nWritten; }

private:
    unsigned char* m_pBlock;
    size_t m_nSize;
    size_t m_nWritten;
};
