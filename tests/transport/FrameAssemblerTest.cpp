#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "WireMessages.h"
#include "transport/FrameAssembler.h"
#include "transport/FrameEncoder.h"
#include "transport/MsgTypes.h"

namespace {

// Drives the assembler the way the socket does: one read per step, of the bytes the frame
// still lacks and no more than are queued.
class FrameAssemblerTest : public ::testing::Test {
protected:
    struct Delivered {
        std::uint16_t type;
        Bytes payload;
        int step;
    };

    void Queue(const Bytes& bytes) { m_queued.insert(m_queued.end(), bytes.begin(), bytes.end()); }

    // One read step; false when nothing was queued.
    bool Step()
    {
        if (m_queued.empty())
            return false;
        ++m_nSteps;
        EXPECT_TRUE(m_frames.Reserve());
        const std::int32_t missing = m_frames.Missing();
        m_asked.push_back(missing);
        if (missing <= 0) {
            m_bBroken = true;
            return true;
        }
        const size_t count = std::min(m_queued.size(), static_cast<size_t>(missing));
        std::memcpy(m_frames.Space(), m_queued.data(), count);
        m_queued.erase(m_queued.begin(), m_queued.begin() + static_cast<long>(count));
        switch (m_frames.Commit(static_cast<std::int32_t>(count))) {
        case CFrameAssembler::Result::Partial: break;
        case CFrameAssembler::Result::Broken: m_bBroken = true; break;
        case CFrameAssembler::Result::Complete:
            m_delivered.push_back(
                Delivered{m_frames.Type(),
                          Bytes(m_frames.Payload(), m_frames.Payload() + m_frames.PayloadLength()),
                          m_nSteps});
            m_frames.Drop();
            break;
        }
        return true;
    }

    void StepAll()
    {
        while (!m_bBroken && Step()) {}
    }

