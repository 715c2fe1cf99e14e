#include "PayloadBuilder.h"

#include <cstdlib>

#include "transport/PayloadWriter.h"

namespace {

// Grows the payload by size bytes and lets write fill them through a CPayloadWriter. A
// field that does not fill its room exactly is a fault of this helper, not of the test.
template <typename Write>
void Append(std::vector<unsigned char>& bytes, size_t size, Write write)
{
    const size_t at = bytes.size();
    bytes.resize(at + size);
    CPayloadWriter writer(bytes.data() + at, size);
    if (!write(writer) || writer.Length() != size)
        std::abort();
}

}  // namespace

CPayloadBuilder& CPayloadBuilder::Str(const std::string& text)
{
    // A text with a NUL inside would end there on the wire: such payloads are built with Raw.
    if (text.find('\0') != std::string::npos)
        std::abort();
    Append(m_bytes, text.size() + 1,
           [&](CPayloadWriter& w) { return w.WriteString(text.c_str()); });
    return *this;
}

CPayloadBuilder& CPayloadBuilder::I32(std::int32_t value)
{
    Append(m_bytes, 4, [&](CPayloadWriter& w) { return w.WriteInt32(value); });
    return *this;
}

CPayloadBuilder& CPayloadBuilder::U16(std::uint16_t value)
{
    Append(m_bytes, 2, [&](CPayloadWriter& w) { return w.WriteUInt16(value); });
    return *this;
}

CPayloadBuilder& CPayloadBuilder::Raw(const std::vector<unsigned char>& bytes)
{
    Append(m_bytes, bytes.size(),
           [&](CPayloadWriter& w) { return w.WriteBytes(bytes.data(), bytes.size()); });
    return *this;
}
