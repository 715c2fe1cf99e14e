// The sample server's deliberate faults, frame by frame: each breaks exactly what it names.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "FaultJob.h"
#include "MessageCodec.h"
#include "ServerOptions.h"
#include "SingleFrameJob.h"
#include "WireFormat.h"

namespace korv::server {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes QueryReplyFrame(std::int32_t total, std::int32_t offset, const std::string& text)
{
    Bytes frame;
    AppendQueryReply(frame, "HISID", "P1", total, offset,
                     reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    return frame;
}

Bytes ImageFrame(std::int32_t total, std::int32_t offset, const Bytes& bytes)
{
    Request request;
    request.name = "img";
    request.param2 = 255;
    Bytes frame;
    AppendImageData(frame, request, total, offset, bytes.data(), bytes.size());
    return frame;
}

Bytes ThumbFrame(const Bytes& bytes)
{
    Bytes frame;
    AppendThumbData(frame, "th", bytes.data(), bytes.size());
    return frame;
}

// Every frame the faulty job writes for the given frames, and whether it ended the connection.
struct Output {
    Bytes bytes;
    bool ends = false;
};

Output RunFault(ServerFault fault, const std::vector<Bytes>& frames)
{
    class CFrames : public CReplyJob {
    public:
        explicit CFrames(std::vector<Bytes> frames) : m_frames(std::move(frames)) {}
        bool Done() const override { return m_next >= m_frames.size(); }
        void AppendNextFrame(Bytes& out) override
        {
            out.insert(out.end(), m_frames[m_next].begin(), m_frames[m_next].end());
            ++m_next;
        }

    private:
        std::vector<Bytes> m_frames;
        std::size_t m_next = 0;
    };
    CFaultJob job(std::make_unique<CFrames>(frames), fault);
    Output output;
    while (!job.Done()) {
        job.AppendNextFrame(output.bytes);
    }
    output.ends = job.EndsConnection();
    return output;
}

std::uint16_t LengthWord(const Bytes& frame, std::size_t at = 0)
{
    return GetU16(frame.data() + at);
}

TEST(FaultJobTest, CloseFaultsCutTheirOwnReplyInHalfAndEndTheConnection)
{
    const Bytes text = QueryReplyFrame(5, 0, "<a/>x");
    Output cut = RunFault(ServerFault::CloseMidText, {text});
    EXPECT_TRUE(cut.ends);
    EXPECT_EQ(cut.bytes,
              Bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(text.size() / 2)));

    // An image keeps its first frame whole and loses the second halfway.
    const Bytes first = ImageFrame(8, 0, Bytes(4, 1));
    const Bytes second = ImageFrame(8, 4, Bytes(4, 2));
    Output image =
        RunFault(ServerFault::CloseMidImage, {first, second, ImageFrame(8, 4, Bytes(4, 3))});
    EXPECT_TRUE(image.ends);
    ASSERT_EQ(image.bytes.size(), first.size() + second.size() / 2);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), image.bytes.begin()));

    // Each leaves the other kind of reply alone.
    Output untouched = RunFault(ServerFault::CloseMidImage, {text});
    EXPECT_FALSE(untouched.ends);
    EXPECT_EQ(untouched.bytes, text);
}

TEST(FaultJobTest, GarbageFaultsBreakFramingStringsAndFields)
{
    const Bytes thumb = ThumbFrame(Bytes{0, 1, 0, 2});
    Bytes shortLength = RunFault(ServerFault::GarbageShortLength, {thumb}).bytes;
    EXPECT_EQ(LengthWord(shortLength), 2);

    Bytes noNul = RunFault(ServerFault::GarbageNoNul, {thumb}).bytes;
    ASSERT_EQ(noNul.size(), thumb.size());
    EXPECT_EQ(std::count(noNul.begin() + 4, noNul.end(), 0), 0);

    // Name "th\0" then one byte of the two-byte length.
    Bytes cut = RunFault(ServerFault::GarbageCutFields, {thumb}).bytes;
    EXPECT_EQ(cut.size(), 4u + 3u + 1u);
    EXPECT_EQ(LengthWord(cut), cut.size());
    Bytes cutImage = RunFault(ServerFault::GarbageCutFields, {ImageFrame(8, 0, Bytes(8, 1))}).bytes;
    EXPECT_EQ(cutImage.size(), 4u + 4u + 6u);
    EXPECT_EQ(LengthWord(cutImage), cutImage.size());
}

