#include "FaultFixture.h"

using korv::test::CHostSession;
using korv::test::CServerProcess;
using korv::test::TimeOf;

std::unique_ptr<CHostSession> FaultTest::s_session;
std::unique_ptr<CServerProcess> FaultTest::s_healthy;

void FaultTest::SetUpTestSuite()
{
    s_session = std::make_unique<CHostSession>();
    s_healthy = std::make_unique<CServerProcess>();
    ASSERT_TRUE(s_healthy->Start(s_session->DataDir(), {"--chunk-size", "4096"}));
}

void FaultTest::TearDownTestSuite()
{
    s_healthy.reset();
    s_session.reset();
}

void FaultTest::TearDown()
{
    if (lib != nullptr)
        lib->Disconnect();
    m_faulty.Stop();
}

void FaultTest::ConnectToFaulty(const std::string& fault, const std::vector<std::string>& options)
{
    ASSERT_NE(s_session, nullptr);
    lib = s_session->Library();
    ASSERT_NE(lib, nullptr) << "client library not loaded";
    std::vector<std::string> arguments{"--fault", fault, "--chunk-size", "4096"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    ASSERT_TRUE(m_faulty.Start(s_session->DataDir(), arguments));
    int connected = 0;
    EXPECT_LE(TimeOf([&] { connected = lib->Connect("127.0.0.1", m_faulty.Port()); }),
              korv::test::kConnectBound);
    ASSERT_EQ(connected, 1);
}

int FaultTest::OpenPatient()
{
    int result = 0;
    EXPECT_LE(TimeOf([&] { result = lib->OpenPatient(CHostSession::kPatientId); }),
              korv::test::kPatientBound);
    return result;
}

bool FaultTest::FetchThumb(std::vector<std::uint8_t>& bytes)
{
    bool ok = false;
    EXPECT_LE(TimeOf([&] {
                  bytes = s_session->ReadBytes(lib->GetThumbData, CHostSession::kThumbName, ok);
              }),
              korv::test::kThumbBound);
    return ok;
}

bool FaultTest::FetchImage(std::vector<std::uint8_t>& bytes)
{
    bool ok = false;
    EXPECT_LE(TimeOf([&] {
                  bytes = s_session->ReadBytes(lib->GetImageData, CHostSession::kImageName, ok);
              }),
              korv::test::kImageBound);
    return ok;
}

void FaultTest::ExpectNoDocument()
{
    EXPECT_LE(TimeOf([&] {
                  EXPECT_EQ(lib->GetModalityCount(), 0);
                  EXPECT_EQ(lib->GetModID(0), 0u);
                  const std::string name = s_session->ReadPatientName();
                  EXPECT_TRUE(name.empty() || name == "<fail>") << name;
              }),
              korv::test::kGetterBound);
}

void FaultTest::ExpectRecovers()
{
    EXPECT_LE(TimeOf([&] { lib->Disconnect(); }), korv::test::kConnectBound);
    ASSERT_EQ(lib->Connect("127.0.0.1", s_healthy->Port()), 1);
    EXPECT_EQ(OpenPatient(), 1);
    EXPECT_EQ(s_session->ReadPatientName(), CHostSession::PatientName());
    EXPECT_EQ(s_session->WalkDocument(), 2);
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(FetchThumb(bytes));
    EXPECT_EQ(bytes, s_session->ThumbBytes());
    EXPECT_TRUE(FetchImage(bytes));
    EXPECT_EQ(bytes, s_session->ImageBytes());
    lib->Disconnect();
}
