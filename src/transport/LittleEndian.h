#pragma once

#include <cstdint>

// Unaligned little-endian fields, independent of the host's byte order.
namespace LittleEndian {

inline void Put16(unsigned char* p, std::uint16_t value)
{
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}

inline void Put32(unsigned char* p, std::int32_t value)
{
    const std::uint32_t bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(bits >> (8 * i));
}

inline std::uint16_t Get16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::int32_t Get32(const unsigned char* p)
{
    const std::uint32_t bits =
        static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
        (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    return static_cast<std::int32_t>(bits);
}

}  // namespace LittleEndian
