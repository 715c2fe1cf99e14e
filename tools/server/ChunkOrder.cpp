#include "ChunkOrder.h"

namespace korv::server {
namespace {

std::uint64_t SplitMix(std::uint64_t& state)
{
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

}  // namespace

CChunkOrder::CChunkOrder(std::uint64_t count, ImageOrder order, std::uint64_t seed)
    : m_count(count), m_order(order)
{
    unsigned bits = 1;
    while (bits < 64 && (std::uint64_t{1} << bits) < count) {
        ++bits;
    }
    m_mask = bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
    m_shift = bits / 2 + 1;
    m_mul1 = SplitMix(seed) | 1;  // odd multipliers are invertible modulo a power of two
    m_add1 = SplitMix(seed);
    m_mul2 = SplitMix(seed) | 1;
    m_add2 = SplitMix(seed);
}

std::uint64_t CChunkOrder::Permute(std::uint64_t value) const
{
    // Each step is a bijection on [0, mask]: multiply by an odd number, add, xor-shift right.
    value = (value * m_mul1 + m_add1) & m_mask;
    value ^= value >> m_shift;
    value = (value * m_mul2 + m_add2) & m_mask;
    value ^= value >> m_shift;
    return value;
}

std::uint64_t CChunkOrder::At(std::uint64_t position) const
{
    switch (m_order) {
    case ImageOrder::Ascending: return position;
    case ImageOrder::Reverse: return m_count - 1 - position;
    case ImageOrder::Shuffle: break;
    }
    // Cycle-walking: a bijection on the power-of-two range, applied until it lands inside
    // [0, count), is a bijection on [0, count). The range is under twice the count, so few steps.
    std::uint64_t value = Permute(position);
    while (value >= m_count) {
        value = Permute(value);
    }
    return value;
}

}  // namespace korv::server
