// Each fault of the sample server against the exports: no crash, nothing wrong reported as
// valid, every call back within its time-out, and a working library afterwards.
#include "FaultFixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST_F(FaultTest, ConnectionClosedInsideTextReply)
{
    ConnectToFaulty("close-mid-text");
    EXPECT_EQ(OpenPatient(), 0);
    ExpectNoDocument();
    // The connection is gone: a fetch is refused or runs out, it never hangs.
    Bytes bytes;
    EXPECT_FALSE(FetchThumb(bytes));
    ExpectRecovers();
}

TEST_F(FaultTest, ConnectionClosedInsideImageReply)
{
    ConnectToFaulty("close-mid-image");
    EXPECT_EQ(OpenPatient(), 1);
    EXPECT_EQ(s_session->ReadPatientName(), korv::test::CHostSession::PatientName());
    Bytes bytes;
    EXPECT_FALSE(FetchImage(bytes));
    EXPECT_TRUE(bytes.empty());
    // The document loaded before the close stays readable.
    EXPECT_EQ(s_session->WalkDocument(), 2);
    ExpectRecovers();
}

TEST_F(FaultTest, ServerThatNeverAnswers)
{
    ConnectToFaulty("stall");
    EXPECT_EQ(OpenPatient(), 0);
    ExpectNoDocument();
    Bytes bytes;
    EXPECT_FALSE(FetchThumb(bytes));
    EXPECT_FALSE(FetchImage(bytes));
    ExpectRecovers();
}

TEST_F(FaultTest, FrameLengthBelowHeader)
{
    ConnectToFaulty("garbage-short-length");
    EXPECT_EQ(OpenPatient(), 0);
    ExpectNoDocument();
    ExpectRecovers();
}

TEST_F(FaultTest, StringsWithoutTerminator)
{
    ConnectToFaulty("garbage-no-nul");
    EXPECT_EQ(OpenPatient(), 0);
    ExpectNoDocument();
    Bytes bytes;
    EXPECT_FALSE(FetchThumb(bytes));
    ExpectRecovers();
}

TEST_F(FaultTest, FixedFieldsCutShort)
{
    ConnectToFaulty("garbage-cut-fields");
    Bytes bytes;
    EXPECT_FALSE(FetchThumb(bytes));
    EXPECT_FALSE(FetchImage(bytes));
    EXPECT_TRUE(bytes.empty());
    ExpectRecovers();
}

TEST_F(FaultTest, TotalsTheChunksNeverReach)
{
    ConnectToFaulty("lying-total");
    EXPECT_EQ(OpenPatient(), 0);
    ExpectNoDocument();
    Bytes bytes;
    EXPECT_FALSE(FetchImage(bytes));
    ExpectRecovers();
}

TEST_F(FaultTest, OffsetsOnePastTheTruth)
{
    ConnectToFaulty("lying-offset");
    EXPECT_EQ(OpenPatient(), 0);
    ExpectNoDocument();
    Bytes bytes;
    EXPECT_FALSE(FetchImage(bytes));
    ExpectRecovers();
}

TEST_F(FaultTest, EmptyChunksBetweenRealOnes)
{
    ConnectToFaulty("zero-length-chunk");
    // Empty text and image chunks change nothing; an empty thumbnail means there is none.
    EXPECT_EQ(OpenPatient(), 1);
    EXPECT_EQ(s_session->ReadPatientName(), korv::test::CHostSession::PatientName());
    Bytes bytes;
    EXPECT_TRUE(FetchImage(bytes));
    EXPECT_EQ(bytes, s_session->ImageBytes());
    EXPECT_FALSE(FetchThumb(bytes));
    ExpectRecovers();
}

TEST_F(FaultTest, RepliesForNamesNotAskedFor)
{
    ConnectToFaulty("other-name");
    Bytes bytes;
    EXPECT_FALSE(FetchThumb(bytes));
    EXPECT_FALSE(FetchImage(bytes));
    EXPECT_TRUE(bytes.empty());
    ExpectRecovers();
}

TEST_F(FaultTest, RepliesAfterTheLibraryGaveUp)
{
    // Each reply frame 6.5 s after the last: the thumbnail's comes 1.5 s after its 5 s wait
    // has ended, the patient's (queued behind it) 2 s before its 10 s wait would; the
    // server's default of 5.5 s would leave the first margin at half a second of a busy
    // machine's scheduling.
    ConnectToFaulty("late-reply", {"--delay-ms", "6500"});
    Bytes bytes;
    EXPECT_FALSE(FetchThumb(bytes));
    // The thumbnail's reply lands while the patient is awaited; it is the right thumbnail,
    // so the next fetch may be answered from it, but never with other bytes.
    EXPECT_EQ(OpenPatient(), 1);
    EXPECT_EQ(s_session->ReadPatientName(), korv::test::CHostSession::PatientName());
    if (FetchThumb(bytes)) {
        EXPECT_EQ(bytes, s_session->ThumbBytes());
    }
    ExpectRecovers();
}

}  // namespace
