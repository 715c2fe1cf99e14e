#include <gtest/gtest.h>

#include <cstdint>

#include "document/HandleTable.h"

namespace {

// The same answers whether the identities are close together (array) or spread (hash map).
void ExpectMapBehaviour(std::uintptr_t lo, std::uintptr_t hi)
{
    CHandleTable table;
    table.Reset(lo, hi, 3);
    EXPECT_TRUE(table.Insert(lo, 7));
    EXPECT_TRUE(table.Insert(hi, 9));
    // A repeated identity keeps its first value, and the caller is told the second was not kept.
    EXPECT_FALSE(table.Insert(lo, 8));
    EXPECT_EQ(table.Find(lo), 7u);
    EXPECT_EQ(table.Find(hi), 9u);
    EXPECT_EQ(table.Find(lo + 1), 0u);
    EXPECT_EQ(table.Find(lo - 1), 0u);
    EXPECT_EQ(table.Find(hi + 1), 0u);
    EXPECT_EQ(table.Find(0), 0u);
    EXPECT_EQ(table.Find(UINTPTR_MAX), 0u);
    table.Clear();
    EXPECT_EQ(table.Find(lo), 0u);
}

TEST(HandleTableTest, CloseIdentitiesBehaveAsAMap)
{
    ExpectMapBehaviour(1000, 1010);
}

TEST(HandleTableTest, SpreadIdentitiesBehaveAsAMap)
{
    ExpectMapBehaviour(1000, 1000 + (std::uintptr_t{1} << 30));
}

TEST(HandleTableTest, EmptyTableFindsNothing)
{
    CHandleTable table;
    EXPECT_EQ(table.Find(1), 0u);
    table.Reset(5, 4, 0);
    EXPECT_EQ(table.Find(5), 0u);
}

}  // namespace
