#include "ExportsFixture.h"

#include "transport/MsgTypes.h"

#include <algorithm>
#include <map>
#include <random>

namespace {

// Serves thumbnails and images by name from maps; a missing name gets nothing back.
class ServedFiles {
public:
    std::map<std::string, std::vector<FakeFrame>> thumbs;
    std::map<std::string, std::vector<FakeFrame>> images;

    CFakeServer::Handler Handler()
    {
        return [this](const FakeRequest& request) {
            auto& table = request.type == MSG_THUMB_REQUEST ? thumbs : images;
            auto found = table.find(request.name);
            return found != table.end() ? found->second : std::vector<FakeFrame>();
        };
    }
};

}  // namespace

class ByteExportsTest : public ExportsTest {
protected:
    void SetUp() override
    {
        ExportsTest::SetUp();
        server.SetHandler(served.Handler());
        ASSERT_EQ(ConnectToServer(), 1);
    }

    std::vector<unsigned char> Thumb(const char* name, bool& ok)
    {
        return ReadBytes(lib->GetThumbData, name, ok);
    }
    std::vector<unsigned char> Image(const char* name, bool& ok)
    {
        return ReadBytes(lib->GetImageData, name, ok);
    }

    ServedFiles served;
};

TEST_F(ByteExportsTest, ThumbnailSizeFirstThenBytesAsksTheServerOnce)
{
    const auto bytes = PatternBytes(3000, 1);
    served.thumbs["t1.png"] = {FakeFrame::ThumbData("t1.png", bytes)};

    unsigned int size = 0;
    ASSERT_EQ(lib->GetThumbData("t1.png", nullptr, &size), 1);
    EXPECT_EQ(size, 3000u);

    std::vector<unsigned char> small(2999, 0xEE);
    unsigned int room = 2999;
    EXPECT_EQ(lib->GetThumbData("t1.png", small.data(), &room), 0);
    EXPECT_EQ(room, 2999u);
    EXPECT_TRUE(std::all_of(small.begin(), small.end(), [](unsigned char b) { return b == 0xEE; }));

    std::vector<unsigned char> exact(3000);
    room = 3000;
    ASSERT_EQ(lib->GetThumbData("t1.png", exact.data(), &room), 1);
    EXPECT_EQ(room, 3000u);
    EXPECT_EQ(exact, bytes);
    EXPECT_EQ(server.RequestCount(MSG_THUMB_REQUEST), 1u);
    EXPECT_EQ(lib->GetThumbData("t1.png", exact.data(), nullptr), 0);
}

TEST_F(ByteExportsTest, ThumbnailOfOneByteCountsAsNoneAndIsAskedForAgain)
{
    served.thumbs["t1.png"] = {FakeFrame::ThumbData("t1.png", {0x42})};
    unsigned int size = 0;
    EXPECT_EQ(lib->GetThumbData("t1.png", nullptr, &size), 0);
    EXPECT_EQ(lib->GetThumbData("t1.png", nullptr, &size), 0);
    EXPECT_EQ(server.RequestCount(MSG_THUMB_REQUEST), 2u);
}

TEST_F(ByteExportsTest, SmallerThumbnailAfterALargerOneIsCopiedAtItsOwnSize)
{
    const auto large = PatternBytes(5000, 2);
    const auto small = PatternBytes(3000, 3);
    served.thumbs["a"] = {FakeFrame::ThumbData("a", large)};
    served.thumbs["b"] = {FakeFrame::ThumbData("b", small)};
    bool ok = false;
    EXPECT_EQ(Thumb("a", ok), large);
    EXPECT_TRUE(ok);
    EXPECT_EQ(Thumb("b", ok), small);
    EXPECT_TRUE(ok);
}

TEST_F(ByteExportsTest, ThumbnailReplyForAnotherNameIsIgnored)
{
    served.thumbs["a"] = {FakeFrame::ThumbData("zzz", PatternBytes(100, 4)),
                          FakeFrame::ThumbData("a", PatternBytes(200, 5))};
    bool ok = false;
    EXPECT_EQ(Thumb("a", ok), PatternBytes(200, 5));
    EXPECT_TRUE(ok);
}