TEST(FaultJobTest, LyingFaultsChangeOnlyTotalOrOffset)
{
    const Bytes text = QueryReplyFrame(5, 0, "<a/>x");
    const std::size_t textFixed = 4 + 6 + 3;  // header, "HISID\0", "P1\0"
    Bytes total = RunFault(ServerFault::LyingTotal, {text}).bytes;
    EXPECT_EQ(GetI32(total.data() + textFixed), 11);
    EXPECT_EQ(GetI32(total.data() + textFixed + 4), 0);

    const Bytes image = ImageFrame(8, 4, Bytes(4, 1));
    const std::size_t imageFixed = 4 + 4 + 12;  // header, "img\0", three params
    Bytes offset = RunFault(ServerFault::LyingOffset, {image}).bytes;
    EXPECT_EQ(GetI32(offset.data() + imageFixed), 8);
    EXPECT_EQ(GetI32(offset.data() + imageFixed + 4), 5);
    Bytes imageTotal = RunFault(ServerFault::LyingTotal, {image}).bytes;
    EXPECT_EQ(GetI32(imageTotal.data() + imageFixed), 9);
}

TEST(FaultJobTest, ZeroLengthChunksPrecedeRealOnesAndEmptyThumbnails)
{
    const Bytes image = ImageFrame(8, 4, Bytes(4, 1));
    Bytes out = RunFault(ServerFault::ZeroLengthChunk, {image}).bytes;
    const Bytes empty = ImageFrame(8, 4, {});
    ASSERT_EQ(out.size(), empty.size() + image.size());
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(empty.size())), empty);
    EXPECT_EQ(Bytes(out.begin() + static_cast<std::ptrdiff_t>(empty.size()), out.end()), image);

    const Bytes text = QueryReplyFrame(5, 0, "<a/>x");
    Bytes textOut = RunFault(ServerFault::ZeroLengthChunk, {text}).bytes;
    const Bytes emptyText = QueryReplyFrame(5, 0, "");
    EXPECT_EQ(
        Bytes(textOut.begin(), textOut.begin() + static_cast<std::ptrdiff_t>(emptyText.size())),
        emptyText);

    EXPECT_EQ(RunFault(ServerFault::ZeroLengthChunk, {ThumbFrame(Bytes(5, 9))}).bytes,
              ThumbFrame({}));
}

TEST(FaultJobTest, OtherNameRenamesDataRepliesOnly)
{
    Bytes thumb = RunFault(ServerFault::OtherName, {ThumbFrame(Bytes(3, 1))}).bytes;
    ASSERT_EQ(thumb.size(), ThumbFrame(Bytes(3, 1)).size());
    EXPECT_NE(std::string(reinterpret_cast<const char*>(thumb.data() + 4)), "th");
    const Bytes text = QueryReplyFrame(5, 0, "<a/>x");
    EXPECT_EQ(RunFault(ServerFault::OtherName, {text}).bytes, text);
}

TEST(FaultJobTest, FaultNamesParseAndLateRepliesWaitPastTheClientsShortestWait)
{
    ServerOptions options;
    std::string error;
    ASSERT_TRUE(CServerOptions::Parse({"--data", "d", "--fault", "late-reply"}, options, error))
        << error;
    EXPECT_EQ(options.fault, ServerFault::LateReply);
    EXPECT_GT(options.delayMs, 5000);

    ServerOptions given;
    ASSERT_TRUE(CServerOptions::Parse({"--data", "d", "--delay-ms", "10", "--fault", "late-reply"},
                                      given, error));
    EXPECT_EQ(given.delayMs, 10);

    ServerOptions plain;
    ASSERT_TRUE(CServerOptions::Parse({"--data", "d"}, plain, error));
    EXPECT_EQ(plain.fault, ServerFault::None);
    EXPECT_FALSE(CServerOptions::Parse({"--data", "d", "--fault", "flood"}, plain, error));
    EXPECT_NE(error.find("flood"), std::string::npos);
    EXPECT_FALSE(CServerOptions::Parse({"--data", "d", "--fault"}, plain, error));
}

}  // namespace
}  // namespace korv::server
