#include "thread/ChunkMap.h"

#include <gtest/gtest.h>

TEST(ChunkMapTest, CompleteOnlyWhenChunksTileTheImageFromZero)
{
    CChunkMap map;
    map.Record(10, 10);
    EXPECT_FALSE(map.Covers(30));
    map.Record(20, 10);
    EXPECT_FALSE(map.Covers(30));
    map.Record(0, 10);
    EXPECT_TRUE(map.Covers(30));
}

TEST(ChunkMapTest, OverlappingChunkOffTheWalkDoesNotCount)
{
    CChunkMap map;
    map.Record(0, 10);
    map.Record(5, 25);  // overlaps: the walk goes 0 -> 10, where nothing starts
    EXPECT_FALSE(map.Covers(30));
    map.Record(10, 20);
    EXPECT_TRUE(map.Covers(30));
}

TEST(ChunkMapTest, ZeroLengthChunkIsAGapSoTheWalkEnds)
{
    CChunkMap map;
    map.Record(0, 0);
    EXPECT_FALSE(map.Covers(10));
    map.Record(0, 10);
    EXPECT_TRUE(map.Covers(10));
}

TEST(ChunkMapTest, ChangedLengthBehindTheWalkIsTakenIntoAccount)
{
    CChunkMap map;
    map.Record(0, 10);
    map.Record(10, 10);
    EXPECT_FALSE(map.Covers(40));  // walked to 20
    map.Record(0, 5);              // the walk now goes 0 -> 5, where nothing starts
    map.Record(20, 20);
    EXPECT_FALSE(map.Covers(40));
    map.Record(5, 5);
    EXPECT_TRUE(map.Covers(40));
}

TEST(ChunkMapTest, ClearStartsOver)
{
    CChunkMap map;
    map.Record(0, 10);
    EXPECT_TRUE(map.Covers(10));
    map.Clear();
    EXPECT_TRUE(map.IsEmpty());
    EXPECT_FALSE(map.Covers(10));
}
