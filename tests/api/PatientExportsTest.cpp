#include "ExportsFixture.h"

#include "transport/MsgTypes.h"

#include <chrono>
#include <functional>
#include <thread>

namespace {

// Getter bound to a handle, in the (buffer, size) shape ReadText expects.
auto Text(decltype(&::GetModName) getter, std::uintptr_t handle)
{
    return [=](char* buffer, unsigned int* size) { return getter(handle, buffer, size); };
}

// A small patient whose name field holds `name`.
std::string NamedPatient(const std::string& name)
{
    return "<ROOT><P><Fields><Text><F FieldName=\"" + kNameField + "\" FieldValue=\"" + name +
           "\"/></Text></Fields><Modality Name=\"CT\"/></P></ROOT>";
}

}  // namespace

class PatientExportsTest : public ExportsTest {
protected:
    void Open(const std::string& text, size_t chunkSize = 4096)
    {
        ServePatient(text, chunkSize);
        ASSERT_EQ(ConnectToServer(), 1);
        ASSERT_EQ(lib->OpenPatient("H001"), 1);
    }
};

TEST_F(PatientExportsTest, BeforeAnyPatientTextsAreEmptyAndCountsZero)
{
    ASSERT_EQ(ConnectToServer(), 1);
    unsigned int size = 0;
    EXPECT_EQ(lib->GetPatientName(nullptr, &size), 1);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(lib->GetModalityCount(), 0);
    EXPECT_EQ(lib->GetModID(0), 0u);
}

TEST_F(PatientExportsTest, WalksModalitiesStudiesAndFields)
{
    Open(SamplePatient());
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].key, "HISID");
    EXPECT_EQ(requests[0].value, "H001");

    EXPECT_EQ(ReadText(lib->GetPatientName), kZhangSan);
    ASSERT_EQ(lib->GetModalityCount(), 2);
    const ModID ct = lib->GetModID(0);
    const ModID mr = lib->GetModID(1);
    EXPECT_EQ(ReadText(Text(lib->GetModName, ct)), "CT");
    EXPECT_EQ(ReadText(Text(lib->GetModName, mr)), "MR");
    ASSERT_EQ(lib->GetStudyCount(ct), 2);
    const StudyID head = lib->GetStudyID(ct, 0);
    EXPECT_EQ(ReadText(Text(lib->GetStudyName, head)), "Head & neck");
    ASSERT_EQ(lib->GetFieldCount(head), 2);
    const FieldID date = lib->GetFieldID(head, 0);
    const FieldID scan = lib->GetFieldID(head, 1);
    EXPECT_EQ(ReadText(Text(lib->GetFieldName, date)), "Date");
    EXPECT_EQ(ReadText(Text(lib->GetFieldData, date)), "2026-12-01");
    EXPECT_EQ(lib->GetFieldType(date), FIELD_TEXT);
    EXPECT_EQ(ReadText(Text(lib->GetFieldName, scan)), "Scan");
    EXPECT_EQ(ReadText(Text(lib->GetFieldData, scan)), "ct1.png");
    EXPECT_EQ(lib->GetFieldType(scan), FIELD_IMAGE);
}

TEST_F(PatientExportsTest, HandlesFollowTheTreeWideLookupRules)
{
    Open(SamplePatient());
    const ModID ct = lib->GetModID(0);
    const StudyID head = lib->GetStudyID(ct, 0);
    // A ModID works where a StudyID is expected, and not the other way round for names.
    EXPECT_EQ(ReadText(Text(lib->GetStudyName, ct)), "CT");
    EXPECT_EQ(ReadText(Text(lib->GetModName, head)), "");
    EXPECT_EQ(lib->GetFieldCount(ct), 0);
    // Out of range and unknown handles designate nothing.
    EXPECT_EQ(lib->GetModID(-1), 0u);
    EXPECT_EQ(lib->GetModID(2), 0u);
    EXPECT_EQ(lib->GetStudyID(ct, 2), 0u);
    EXPECT_EQ(lib->GetFieldID(head, 2), 0u);
    EXPECT_EQ(lib->GetFieldID(head, -1), 0u);
    EXPECT_EQ(lib->GetFieldType(0), 0);
    EXPECT_EQ(lib->GetStudyCount(12345), 0);
    EXPECT_EQ(ReadText(Text(lib->GetFieldData, 12345)), "");
}

