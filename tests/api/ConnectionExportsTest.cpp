#include "ExportsFixture.h"
#include "LoopbackPort.h"
#include "ServerCloseArrived.h"

#include "transport/MsgTypes.h"

TEST_F(ExportsTest, EveryExportFailsWithoutTouchingBuffersWhenNotConnected)
{
    char text[8] = "keep";
    unsigned int size = 8;
    EXPECT_EQ(lib->OpenPatient("H001"), 0);
    EXPECT_EQ(lib->GetPatientName(text, &size), 0);
    EXPECT_EQ(lib->GetPatientName(nullptr, &size), 0);
    EXPECT_EQ(lib->GetModalityCount(), 0);
    EXPECT_EQ(lib->GetModID(0), 0u);
    EXPECT_EQ(lib->GetModName(1, text, &size), 0);
    EXPECT_EQ(lib->GetStudyCount(1), 0);
    EXPECT_EQ(lib->GetStudyID(1, 0), 0u);
    EXPECT_EQ(lib->GetStudyName(1, text, &size), 0);
    EXPECT_EQ(lib->GetFieldCount(1), 0);
    EXPECT_EQ(lib->GetFieldID(1, 0), 0u);
    EXPECT_EQ(lib->GetFieldName(1, text, &size), 0);
    EXPECT_EQ(lib->GetFieldType(1), 0);
    EXPECT_EQ(lib->GetFieldData(1, text, &size), 0);
    EXPECT_EQ(lib->GetThumbData("t", text, &size), 0);
    EXPECT_EQ(lib->GetImageData("i", nullptr, &size), 0);
    EXPECT_STREQ(text, "keep");
    EXPECT_EQ(size, 8u);
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(ExportsTest, ConnectToAPortWhereNothingListensFailsAndLeavesNoThread)
{
    EXPECT_EQ(lib->Connect("127.0.0.1", UnusedLoopbackPort()), 0);
    // No socket thread was left behind: the next Connect is not refused as "not closed".
    EXPECT_EQ(ConnectToServer(), 1);
}

TEST_F(ExportsTest, ConnectResolvesHostNames)
{
    EXPECT_EQ(lib->Connect("localhost", static_cast<int>(server.Port())), 1);
}

TEST_F(ExportsTest, SecondConnectIsRefusedAndTheFirstConnectionKeepsWorking)
{
    ServePatient(SamplePatient());
    ASSERT_EQ(ConnectToServer(), 1);
    EXPECT_EQ(ConnectToServer(), 0);
    EXPECT_EQ(lib->OpenPatient("H001"), 1);
    EXPECT_EQ(lib->GetModalityCount(), 2);
}

TEST_F(ExportsTest, ConnectDisconnectConnectWorksAndDisconnectTwiceIsHarmless)
{
    ServePatient(SamplePatient());
    lib->Disconnect();  // nothing to disconnect
    ASSERT_EQ(ConnectToServer(), 1);
    lib->Disconnect();
    lib->Disconnect();
    EXPECT_EQ(lib->GetModalityCount(), 0);
    ASSERT_EQ(ConnectToServer(), 1);
    EXPECT_EQ(lib->OpenPatient("H001"), 1);
    EXPECT_EQ(lib->GetModalityCount(), 2);
}

TEST_F(ExportsTest, AfterTheServerClosesConnectIsRefusedUntilDisconnect)
{
    const std::string patient = SamplePatient();
    const auto thumb = PatternBytes(300, 7);
    server.SetHandler([patient, thumb](const FakeRequest& request) {
        if (request.type == MSG_THUMB_REQUEST)
            return std::vector<FakeFrame>{FakeFrame::ThumbData(request.name, thumb)};
        return request.type == MSG_QUERY ? QueryReplyChunks(patient, 4096)
                                         : std::vector<FakeFrame>();
    });
    ASSERT_EQ(ConnectToServer(), 1);
    ASSERT_EQ(lib->OpenPatient("H001"), 1);
    bool ok = false;
    ASSERT_EQ(ReadBytes(lib->GetThumbData, "t", ok), thumb);
    server.CloseClients();
    ASSERT_TRUE(server.Flush(5000));
    ASSERT_TRUE(WaitUntilServerCloseArrived(server.Port()));
    // The held thumbnail comes back through the socket thread without the server: a round
    // trip through its loop, which serves the close, already there, first.
    ASSERT_EQ(ReadBytes(lib->GetThumbData, "t", ok), thumb);
    EXPECT_EQ(server.RequestCount(MSG_THUMB_REQUEST), 1u);

    EXPECT_EQ(ConnectToServer(), 0);
    // The document already loaded stays readable.
    EXPECT_EQ(lib->GetModalityCount(), 2);
    lib->Disconnect();
    EXPECT_EQ(ConnectToServer(), 1);
    EXPECT_EQ(lib->OpenPatient("H001"), 1);
}

TEST_F(ExportsTest, ManyConnectCyclesLeaveOneWorkingConnection)
{
    ServePatient(SamplePatient());
    for (int cycle = 0; cycle < 20; ++cycle) {
        ASSERT_EQ(ConnectToServer(), 1) << cycle;
        lib->Disconnect();
    }
    ASSERT_EQ(ConnectToServer(), 1);
    EXPECT_EQ(lib->OpenPatient("H001"), 1);
    EXPECT_EQ(server.RequestCount(MSG_QUERY), 1u);
}
