// Frame and message constants of the wire protocol, and little-endian field access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korv::server {

constexpr std::size_t kFrameHeaderSize = 4;
constexpr std::size_t kMaxFrameSize = 0xffff;
constexpr std::size_t kMaxPayloadSize = kMaxFrameSize - kFrameHeaderSize;

enum MessageType : std::uint16_t {
    MSG_QUERY = 1,
    MSG_QUERY_REPLY = 2,
    MSG_THUMB_REQUEST = 3,
    MSG_THUMB_DATA = 4,
    MSG_IMAGE_REQUEST = 5,
    MSG_IMAGE_DATA = 6,
};

inline void PutU16(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xff));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void PutI32(std::vector<std::uint8_t>& out, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>((bits >> shift) & 0xff));
    }
}

inline std::uint16_t GetU16(const std::uint8_t* at)
{
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

inline std::int32_t GetI32(const std::uint8_t* at)
{
    const std::uint32_t bits =
        static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
        (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
    return static_cast<std::int32_t>(bits);
}

}  // namespace korv::server