TEST_F(PatientExportsTest, TextProtocolNeedsRoomForTheTerminator)
{
    Open(SamplePatient());
    const ModID ct = lib->GetModID(0);
    char buffer[8] = "xxxxxxx";
    unsigned int size = 0;
    EXPECT_EQ(lib->GetModName(ct, nullptr, &size), 1);
    EXPECT_EQ(size, 3u);  // "CT" and its NUL

    size = 2;  // L: too small
    EXPECT_EQ(lib->GetModName(ct, buffer, &size), 0);
    EXPECT_EQ(size, 2u);
    EXPECT_STREQ(buffer, "xxxxxxx");

    size = 3;  // L + 1: enough
    EXPECT_EQ(lib->GetModName(ct, buffer, &size), 1);
    EXPECT_EQ(size, 3u);
    EXPECT_STREQ(buffer, "CT");

    EXPECT_EQ(lib->GetModName(ct, buffer, nullptr), 0);
    EXPECT_EQ(lib->GetPatientName(nullptr, nullptr), 0);
}

TEST_F(PatientExportsTest, ReassemblesATextSentInManySmallChunks)
{
    Open(SamplePatient(), 7);
    EXPECT_EQ(ReadText(lib->GetPatientName), kZhangSan);
    EXPECT_EQ(lib->GetModalityCount(), 2);
}

TEST_F(PatientExportsTest, EmptyReplyLeavesAnEmptyDocumentNotThePreviousPatient)
{
    Open(SamplePatient());
    const ModID stale = lib->GetModID(0);
    ServePatient("");  // total 0
    EXPECT_EQ(lib->OpenPatient("H002"), 1);
    EXPECT_EQ(lib->GetModalityCount(), 0);
    EXPECT_EQ(ReadText(lib->GetPatientName), "");
    EXPECT_EQ(ReadText(Text(lib->GetModName, stale)), "");

    ServePatient(SamplePatient());
    ASSERT_EQ(lib->OpenPatient("H001"), 1);
    ASSERT_EQ(lib->GetModalityCount(), 2);
    // Only the end of a text arrives: it starts with a gap and so holds nothing.
    const std::string text = SamplePatient();
    server.SetHandler([text](const FakeRequest&) {
        return std::vector<FakeFrame>{
            FakeFrame::QueryReply(static_cast<std::int32_t>(text.size()), 10, text.substr(10))};
    });
    EXPECT_EQ(lib->OpenPatient("H003"), 1);
    EXPECT_EQ(lib->GetModalityCount(), 0);
    EXPECT_EQ(ReadText(lib->GetPatientName), "");
}

TEST_F(PatientExportsTest, LateReplyForAnEarlierPatientDoesNotAnswerTheNextOne)
{
    const std::string c = NamedPatient("Patient C");
    const std::string d = NamedPatient("Patient D");
    server.SetHandler([this, c, d](const FakeRequest& request) {
        if (request.value == "D") {
            // C's reply comes again, late, and D's own reply only after it.
            server.SendLater(QueryReplyChunks(d, 40, "D"), 300);
        }
        return QueryReplyChunks(c, 40, "C");
    });
    ASSERT_EQ(ConnectToServer(), 1);
    ASSERT_EQ(lib->OpenPatient("C"), 1);
    EXPECT_EQ(ReadText(lib->GetPatientName), "Patient C");
    ASSERT_EQ(lib->OpenPatient("D"), 1);
    EXPECT_EQ(ReadText(lib->GetPatientName), "Patient D");

    // C's reply keeps coming until the server sees the next query, so copies of it complete
    // after OpenPatient("D") has cleared its event and before the thread has sent D's query.
    server.SetHandler([c, d](const FakeRequest& request) {
        return request.value == "C" ? Repeating(QueryReplyChunks(c, 4096, "C"))
                                    : QueryReplyChunks(d, 40, "D");
    });
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(lib->OpenPatient("C"), 1) << round;
        ASSERT_EQ(lib->OpenPatient("D"), 1) << round;
        ASSERT_EQ(ReadText(lib->GetPatientName), "Patient D") << round;
    }

    // A reply naming an identifier never asked for, or none, is still taken.
    server.SetHandler([c](const FakeRequest&) { return QueryReplyChunks(c, 40, "other"); });
    ASSERT_EQ(lib->OpenPatient("E"), 1);
    EXPECT_EQ(ReadText(lib->GetPatientName), "Patient C");
}

