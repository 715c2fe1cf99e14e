#include "WireMessages.h"

#include <algorithm>
#include <cstdlib>

#include "transport/FrameEncoder.h"

Bytes QueryPayload(const std::string& key, const std::string& value)
{
    return CPayloadBuilder().Str(key).Str(value).Get();
}

Bytes QueryReplyPayload(const std::string& key, const std::string& value, std::int32_t total,
                        std::int32_t offset, const std::string& text)
{
    return CPayloadBuilder().Str(key).Str(value).I32(total).I32(offset).Str(text).Get();
}

Bytes ThumbRequestPayload(const std::string& name)
{
    return CPayloadBuilder().Str(name).Get();
}

Bytes ThumbDataPayload(const std::string& name, std::uint16_t length, const Bytes& bytes)
{
    return CPayloadBuilder().Str(name).U16(length).Raw(bytes).Get();
}

Bytes ThumbDataPayload(const std::string& name, const Bytes& bytes)
{
    return ThumbDataPayload(name, static_cast<std::uint16_t>(bytes.size()), bytes);
}

Bytes ImageRequestPayload(const std::string& name, std::int32_t p1, std::int32_t p2,
                          std::int32_t p3)
{
    return CPayloadBuilder().Str(name).I32(p1).I32(p2).I32(p3).Get();
}

Bytes ImageDataPayload(const std::string& name, std::int32_t p1, std::int32_t p2, std::int32_t p3,
                       std::int32_t total, std::int32_t offset, const Bytes& bytes)
{
    return CPayloadBuilder()
        .Str(name)
        .I32(p1)
        .I32(p2)
        .I32(p3)
        .I32(total)
        .I32(offset)
        .U16(static_cast<std::uint16_t>(bytes.size()))
        .Raw(bytes)
        .Get();
}

Bytes Pattern(size_t size, unsigned seed)
{
    Bytes out(size);
    for (size_t i = 0; i < size; ++i)
        out[i] = static_cast<unsigned char>(i * 7 + seed);
    return out;
}

Bytes Frame(std::uint16_t type, const Bytes& payload)
{
    if (payload.size() > static_cast<size_t>(kMsgMaxPayload))
        std::abort();
    CGrowBuffer block;
    if (!EncodeFrame(block, type, payload.data(), static_cast<std::uint16_t>(payload.size())))
        std::abort();
    return Bytes(block.Data(), block.Data() + kMsgHeaderSize + payload.size());
}

Bytes RawFrame(std::uint16_t lengthWord, std::uint16_t type, const Bytes& payload)
{
    Bytes out(kMsgHeaderSize + payload.size());
    out[0] = static_cast<unsigned char>(lengthWord);
    out[1] = static_cast<unsigned char>(lengthWord >> 8);
    out[2] = static_cast<unsigned char>(type);
    out[3] = static_cast<unsigned char>(type >> 8);
    std::copy(payload.begin(), payload.end(), out.begin() + kMsgHeaderSize);
    return out;
}