TEST_F(ByteExportsTest, ImageChunksInAnyOrderAndRepeatedAssembleTheImage)
{
    const auto image = PatternBytes(200000, 6);
    served.images["reverse"] = ImageChunks("reverse", image, 6000);
    std::reverse(served.images["reverse"].begin(), served.images["reverse"].end());

    served.images["shuffle"] = ImageChunks("shuffle", image, 6000);
    std::mt19937 random(7);
    std::shuffle(served.images["shuffle"].begin(), served.images["shuffle"].end(), random);

    auto repeated = ImageChunks("repeat", image, 6000);
    repeated.insert(repeated.begin() + 5, repeated.begin(), repeated.begin() + 10);
    served.images["repeat"] = repeated;

    for (const char* name : {"reverse", "shuffle", "repeat"}) {
        bool ok = false;
        EXPECT_EQ(Image(name, ok), image) << name;
        EXPECT_TRUE(ok) << name;
    }
    EXPECT_EQ(server.RequestCount(MSG_IMAGE_REQUEST), 3u);
    const auto requests = server.Requests();
    EXPECT_EQ(requests[0].param1, 0);
    EXPECT_EQ(requests[0].param2, 255);
    EXPECT_EQ(requests[0].param3, 128);
}

TEST_F(ByteExportsTest, ImageChunksOutsideTheImageOrEmptyAreIgnored)
{
    const auto image = PatternBytes(10000, 8);
    const auto total = static_cast<std::int32_t>(image.size());
    std::vector<FakeFrame> frames;
    frames.push_back(FakeFrame::ImageData("img", total, -10, PatternBytes(10, 9)));
    frames.push_back(FakeFrame::ImageData("img", total, total - 5, PatternBytes(10, 9)));
    frames.push_back(FakeFrame::ImageData("img", total, 0, {}));  // a gap, not progress
    frames.push_back(FakeFrame::ImageData("other", total, 0, image));
    for (auto& frame : ImageChunks("img", image, 3000))
        frames.push_back(frame);
    served.images["img"] = frames;
    bool ok = false;
    EXPECT_EQ(Image("img", ok), image);
    EXPECT_TRUE(ok);
}

TEST_F(ByteExportsTest, ImageLargerThanOneFrameUsesManyChunks)
{
    const auto image = PatternBytes(3 * 1024 * 1024 + 17, 10);
    served.images["big"] = ImageChunks("big", image, 65000);
    bool ok = false;
    EXPECT_EQ(Image("big", ok), image);
    EXPECT_TRUE(ok);
    EXPECT_EQ(server.RequestCount(MSG_IMAGE_REQUEST), 1u);
}

TEST_F(ByteExportsTest, BytesStillArrivingForTheLastNameNeverAnswerTheNextName)
{
    // Once "x" is complete the server keeps sending it until the next request arrives, so
    // its bytes keep landing after the export has cleared its event and before the socket
    // thread has taken the request for "y".
    const auto xThumb = PatternBytes(300, 21);
    const auto yThumb = PatternBytes(500, 22);
    const auto xImage = PatternBytes(3000, 23);
    const auto yImage = PatternBytes(5000, 24);
    served.thumbs["x"] = Repeating({FakeFrame::ThumbData("x", xThumb)});
    served.thumbs["y"] = {FakeFrame::ThumbData("y", yThumb)};
    served.images["x"] = Repeating(ImageChunks("x", xImage, 1000));
    served.images["y"] = ImageChunks("y", yImage, 1000);
    for (int round = 0; round < 20; ++round) {
        bool ok = false;
        ASSERT_EQ(Thumb("x", ok), xThumb) << round;
        ASSERT_EQ(Thumb("y", ok), yThumb) << round;
        ASSERT_TRUE(ok) << round;
    }
    for (int round = 0; round < 20; ++round) {
        bool ok = false;
        ASSERT_EQ(Image("x", ok), xImage) << round;
        ASSERT_EQ(Image("y", ok), yImage) << round;
        ASSERT_TRUE(ok) << round;
    }
}
