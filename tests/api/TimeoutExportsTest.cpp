// The cases that wait out the fixed time-outs (5 s for thumbnails, 10 s otherwise).
#include "ExportsFixture.h"

#include "transport/MsgTypes.h"

class TimeoutExportsTest : public ExportsTest {
protected:
    void SetUp() override
    {
        ExportsTest::SetUp();
        ASSERT_EQ(ConnectToServer(), 1);
    }
};

TEST_F(TimeoutExportsTest, UnansweredThumbnailIsAskedForAgainNotAnsweredFromTheCache)
{
    const auto bytes = PatternBytes(700, 11);
    unsigned int size = 0;
    EXPECT_EQ(lib->GetThumbData("slow", nullptr, &size), 0);  // no answer within 5 s

    server.SetHandler([bytes](const FakeRequest& request) {
        return std::vector<FakeFrame>{FakeFrame::ThumbData(request.name, bytes)};
    });
    ASSERT_EQ(lib->GetThumbData("slow", nullptr, &size), 1);
    EXPECT_EQ(size, 700u);
    EXPECT_EQ(server.RequestCount(MSG_THUMB_REQUEST), 2u);
}

TEST_F(TimeoutExportsTest, PartlyReceivedImageIsNeverReportedAsValid)
{
    const auto image = PatternBytes(50000, 12);
    auto chunks = ImageChunks("part", image, 5000);
    server.SetHandler([chunks](const FakeRequest&) {
        return std::vector<FakeFrame>(chunks.begin(), chunks.begin() + 4);
    });
    unsigned int size = 0;
    EXPECT_EQ(lib->GetImageData("part", nullptr, &size), 0);

    server.SetHandler([chunks](const FakeRequest&) { return chunks; });
    std::vector<unsigned char> out(image.size());
    size = static_cast<unsigned int>(out.size());
    ASSERT_EQ(lib->GetImageData("part", out.data(), &size), 1);
    EXPECT_EQ(out, image);
    EXPECT_EQ(server.RequestCount(MSG_IMAGE_REQUEST), 2u);
}

TEST_F(TimeoutExportsTest, MissingImageFailsWhenTheWaitRunsOut)
{
    server.SetHandler([](const FakeRequest& request) {
        return std::vector<FakeFrame>{FakeFrame::ImageData(request.name, 1, 0, {0x01})};
    });
    unsigned int size = 0;
    EXPECT_EQ(lib->GetImageData("none", nullptr, &size), 0);
    EXPECT_EQ(server.RequestCount(MSG_IMAGE_REQUEST), 1u);
}

TEST_F(TimeoutExportsTest, LateThumbnailForTheCurrentNameIsKeptForTheNextCall)
{
    const auto bytes = PatternBytes(400, 13);
    unsigned int size = 0;
    EXPECT_EQ(lib->GetThumbData("late", nullptr, &size), 0);
    server.Send({FakeFrame::ThumbData("late", bytes)});
    ASSERT_TRUE(server.Flush(5000));

    bool ok = false;
    // Whether the late reply or a new one answers, the bytes belong to "late".
    server.SetHandler([bytes](const FakeRequest& request) {
        return std::vector<FakeFrame>{FakeFrame::ThumbData(request.name, bytes)};
    });
    EXPECT_EQ(ReadBytes(lib->GetThumbData, "late", ok), bytes);
    EXPECT_TRUE(ok);
}

TEST_F(TimeoutExportsTest, HalfATextLeftByATimedOutRequestIsNotCompletedByTheNextReply)
{
    // Two texts of one length that differ only in the name, near the start.
    const std::string c = "<ROOT><P><Fields><Text><F FieldName=\"" + kNameField +
                          "\" FieldValue=\"Patient C\"/></Text></Fields>"
                          "<Modality Name=\"CT\"/></P></ROOT>";
    std::string d = c;
    d.replace(d.find("Patient C"), 9, "Patient D");
    const auto total = static_cast<std::int32_t>(c.size());
    const size_t half = c.size() / 2;
    ASSERT_LT(c.find("Patient C"), half);
    server.SetHandler([c, d, total, half](const FakeRequest& request) {
        if (request.value == "C")  // the first half only, then nothing
            return std::vector<FakeFrame>{FakeFrame::QueryReply(total, 0, c.substr(0, half), "C")};
        return std::vector<FakeFrame>{
            FakeFrame::QueryReply(total, static_cast<std::int32_t>(half), d.substr(half), "D")};
    });
    EXPECT_EQ(lib->OpenPatient("C"), 0);
    // D's reply alone starts with a gap: an empty document, never C's half completed.
    EXPECT_EQ(lib->OpenPatient("D"), 1);
    unsigned int size = 0;
    EXPECT_EQ(lib->GetPatientName(nullptr, &size), 1);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(lib->GetModalityCount(), 0);
}

TEST_F(TimeoutExportsTest, RepeatedRequestForTheSamePatientLetsItsSlowReplyComplete)
{
    const std::string text = SamplePatient();
    const auto total = static_cast<std::int32_t>(text.size());
    const size_t half = text.size() / 2;
    server.SetHandler([text, total, half](const FakeRequest&) {
        return std::vector<FakeFrame>{FakeFrame::QueryReply(total, 0, text.substr(0, half), "C")};
    });
    EXPECT_EQ(lib->OpenPatient("C"), 0);
    // The rest of the first reply comes while the host asks again.
    server.SetHandler([text, total, half](const FakeRequest&) {
        return std::vector<FakeFrame>{
            FakeFrame::QueryReply(total, static_cast<std::int32_t>(half), text.substr(half), "C")};
    });
    ASSERT_EQ(lib->OpenPatient("C"), 1);
    EXPECT_EQ(ReadText(lib->GetPatientName), kZhangSan);
    EXPECT_EQ(lib->GetModalityCount(), 2);
}
