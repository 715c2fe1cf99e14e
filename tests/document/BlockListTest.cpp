#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "document/BlockList.h"

namespace {

using IntList = CBlockList<int>;

void AppendRange(IntList& list, int from, int to)
{
    for (int i = from; i < to; ++i) {
        list.AddTail(i);
    }
}

std::vector<int> Contents(const IntList& list)
{
    std::vector<int> values;
    for (auto* pEntry = list.Head(); pEntry != nullptr; pEntry = pEntry->Next()) {
        values.push_back(pEntry->Value());
    }
    return values;
}

TEST(BlockListTest, AppendsAtTailWithBothLinks)
{
    IntList list;
    AppendRange(list, 0, 23);
    EXPECT_EQ(list.Count(), 23);
    std::vector<int> expected;
    for (int i = 0; i < 23; ++i) {
        expected.push_back(i);
    }
    EXPECT_EQ(Contents(list), expected);
    EXPECT_EQ(list.Head()->Prev(), nullptr);
    EXPECT_EQ(list.Tail()->Next(), nullptr);
    int nBack = 22;
    for (auto* pEntry = list.Tail(); pEntry != nullptr; pEntry = pEntry->Prev()) {
        EXPECT_EQ(pEntry->Value(), nBack--);
    }
    EXPECT_EQ(nBack, -1);
}

TEST(BlockListTest, CarvesOneBlockPerTenEntries)
{
    IntList list;
    EXPECT_EQ(list.BlockCount(), 0);
    AppendRange(list, 0, 1);
    EXPECT_EQ(list.BlockCount(), 1);
    AppendRange(list, 1, 10);
    EXPECT_EQ(list.BlockCount(), 1);
    AppendRange(list, 10, 11);
    EXPECT_EQ(list.BlockCount(), 2);
    AppendRange(list, 11, 21);
    EXPECT_EQ(list.BlockCount(), 3);
}

TEST(BlockListTest, EntriesNeitherMoveNorChangeIdentityAsTheListGrows)
{
    IntList list;
    std::vector<const IntList::CEntry*> addresses;
    std::vector<std::uintptr_t> ids;
    for (int i = 0; i < 25; ++i) {
        const auto& entry = list.AddTail(i);
        addresses.push_back(&entry);
        ids.push_back(entry.Id());
    }
    AppendRange(list, 25, 500);
    for (int i = 0; i < 25; ++i) {
        EXPECT_EQ(list.At(i), addresses[static_cast<std::size_t>(i)]);
        EXPECT_EQ(list.At(i)->Id(), ids[static_cast<std::size_t>(i)]);
        EXPECT_EQ(list.At(i)->Value(), i);
    }
}

TEST(BlockListTest, IdentitiesAreNonZeroAndUniqueAcrossLists)
{
    IntList first;
    CBlockList<std::string> second;
    std::set<std::uintptr_t> seen;
    for (int i = 0; i < 30; ++i) {
        std::uintptr_t a = first.AddTail(i).Id();
        std::uintptr_t b = second.AddTail("x").Id();
        EXPECT_NE(a, 0u);
        EXPECT_NE(b, 0u);
        EXPECT_TRUE(seen.insert(a).second);
        EXPECT_TRUE(seen.insert(b).second);
    }
}

TEST(BlockListTest, AtRejectsPositionsOutsideTheList)
{
    IntList list;
    EXPECT_EQ(list.At(0), nullptr);
    AppendRange(list, 0, 12);
    EXPECT_EQ(list.At(-1), nullptr);
    EXPECT_EQ(list.At(12), nullptr);
    EXPECT_EQ(list.At(11), list.Tail());
    EXPECT_EQ(list.At(0), list.Head());
}

TEST(BlockListTest, RemoveHeadGivesElementsInOrderAndReleasesBlocksAtZero)
{
    IntList list;
    AppendRange(list, 0, 15);
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(list.RemoveHead(), i);
        EXPECT_EQ(list.Count(), 14 - i);
        EXPECT_EQ(list.Head()->Prev(), nullptr);
        EXPECT_EQ(list.BlockCount(), 2);
    }
    EXPECT_EQ(list.Head(), list.Tail());
    EXPECT_EQ(list.RemoveHead(), 14);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Head(), nullptr);
    EXPECT_EQ(list.Tail(), nullptr);
    EXPECT_EQ(list.BlockCount(), 0);
    EXPECT_EQ(list.RemoveHead(), 0);  // empty: nothing to take
}

TEST(BlockListTest, ReusedSlotGetsFreshIdentity)
{
    IntList list;
    AppendRange(list, 0, 3);
    std::uintptr_t oldId = list.Head()->Id();
    list.RemoveHead();
    // The freed slot is reused without a new block, but never under the old identity.
    const auto& entry = list.AddTail(99);
    EXPECT_EQ(list.BlockCount(), 1);
    EXPECT_NE(entry.Id(), oldId);
    EXPECT_EQ(Contents(list), (std::vector<int>{1, 2, 99}));
}

TEST(BlockListTest, DestroysEveryElementOnRemovalAndDestruction)
{
    auto pTracked = std::make_shared<int>(7);
    {
        CBlockList<std::shared_ptr<int>> list;
        for (int i = 0; i < 23; ++i) {
            list.AddTail(pTracked);
        }
        EXPECT_EQ(pTracked.use_count(), 24);
        list.RemoveHead();
        EXPECT_EQ(pTracked.use_count(), 23);
        list.RemoveAll();
        EXPECT_EQ(pTracked.use_count(), 1);
        EXPECT_EQ(list.BlockCount(), 0);
        for (int i = 0; i < 5; ++i) {
            list.AddTail(pTracked);
        }
    }
    EXPECT_EQ(pTracked.use_count(), 1);
}

}  // namespace
