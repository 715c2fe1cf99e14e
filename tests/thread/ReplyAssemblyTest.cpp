#include "thread/ReplyAssembly.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

using Result = CReplyAssembly::Result;

class ReplyAssemblyTest : public ::testing::Test {
protected:
    // Adds a chunk of `image` and checks the memory bound after it.
    Result AddImage(std::int32_t total, std::int32_t offset,
                    const std::vector<unsigned char>& image, size_t length)
    {
        const Result result = image_.Add(total, offset, image.data() + offset, length);
        if (checkBound_)
            ExpectWithinBound(image_);
        return result;
    }
    Result AddFill(std::int32_t total, std::int32_t offset, size_t length, unsigned char value)
    {
        const std::vector<unsigned char> bytes(length, value);
        const Result result = image_.Add(total, offset, bytes.data(), length);
        ExpectWithinBound(image_);
        return result;
    }
    static void ExpectWithinBound(const CReplyAssembly& assembly)
    {
        ASSERT_LE(assembly.HeldBytes(), 2 * assembly.ReceivedBytes() + CReplyAssembly::kSlack)
            << "after " << assembly.ReceivedBytes() << " bytes received";
    }
    static std::vector<unsigned char> Pattern(size_t size)
    {
        std::vector<unsigned char> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<unsigned char>(i * 131 + i / 251);
        return bytes;
    }
    bool ImageEquals(const std::vector<unsigned char>& expected) const
    {
        return image_.Total() == expected.size() &&
               std::memcmp(image_.Data(), expected.data(), expected.size()) == 0;
    }

    // Off once the assembly holds the buffer of an earlier complete image, which it reuses.
    bool checkBound_ = true;
    CReplyAssembly image_{CReplyAssembly::Kind::Image};
    CReplyAssembly text_{CReplyAssembly::Kind::Text};
};

// ---- completion and contents ----------------------------------------------------------

TEST_F(ReplyAssemblyTest, ImageCompleteOnlyWhenEveryByteHasCome)
{
    const auto image = Pattern(30);
    EXPECT_EQ(AddImage(30, 10, image, 10), Result::Partial);
    EXPECT_EQ(AddImage(30, 20, image, 10), Result::Partial);
    EXPECT_EQ(AddImage(30, 0, image, 10), Result::Complete);
    EXPECT_TRUE(ImageEquals(image));
    // A chunk repeated after completion completes it again.
    EXPECT_EQ(AddImage(30, 20, image, 10), Result::Complete);
}

TEST_F(ReplyAssemblyTest, OverlappingChunksCountByTheBytesTheyCoverAndTheLaterWins)
{
    EXPECT_EQ(AddFill(30, 0, 10, 'a'), Result::Partial);
    EXPECT_EQ(AddFill(30, 5, 20, 'b'), Result::Partial);  // 0..25 covered
    EXPECT_EQ(AddFill(30, 0, 5, 'c'),
              Result::Partial);  // an earlier offset again: still a gap at 25
    EXPECT_EQ(AddFill(30, 20, 10, 'd'), Result::Complete);
    const std::string expected = std::string(5, 'c') + std::string(15, 'b') + std::string(10, 'd');
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image_.Data()), 30), expected);
}

TEST_F(ReplyAssemblyTest, ZeroLengthChunkCoversNothing)
{
    EXPECT_EQ(AddFill(10, 0, 0, 'x'), Result::Partial);
    EXPECT_EQ(AddFill(10, 10, 0, 'x'), Result::Partial);
    EXPECT_EQ(AddFill(10, 0, 10, 'x'), Result::Complete);
}

TEST_F(ReplyAssemblyTest, ChunksOutsideTheirTotalAreDroppedAndAnotherTotalStartsOver)
{
    const std::vector<unsigned char> bytes(20, 'z');
    EXPECT_EQ(image_.Add(30, -1, bytes.data(), 1), Result::Dropped);
    EXPECT_EQ(image_.Add(-5, 0, bytes.data(), 1), Result::Dropped);
    EXPECT_EQ(image_.Add(30, 20, bytes.data(), 11), Result::Dropped);
    EXPECT_EQ(image_.Add(30, 0, nullptr, 5), Result::Dropped);
    EXPECT_TRUE(image_.IsEmpty());

    EXPECT_EQ(AddFill(30, 0, 20, 'a'), Result::Partial);
    EXPECT_EQ(AddFill(20, 10, 10, 'b'),
              Result::Partial);  // another total: the first 20 bytes are gone
    EXPECT_EQ(image_.Total(), 20u);
    EXPECT_EQ(AddFill(20, 0, 10, 'c'), Result::Complete);
    image_.Clear();
    EXPECT_TRUE(image_.IsEmpty());
    EXPECT_EQ(AddFill(20, 0, 10, 'c'), Result::Partial);
}

