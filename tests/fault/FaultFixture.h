// One faulty sample server per test, one healthy one per test process, and the checks that
// every scenario ends with: the library still works after Disconnect / Connect.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "HostSession.h"
#include "ServerProcess.h"

class FaultTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void TearDown() override;

    // Starts the server with --fault name (images in 4096-byte chunks) and the further
    // options, and connects to it.
    void ConnectToFaulty(const std::string& fault, const std::vector<std::string>& options = {});
    // Each export under its bound; the result of the call.
    int OpenPatient();
    bool FetchThumb(std::vector<std::uint8_t>& bytes);
    bool FetchImage(std::vector<std::uint8_t>& bytes);
    // The document holds nothing: no patient, no modality.
    void ExpectNoDocument();
    // Disconnect, then a full session against the healthy server.
    void ExpectRecovers();

    static std::unique_ptr<korv::test::CHostSession> s_session;
    static std::unique_ptr<korv::test::CServerProcess> s_healthy;
    const ClientLibrary* lib = nullptr;
    korv::test::CServerProcess m_faulty;
};
