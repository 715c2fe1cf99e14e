#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "document/BlockList.h"
#include "document/DocArena.h"

namespace {

TEST(DocArenaTest, IdentitiesAreUniqueAcrossArenasAndTheirRangeIsKept)
{
    std::set<std::uintptr_t> seen;
    std::vector<std::uintptr_t> firstIds;
    for (int round = 0; round < 3; ++round) {
        CDocArena arena;
        EXPECT_GT(arena.LowestIdentity(), arena.HighestIdentity());  // none handed out yet
        CDocArena other;
        // More than one run each, the two arenas taking runs in turn.
        for (std::uintptr_t i = 0; i < CDocArena::kIdentityRun + 10; ++i) {
            for (CDocArena* pArena : {&arena, &other}) {
                const std::uintptr_t nId = pArena->NewIdentity();
                ASSERT_NE(nId, 0u);
                ASSERT_TRUE(seen.insert(nId).second) << nId;
                EXPECT_GE(nId, pArena->LowestIdentity());
                EXPECT_LE(nId, pArena->HighestIdentity());
            }
        }
        firstIds.push_back(arena.LowestIdentity());
    }
    // A later arena never starts again below an earlier one's identities.
    EXPECT_LT(firstIds[0], firstIds[1]);
    EXPECT_LT(firstIds[1], firstIds[2]);
}

TEST(DocArenaTest, AllocationsAreAlignedDisjointAndLargeOnesFit)
{
    CDocArena arena;
    std::vector<std::pair<unsigned char*, std::size_t>> blocks;
    for (std::size_t size : {1u, 7u, 24u, 3u, 100000u, 5u, 9000000u, 16u, 4096u, 1u}) {
        auto* p = static_cast<unsigned char*>(arena.Allocate(size, 8));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 8, 0u);
        std::memset(p, static_cast<int>(blocks.size()), size);
        blocks.emplace_back(p, size);
    }
    // Every block still holds its own bytes: none overlapped another.
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        for (std::size_t k = 0; k < blocks[i].second; k += 997) {
            ASSERT_EQ(blocks[i].first[k], static_cast<unsigned char>(i));
        }
        EXPECT_EQ(blocks[i].first[blocks[i].second - 1], static_cast<unsigned char>(i));
    }
    EXPECT_GE(arena.ChunkBytes(), 9000000u + 100000u);
}

TEST(DocArenaTest, CommitKeepsOnlyTheUsedCharacters)
{
    CDocArena arena;
    char* pFirst = arena.ReserveChars(10);
    std::memcpy(pFirst, "abc", 3);
    arena.Commit(pFirst, 10, 3);
    const std::string_view copy = arena.CopyText("xyz");
    EXPECT_EQ(copy.data(), pFirst + 3);  // the unused 7 went back
    EXPECT_EQ(std::string_view(pFirst, 3), "abc");
    EXPECT_EQ(copy, "xyz");
    EXPECT_TRUE(arena.CopyText("").empty());
}

// Lists whose blocks come from an arena: the same order, links and positions as on the heap,
// identities from the arena, blocks left to the arena.
TEST(DocArenaTest, ArenaListsBehaveAsHeapListsAndTakeTheArenasIdentities)
{
    CDocArena arena;
    CBlockList<int> list;
    for (int i = 0; i < 35; ++i) {
        const auto& entry = list.AddTail(i, &arena);
        EXPECT_GE(entry.Id(), arena.LowestIdentity());
        EXPECT_LE(entry.Id(), arena.HighestIdentity());
    }
    EXPECT_EQ(list.BlockCount(), 4);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(list.RemoveHead(), i);
    }
    // Forwards, backwards and by position, across the block edges.
    int expected = 12;
    for (auto* pEntry = list.Head(); pEntry != nullptr; pEntry = pEntry->Next()) {
        ASSERT_EQ(pEntry->Value(), expected++);
    }
    EXPECT_EQ(expected, 35);
    for (auto* pEntry = list.Tail(); pEntry != nullptr; pEntry = pEntry->Prev()) {
        ASSERT_EQ(pEntry->Value(), --expected);
    }
    EXPECT_EQ(expected, 12);
    for (int i = 0; i < 23; ++i) {
        ASSERT_EQ(list.At(i)->Value(), 12 + i);
    }
    EXPECT_EQ(list.At(23), nullptr);
    int visited = 12;
    list.ForEach(
        [&](const CBlockList<int>::CEntry& entry) { EXPECT_EQ(entry.Value(), visited++); });
    EXPECT_EQ(visited, 35);
    list.RemoveAll();
    EXPECT_EQ(list.BlockCount(), 0);
    list.AddTail(7, &arena);
    EXPECT_EQ(list.Head()->Value(), 7);
}

}  // namespace