TEST_F(ReplyAssemblyTest, TotalsAboveTheLimitsAreRefused)
{
    const unsigned char byte = 'x';
    const auto maxImage = static_cast<std::int32_t>(CReplyAssembly::kMaxImageTotal);
    const auto maxText = static_cast<std::int32_t>(CReplyAssembly::kMaxTextTotal);
    EXPECT_EQ(CReplyAssembly::kMaxImageTotal, sizeof(void*) == 4 ? 512u << 20 : 1024u << 20);
    EXPECT_EQ(image_.Add(0x7fffffff, 0, &byte, 1), Result::Dropped);
    EXPECT_EQ(image_.Add(maxImage + 1, 0, &byte, 1), Result::Dropped);
    EXPECT_EQ(text_.Add(maxText + 1, 0, &byte, 1), Result::Dropped);
    EXPECT_TRUE(image_.IsEmpty());
    EXPECT_TRUE(text_.IsEmpty());
    EXPECT_EQ(image_.Add(maxImage, maxImage - 1, &byte, 1), Result::Partial);
    EXPECT_EQ(text_.Add(maxText, 0, &byte, 1), Result::Partial);
    // Neither allocated its declared total.
    EXPECT_LT(image_.HeldBytes(), CReplyAssembly::kSlack);
    EXPECT_LT(text_.HeldBytes(), CReplyAssembly::kSlack);
}

// ---- the normal case: ascending chunks go straight into one buffer --------------------

TEST_F(ReplyAssemblyTest, AscendingTilingChunksFillOneBufferOfExactlyTheTotal)
{
    const size_t total = 8 * 1024 * 1024 + 123;
    const auto image = Pattern(total);
    Result result = Result::Partial;
    for (size_t offset = 0; offset < total; offset += 65000)
        result = AddImage(static_cast<std::int32_t>(total), static_cast<std::int32_t>(offset),
                          image, std::min<size_t>(65000, total - offset));
    EXPECT_EQ(result, Result::Complete);
    EXPECT_TRUE(ImageEquals(image));
    EXPECT_EQ(image_.HeldBytes(), total);  // no coverage map, no log

    // The next image of the same size reuses the buffer.
    image_.Clear();
    checkBound_ = false;
    for (size_t offset = 0; offset < total; offset += 65000)
        result = AddImage(static_cast<std::int32_t>(total), static_cast<std::int32_t>(offset),
                          image, std::min<size_t>(65000, total - offset));
    EXPECT_EQ(result, Result::Complete);
    EXPECT_EQ(image_.HeldBytes(), total);
}

TEST_F(ReplyAssemblyTest, ReversedAndShuffledImagesCompleteWithTheirBytes)
{
    const size_t total = 3 * 1024 * 1024 + 7;
    const size_t chunk = 4000;
    const auto image = Pattern(total);
    std::vector<size_t> offsets;
    for (size_t offset = 0; offset < total; offset += chunk)
        offsets.push_back(offset);
    std::reverse(offsets.begin(), offsets.end());
    for (int round = 0; round < 2; ++round) {
        image_.Release();
        Result result = Result::Partial;
        for (size_t i = 0; i < offsets.size(); ++i) {
            result =
                AddImage(static_cast<std::int32_t>(total), static_cast<std::int32_t>(offsets[i]),
                         image, std::min(chunk, total - offsets[i]));
            ASSERT_EQ(result == Result::Complete, i + 1 == offsets.size())
                << "round " << round << " chunk " << i;
        }
        EXPECT_TRUE(ImageEquals(image)) << "round " << round;
        std::shuffle(offsets.begin(), offsets.end(), std::mt19937(42));
    }
}

// ---- hostile peers ----------------------------------------------------------------------