TEST_F(PatientExportsTest, ReplyWithoutRootLeavesAnEmptyDocument)
{
    Open(SamplePatient());
    const ModID stale = lib->GetModID(0);
    ServePatient("<Other><Modality Name=\"CT\"/></Other>");
    EXPECT_EQ(lib->OpenPatient("H002"), 1);
    EXPECT_EQ(lib->GetModalityCount(), 0);
    EXPECT_EQ(ReadText(lib->GetPatientName), "");
    // A handle of the earlier document designates nothing now.
    EXPECT_EQ(ReadText(Text(lib->GetModName, stale)), "");
    EXPECT_EQ(lib->GetStudyCount(stale), 0);
}

TEST_F(PatientExportsTest, ChunksThatWouldLandOutsideTheTextAreDropped)
{
    const std::string text = SamplePatient();
    const auto total = static_cast<std::int32_t>(text.size());
    server.SetHandler([text, total](const FakeRequest&) {
        std::vector<FakeFrame> frames;
        frames.push_back(FakeFrame::QueryReply(total, -5, "<bad>"));
        frames.push_back(FakeFrame::QueryReply(total, total - 2, "<overflowing>"));
        frames.push_back(FakeFrame::QueryReply(-1, 0, "x"));
        // A reply of another size starts a new text.
        frames.push_back(FakeFrame::QueryReply(total + 100, 0, text.substr(0, 10)));
        for (auto& frame : QueryReplyChunks(text, 50))
            frames.push_back(frame);
        return frames;
    });
    ASSERT_EQ(ConnectToServer(), 1);
    ASSERT_EQ(lib->OpenPatient("H001"), 1);
    EXPECT_EQ(ReadText(lib->GetPatientName), kZhangSan);
    EXPECT_EQ(lib->GetModalityCount(), 2);
}

TEST_F(PatientExportsTest, NullIdentifierSendsNothingAndTimesOut)
{
    ServePatient(SamplePatient());
    ASSERT_EQ(ConnectToServer(), 1);
    EXPECT_EQ(lib->OpenPatient(nullptr), 0);
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(PatientExportsTest, LateReplyReplacesTheDocumentWhole)
{
    ServePatient(SamplePatient());
    ASSERT_EQ(ConnectToServer(), 1);
    ASSERT_EQ(lib->OpenPatient("H001"), 1);
    server.SetHandler(nullptr);  // the next query goes unanswered
    EXPECT_EQ(lib->OpenPatient("H002"), 0);
    // The previous document stays readable after the time-out.
    EXPECT_EQ(lib->GetModalityCount(), 2);

    const std::string other =
        "<ROOT><P><Modality Name=\"US\"/><Modality Name=\"DX\"/><Modality Name=\"XR\"/></P></ROOT>";
    server.Send(QueryReplyChunks(other, 5));
    // Readers see the old tree or the new one, never a mix.
    for (int i = 0; i < 2000; ++i) {
        const int count = lib->GetModalityCount();
        ASSERT_TRUE(count == 2 || count == 3) << count;
        const std::string name = ReadText(Text(lib->GetModName, lib->GetModID(0)));
        ASSERT_TRUE(name == "CT" || name == "US" || name == "") << name;
        if (count == 3 && name == "US")
            break;
    }
    ASSERT_TRUE(server.Flush(5000));
    for (int wait = 0; wait < 500 && lib->GetModalityCount() != 3; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(lib->GetModalityCount(), 3);
}
