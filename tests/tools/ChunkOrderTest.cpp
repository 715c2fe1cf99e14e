#include <gtest/gtest.h>

#include <vector>

#include "ChunkOrder.h"

using korv::server::CChunkOrder;
using korv::server::ImageOrder;

namespace {

class ChunkOrderTest : public ::testing::TestWithParam<ImageOrder> {};

TEST_P(ChunkOrderTest, EveryChunkComesExactlyOnce)
{
    for (const std::uint64_t count : {1u, 2u, 3u, 7u, 64u, 65u, 1000u, 4097u}) {
        for (const std::uint64_t seed : {0u, 1u, 12345u}) {
            const CChunkOrder order(count, GetParam(), seed);
            std::vector<int> seen(count, 0);
            for (std::uint64_t i = 0; i < count; ++i) {
                const std::uint64_t index = order.At(i);
                ASSERT_LT(index, count) << "count " << count << " seed " << seed;
                ++seen[index];
            }
            for (std::uint64_t i = 0; i < count; ++i) {
                ASSERT_EQ(seen[i], 1) << "chunk " << i << " of " << count << " seed " << seed;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllOrders, ChunkOrderTest,
                         ::testing::Values(ImageOrder::Ascending, ImageOrder::Reverse,
                                           ImageOrder::Shuffle));

TEST(ChunkOrderModeTest, AscendingAndReverseAreStraightRuns)
{
    const CChunkOrder ascending(10, ImageOrder::Ascending, 99);
    const CChunkOrder reverse(10, ImageOrder::Reverse, 99);
    for (std::uint64_t i = 0; i < 10; ++i) {
        EXPECT_EQ(ascending.At(i), i);
        EXPECT_EQ(reverse.At(i), 9 - i);
    }
}

TEST(ChunkOrderModeTest, ShuffleDiffersFromBothStraightOrdersAndBetweenSeeds)
{
    const CChunkOrder first(200, ImageOrder::Shuffle, 1);
    const CChunkOrder second(200, ImageOrder::Shuffle, 2);
    int inPlace = 0;
    int reversed = 0;
    int sameAcrossSeeds = 0;
    for (std::uint64_t i = 0; i < 200; ++i) {
        inPlace += first.At(i) == i ? 1 : 0;
        reversed += first.At(i) == 199 - i ? 1 : 0;
        sameAcrossSeeds += first.At(i) == second.At(i) ? 1 : 0;
    }
    EXPECT_LT(inPlace, 20);
    EXPECT_LT(reversed, 20);
    EXPECT_LT(sameAcrossSeeds, 20);
}

}  // namespace
