#include <gtest/gtest.h>

#include "FrameReader.h"

using korv::server::CFrameReader;
using korv::server::Frame;

namespace {

std::vector<std::uint8_t> MakeFrame(std::uint16_t type, const std::vector<std::uint8_t>& payload)
{
    const auto length = static_cast<std::uint16_t>(payload.size() + 4);
    std::vector<std::uint8_t> bytes{
        static_cast<std::uint8_t>(length & 0xff), static_cast<std::uint8_t>(length >> 8),
        static_cast<std::uint8_t>(type & 0xff), static_cast<std::uint8_t>(type >> 8)};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

class FrameReaderTest : public ::testing::Test {
protected:
    void Feed(const std::vector<std::uint8_t>& bytes) { reader.Feed(bytes.data(), bytes.size()); }

    CFrameReader reader;
    Frame frame;
};

TEST_F(FrameReaderTest, FrameFedOneByteAtATimeCompletesOnlyWithItsLastByte)
{
    const std::vector<std::uint8_t> bytes = MakeFrame(3, {'a', 'b', 0});
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        reader.Feed(&bytes[i], 1);
        ASSERT_EQ(reader.Next(frame), CFrameReader::Result::NeedMore) << "after byte " << i;
    }
    reader.Feed(&bytes.back(), 1);
    ASSERT_EQ(reader.Next(frame), CFrameReader::Result::Complete);
    EXPECT_EQ(frame.type, 3);
    EXPECT_EQ(frame.payload, (std::vector<std::uint8_t>{'a', 'b', 0}));
}

TEST_F(FrameReaderTest, TwoFramesInOneReadComeOutInOrder)
{
    std::vector<std::uint8_t> bytes = MakeFrame(1, {1, 2});
    const std::vector<std::uint8_t> second = MakeFrame(5, {9});
    bytes.insert(bytes.end(), second.begin(), second.end());
    Feed(bytes);
    ASSERT_EQ(reader.Next(frame), CFrameReader::Result::Complete);
    EXPECT_EQ(frame.type, 1);
    EXPECT_EQ(frame.payload, (std::vector<std::uint8_t>{1, 2}));
    ASSERT_EQ(reader.Next(frame), CFrameReader::Result::Complete);
    EXPECT_EQ(frame.type, 5);
    EXPECT_EQ(frame.payload, (std::vector<std::uint8_t>{9}));
    EXPECT_EQ(reader.Next(frame), CFrameReader::Result::NeedMore);
    EXPECT_EQ(reader.Buffered(), 0u);
}

TEST_F(FrameReaderTest, HeaderOnlyFrameHasAnEmptyPayload)
{
    Feed(MakeFrame(7, {}));
    ASSERT_EQ(reader.Next(frame), CFrameReader::Result::Complete);
    EXPECT_EQ(frame.type, 7);
    EXPECT_TRUE(frame.payload.empty());
}

TEST_F(FrameReaderTest, LengthWordBelowHeaderSizeIsMalformed)
{
    for (const std::uint8_t length : {0, 1, 3}) {
        CFrameReader fresh;
        const std::uint8_t header[] = {length, 0, 1, 0};
        fresh.Feed(header, sizeof header);
        EXPECT_EQ(fresh.Next(frame), CFrameReader::Result::Malformed)
            << "length word " << int{length};
    }
}

TEST_F(FrameReaderTest, LargestFrameIsAccepted)
{
    const std::vector<std::uint8_t> payload(65531, 0x5a);
    Feed(MakeFrame(6, payload));
    ASSERT_EQ(reader.Next(frame), CFrameReader::Result::Complete);
    EXPECT_EQ(frame.payload.size(), 65531u);
}

TEST_F(FrameReaderTest, PartialSecondFrameWaitsForTheRest)
{
    std::vector<std::uint8_t> bytes = MakeFrame(1, {1});
    const std::vector<std::uint8_t> second = MakeFrame(3, {'x', 0});
    bytes.insert(bytes.end(), second.begin(), second.begin() + 3);
    Feed(bytes);
    ASSERT_EQ(reader.Next(frame), CFrameReader::Result::Complete);
    EXPECT_EQ(reader.Next(frame), CFrameReader::Result::NeedMore);
    reader.Feed(second.data() + 3, second.size() - 3);
    ASSERT_EQ(reader.Next(frame), CFrameReader::Result::Complete);
    EXPECT_EQ(frame.type, 3);
}

}  // namespace
