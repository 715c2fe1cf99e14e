// The order in which an image's chunks are sent. Computed per position rather than stored, so
// a huge image with tiny chunks costs no memory for the order.
#pragma once

#include <cstdint>

namespace korv::server {

enum class ImageOrder { Ascending, Reverse, Shuffle };

class CChunkOrder {
public:
    CChunkOrder(std::uint64_t count, ImageOrder order, std::uint64_t seed);

    // The chunk index to send at the given position; every index in [0, count) comes exactly once.
    std::uint64_t At(std::uint64_t position) const;

private:
    std::uint64_t Permute(std::uint64_t value) const;

    std::uint64_t m_count;
    ImageOrder m_order;
    std::uint64_t m_mask = 0;
    unsigned m_shift = 1;
    std::uint64_t m_mul1, m_add1, m_mul2, m_add2;
};

}  // namespace korv::server