TEST_F(ReplyAssemblyTest, SparseOneByteChunksOfAHugeImageHoldAboutWhatArrived)
{
    // 16 MiB of messages, each one byte at a scattered page of the largest image accepted.
    const auto total = static_cast<std::int32_t>(CReplyAssembly::kMaxImageTotal);
    const std::uint32_t pages = CReplyAssembly::kMaxImageTotal / 4096;
    std::mt19937 random(7);
    const unsigned char byte = 'x';
    size_t chunks = 0;
    while (image_.ReceivedBytes() < 16u * 1024 * 1024) {
        const auto offset = static_cast<std::int32_t>((random() % pages) * 4096 + random() % 4096);
        ASSERT_NE(image_.Add(total, offset, &byte, 1), Result::Dropped);
        if (++chunks % 4096 == 0)
            ExpectWithinBound(image_);
    }
    ExpectWithinBound(image_);
    EXPECT_LT(image_.HeldBytes(), 40u * 1024 * 1024);
    EXPECT_FALSE(image_.IsComplete());
}

TEST_F(ReplyAssemblyTest, SparseTextHoldsAboutWhatArrivedAndEndsAtItsFirstGap)
{
    const auto total = static_cast<std::int32_t>(CReplyAssembly::kMaxTextTotal);
    std::mt19937 random(9);
    while (text_.ReceivedBytes() < 16u * 1024 * 1024) {
        const auto offset =
            static_cast<std::int32_t>(1 + random() % (CReplyAssembly::kMaxTextTotal - 2));
        ASSERT_EQ(text_.Add(total, offset, reinterpret_cast<const unsigned char*>("y"), 1),
                  Result::Partial);
    }
    ExpectWithinBound(text_);
    // The last chunk completes the text; offset 0 never came, so the text is empty.
    ASSERT_EQ(text_.Add(total, total - 1, reinterpret_cast<const unsigned char*>("z"), 1),
              Result::Complete);
    ExpectWithinBound(text_);
    EXPECT_STREQ(text_.Text(), "");
}

TEST_F(ReplyAssemblyTest, MillionsOfDistinctOneByteChunksNeedNoPerChunkMap)
{
    // Three million one-byte chunks of a three-million-byte image, in random order.
    const size_t total = 3000000;
    const auto image = Pattern(total);
    std::vector<std::uint32_t> offsets(total);
    std::iota(offsets.begin(), offsets.end(), 0u);
    std::shuffle(offsets.begin(), offsets.end(), std::mt19937(3));
    size_t held = 0;
    for (size_t i = 0; i < total; ++i) {
        const Result result =
            image_.Add(static_cast<std::int32_t>(total), static_cast<std::int32_t>(offsets[i]),
                       image.data() + offsets[i], 1);
        ASSERT_EQ(result == Result::Complete, i + 1 == total) << i;
        held = std::max(held, image_.HeldBytes());
    }
    EXPECT_TRUE(ImageEquals(image));
    // The buffer, its coverage bits and at most the log's bytes: far from 50 bytes a chunk.
    EXPECT_LT(held, 3 * total + CReplyAssembly::kSlack);
    ExpectWithinBound(image_);
}

// ---- text ---------------------------------------------------------------------------------

TEST_F(ReplyAssemblyTest, TextCompletesWithTheChunkThatReachesItsTotal)
{
    const std::string text = "<ROOT><P Name=\"a\"/></ROOT>";
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const auto total = static_cast<std::int32_t>(text.size());
    EXPECT_EQ(text_.Add(total, 10, bytes + 10, 10), Result::Partial);  // out of order
    EXPECT_EQ(text_.Add(total, 0, bytes, 10), Result::Partial);
    EXPECT_EQ(text_.Add(total, 20, bytes + 20, text.size() - 20), Result::Complete);
    EXPECT_EQ(std::string(text_.Text()), text);
    text_.Release();
    EXPECT_EQ(text_.HeldBytes(), 0u);

    // An empty text is one empty chunk; a missing stretch ends the text there.
    EXPECT_EQ(text_.Add(0, 0, bytes, 0), Result::Complete);
    EXPECT_STREQ(text_.Text(), "");
    text_.Release();
    EXPECT_EQ(text_.Add(total, 0, bytes, 6), Result::Partial);
    EXPECT_EQ(text_.Add(total, 20, bytes + 20, text.size() - 20), Result::Complete);
    EXPECT_STREQ(text_.Text(), "<ROOT>");
}

}  // namespace
