// Whole sessions over and over against the sample server: every cycle must work, and the
// process must hold no more threads, descriptors or memory at the end than after warming up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>

#include "HostSession.h"
#include "ProcessUsage.h"
#include "ServerProcess.h"

// Under the address sanitizer freed blocks wait in a quarantine of up to 256 MB, which would
// read as growth; a small one keeps use-after-free checks for recent frees. The environment's
// ASAN_OPTIONS still apply on top.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options()
{
    return "quarantine_size_mb=1";
}

namespace {

using korv::test::CHostSession;

constexpr int kDefaultCycles = 200;
constexpr int kWarmUpCycles = 10;
// Allocator noise: pages the allocators keep for reuse, arenas split across threads, and the
// address sanitizer's bookkeeping per thread started (about 1 kB). Leaking the image (20 kB)
// every cycle passes it within the short form's second half, a whole session's worth in the
// long form's.
constexpr std::int64_t kResidentToleranceKb = 1024;

int Cycles()
{
    const char* text = std::getenv("KORV_SOAK_CYCLES");
    const int cycles = text != nullptr ? std::atoi(text) : kDefaultCycles;
    return cycles > 0 ? cycles : kDefaultCycles;
}

// One session; an empty string when every step did what it should, else what failed.
std::string RunCycle(const CHostSession& session, int port)
{
    const ClientLibrary* lib = session.Library();
    if (lib->Connect("127.0.0.1", port) != 1)
        return "Connect";
    std::string failed;
    bool ok = false;
    if (lib->OpenPatient(CHostSession::kPatientId) != 1)
        failed = "OpenPatient";
    else if (session.ReadPatientName() != CHostSession::PatientName())
        failed = "GetPatientName";
    else if (session.WalkDocument() != 2)
        failed = "walk";
    else if (session.ReadBytes(lib->GetThumbData, CHostSession::kThumbName, ok) !=
                 session.ThumbBytes() ||
             !ok)
        failed = "GetThumbData";
    else if (session.ReadBytes(lib->GetImageData, CHostSession::kImageName, ok) !=
                 session.ImageBytes() ||
             !ok)
        failed = "GetImageData";
    lib->Disconnect();
    return failed;
}

TEST(SoakTest, RepeatedSessionsHoldNothingBack)
{
    CHostSession session;
    ASSERT_NE(session.Library(), nullptr) << "client library not loaded";
    korv::test::CServerProcess server;
    ASSERT_TRUE(server.Start(session.DataDir(), {"--chunk-size", "4096"}));

    for (int i = 0; i < kWarmUpCycles; ++i)
        ASSERT_EQ(RunCycle(session, server.Port()), "") << "warm-up cycle " << i;
    const int cycles = Cycles();

    // Memory is compared over the second half only: the sanitizer runtimes keep growing
    // their shadow of newly used addresses for a while and then level off, a leak does not.
    const ProcessUsage start = ProcessUsage::Sample();
    for (int i = 0; i < cycles / 2; ++i)
        ASSERT_EQ(RunCycle(session, server.Port()), "") << "cycle " << i;
    const ProcessUsage middle = ProcessUsage::Sample();
    for (int i = cycles / 2; i < cycles; ++i)
        ASSERT_EQ(RunCycle(session, server.Port()), "") << "cycle " << i;
    const ProcessUsage end = ProcessUsage::Sample();

    std::cout << cycles << " cycles; after warm-up: " << start.Describe()
              << "; halfway: " << middle.Describe() << "; at the end: " << end.Describe() << "\n";
    ASSERT_GT(start.threads, 0);
    ASSERT_GT(start.descriptors, 0);
    EXPECT_EQ(middle.threads, start.threads);
    EXPECT_EQ(middle.descriptors, start.descriptors);
    EXPECT_EQ(end.threads, start.threads);
    EXPECT_EQ(end.descriptors, start.descriptors);
    EXPECT_LE(end.residentKb - middle.residentKb, kResidentToleranceKb);
}

}  // namespace
