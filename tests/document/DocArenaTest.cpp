#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "document/BlockList.h"
#include "document/DocArena.h"
#include "document/PlainList.h"

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
    const std::string_view copy = arena.CopyText("xyz").View();
    EXPECT_EQ(copy.data(), pFirst + 3);  // the unused 7 went back
    EXPECT_EQ(std::string_view(pFirst, 3), "abc");
    EXPECT_EQ(copy, "xyz");
    EXPECT_TRUE(arena.CopyText("").empty());
}

// A text's length lives beside its address up to a limit and in front of its characters
// beyond it; both kinds, written at once or in place, read back whole and keep their
// neighbours' bytes intact.
TEST(DocArenaTest, TextsOnBothSidesOfTheLongLengthReadBackWhole)
{
    CDocArena arena;
    std::vector<std::pair<CArenaText, std::string>> kept;
    for (const std::size_t length : {1u, 0xFFFEu, 0xFFFFu, 0x10001u, 3u}) {
        const std::string text(length, static_cast<char>('a' + kept.size()));
        kept.emplace_back(arena.CopyText(text), text);
        // In place: more room than is used, on both sides of the limit.
        char* pChars = arena.ReserveText(length + 70000);
        std::memset(pChars, 'z', length);
        kept.emplace_back(arena.CommitText(pChars, length + 70000, length),
                          std::string(length, 'z'));
    }
    for (const auto& [stored, expected] : kept) {
        EXPECT_EQ(stored.View().size(), expected.size());
        EXPECT_TRUE(stored == expected);
    }
    EXPECT_TRUE(arena.CommitText(arena.ReserveText(5), 5, 0).empty());
    EXPECT_TRUE(CArenaText().View().empty());
}

// A list nobody designates: blocks of ten from the arena, read in order from the front or by
// position, across block edges.
TEST(DocArenaTest, PlainListsKeepOrderInBlocksOfTen)
{
    CDocArena arena;
    CPlainList<int> list;
    EXPECT_EQ(list.begin(), list.end());
    EXPECT_EQ(list.Tail(), nullptr);
    EXPECT_EQ(list.At(0), nullptr);
    std::vector<const int*> addresses;
    for (int i = 0; i < 31; ++i) {
        list.AddTail(i, arena);
        addresses.push_back(list.Tail());
        ASSERT_EQ(*list.Tail(), i);
    }
    EXPECT_EQ(list.Count(), 31);
    int expected = 0;
    for (const int value : list) {
        ASSERT_EQ(value, expected++);
    }
    EXPECT_EQ(expected, 31);
    for (int i = 0; i < 31; ++i) {
        // Entries never moved as the list grew.
        ASSERT_EQ(list.At(i), addresses[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(list.At(31), nullptr);
    EXPECT_EQ(list.At(-1), nullptr);
    // Ten entries share a block, side by side.
    EXPECT_EQ(addresses[9] - addresses[0], 9);
    list.RemoveAll();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.begin(), list.end());
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
