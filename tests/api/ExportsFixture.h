#pragma once

#include "ClientLibrary.h"
#include "FakeServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The field name that holds the patient's name, and a name, as code page 936 bytes.
inline const std::string kNameField = "\xD0\xD5\xC3\xFB";  // 姓名
inline const std::string kZhangSan = "\xD5\xC5\xC8\xFD";   // 张三

// A patient in the usual shape: own fields, two modalities with studies and fields.
std::string SamplePatient();

std::vector<unsigned char> PatternBytes(size_t count, unsigned seed);

// Each test gets a fresh fake server and the loaded library; it ends disconnected.
class ExportsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    bool ConnectToServer() { return lib->Connect("127.0.0.1", static_cast<int>(server.Port())); }
    // Serves `text` for every patient query, in chunks of chunkSize bytes.
    void ServePatient(const std::string& text, size_t chunkSize = 4096);
    // Reads a text through the two-call protocol; "<fail>" when either call fails.
    template <typename Getter>
    static std::string ReadText(Getter getter)
    {
        unsigned int size = 0;
        if (!getter(nullptr, &size) || size == 0)
            return "<fail>";
        std::string text(size, '\0');
        if (!getter(text.data(), &size) || size != text.size() || text.back() != '\0')
            return "<fail>";
        text.pop_back();
        return text;
    }
    // Fetches bytes through the two-call protocol; empty with ok false on failure.
    static std::vector<unsigned char> ReadBytes(decltype(&::GetThumbData) fetch, const char* name,
                                                bool& ok);

    const ClientLibrary* lib = nullptr;
    CFakeServer server;
};