    CFrameAssembler m_frames;
    Bytes m_queued;
    std::vector<std::int32_t> m_asked;
    std::vector<Delivered> m_delivered;
    int m_nSteps = 0;
    bool m_bBroken = false;
};

TEST_F(FrameAssemblerTest, AsksForTheRestOfTheHeaderThenTheRestOfTheFrameAndNoMore)
{
    const Bytes first = Frame(MSG_THUMB_REQUEST, Bytes{'n', 'a', 'm', 'e', 0});
    const Bytes second = Frame(MSG_THUMB_REQUEST, Bytes{'n', 'e', 'x', 't', 0});
    for (int i = 0; i < 3; ++i) {
        Queue(Bytes{first[static_cast<size_t>(i)]});
        ASSERT_TRUE(Step());
        EXPECT_EQ(m_frames.Collected(), i + 1);
    }
    // The last header byte comes with the body and the whole next frame behind it.
    Queue(Bytes(first.begin() + 3, first.end()));
    Queue(second);
    StepAll();

    EXPECT_EQ(m_asked, (std::vector<std::int32_t>{4, 3, 2, 1, 5, 4, 5}));
    ASSERT_EQ(m_delivered.size(), 2u);
    EXPECT_EQ(m_delivered[0].payload, (Bytes{'n', 'a', 'm', 'e', 0}));
    EXPECT_EQ(m_delivered[0].step, 5);
    EXPECT_EQ(m_delivered[1].payload, (Bytes{'n', 'e', 'x', 't', 0}));
    EXPECT_EQ(m_delivered[1].step, 7);
    EXPECT_EQ(m_frames.Collected(), 0);
}

TEST_F(FrameAssemblerTest, LengthFourFrameIsCompleteWithItsHeader)
{
    Queue(Bytes{4, 0, 9, 0});
    ASSERT_TRUE(Step());
    ASSERT_EQ(m_delivered.size(), 1u);
    EXPECT_EQ(m_delivered[0].type, 9);
    EXPECT_TRUE(m_delivered[0].payload.empty());
}

TEST_F(FrameAssemblerTest, LengthWordBelowFourIsBrokenAndAsksForNothingMore)
{
    for (std::uint16_t lengthWord : {std::uint16_t{0}, std::uint16_t{1}, std::uint16_t{3}}) {
        CFrameAssembler frames;
        ASSERT_TRUE(frames.Reserve());
        const unsigned char header[4] = {static_cast<unsigned char>(lengthWord), 0, 1, 0};
        std::memcpy(frames.Space(), header, 4);
        EXPECT_EQ(frames.Commit(4), CFrameAssembler::Result::Broken) << lengthWord;
        EXPECT_LE(frames.Missing(), 0) << lengthWord;
        // Dropped, it starts on a fresh header.
        frames.Drop();
        EXPECT_EQ(frames.Missing(), 4);
    }
}

TEST_F(FrameAssemblerTest, BufferGrowsToTheLargestFrameKeepsItsHeaderAndIsReused)
{
    Queue(Frame(MSG_THUMB_DATA, Pattern(200, 1)));
    Queue(Frame(MSG_THUMB_DATA, Pattern(20, 2)));
    Queue(Frame(MSG_THUMB_DATA, Pattern(300, 3)));
    Queue(RawFrame(0xFFFF, MSG_IMAGE_DATA, Pattern(kMsgMaxPayload, 4)));
    std::vector<std::int32_t> capacities;
    while (Step())
        capacities.push_back(m_frames.Capacity());
    ASSERT_EQ(m_delivered.size(), 4u);
    EXPECT_EQ(m_delivered[0].payload, Pattern(200, 1));
    EXPECT_EQ(m_delivered[1].payload, Pattern(20, 2));
    EXPECT_EQ(m_delivered[2].type, MSG_THUMB_DATA);
    EXPECT_EQ(m_delivered[2].payload, Pattern(300, 3));
    EXPECT_EQ(m_delivered[3].type, MSG_IMAGE_DATA);
    EXPECT_EQ(m_delivered[3].payload, Pattern(kMsgMaxPayload, 4));
    // Header steps use the 4-byte start; each body step holds exactly the largest frame so far.
    EXPECT_EQ(capacities, (std::vector<std::int32_t>{4, 204, 204, 204, 204, 304, 304, 0xFFFF}));
}

TEST_F(FrameAssemblerTest, DropForgetsAPartialFrame)
{
    Queue(Frame(MSG_QUERY, Bytes{'a', 0, 'b', 0}));
    ASSERT_TRUE(Step());  // the header only
    m_queued.clear();
    EXPECT_EQ(m_frames.Collected(), 4);
    m_frames.Drop();
    EXPECT_EQ(m_frames.Collected(), 0);
    Queue(Frame(MSG_QUERY, Bytes{'c', 0, 'd', 0}));
    StepAll();
    ASSERT_EQ(m_delivered.size(), 1u);
    EXPECT_EQ(m_delivered[0].payload, (Bytes{'c', 0, 'd', 0}));
}

// The send side: one frame in a block that grows to the largest frame and is reused.
TEST(FrameEncoderTest, FrameIsLengthTypeAndPayloadInABlockGrownOnlyWhenTooSmall)
{
    CGrowBuffer block;
    const Bytes big = Pattern(kMsgMaxPayload, 5);

    ASSERT_TRUE(EncodeFrame(block, MSG_THUMB_DATA, big.data(), 100));
    EXPECT_EQ(block.Capacity(), 104u);
    EXPECT_EQ(Bytes(block.Data(), block.Data() + 104),
              RawFrame(104, MSG_THUMB_DATA, Bytes(big.begin(), big.begin() + 100)));
    const unsigned char* const first = block.Data();
    ASSERT_TRUE(EncodeFrame(block, MSG_QUERY, big.data(), 10));
    EXPECT_EQ(block.Capacity(), 104u);
    EXPECT_EQ(block.Data(), first);
    EXPECT_EQ(Bytes(block.Data(), block.Data() + 14),
              RawFrame(14, MSG_QUERY, Bytes(big.begin(), big.begin() + 10)));

    const unsigned char none = 0;
    ASSERT_TRUE(EncodeFrame(block, 7, &none, 0));
    EXPECT_EQ(Bytes(block.Data(), block.Data() + 4), (Bytes{4, 0, 7, 0}));

    ASSERT_TRUE(EncodeFrame(block, MSG_IMAGE_DATA, big.data(), kMsgMaxPayload));
    EXPECT_EQ(block.Capacity(), 0xFFFFu);
    EXPECT_EQ(Bytes(block.Data(), block.Data() + 0xFFFF), RawFrame(0xFFFF, MSG_IMAGE_DATA, big));
}

}  // namespace
