// A test's own client for the wire protocol, independent of the server's code: frames are
// built with the test-side wire helpers (tests/support/WireMessages.h) and taken apart with
// the library's decoders, as the client library does.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korv::test {

struct RawFrame {
    std::uint16_t type = 0;
    std::vector<std::uint8_t> payload;
};

struct QueryReply {
    std::string key;
    std::string value;
    std::int32_t total = 0;
    std::int32_t offset = 0;
    std::string text;
};

struct ThumbData {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

struct ImageData {
    std::string name;
    std::int32_t params[3] = {};
    std::int32_t total = 0;
    std::int32_t offset = 0;
    std::vector<std::uint8_t> bytes;
};

class CRawClient {
public:
    ~CRawClient();
    bool Connect(int port);
    int Fd() const { return m_fd; }
    bool SendBytes(const std::vector<std::uint8_t>& bytes);
    bool SendFrame(std::uint16_t type, const std::vector<std::uint8_t>& payload);
    bool SendQuery(const std::string& key, const std::string& value);
    bool SendThumbRequest(const std::string& name);
    bool SendImageRequest(const std::string& name, std::int32_t p1 = 0, std::int32_t p2 = 255,
                          std::int32_t p3 = 128);

    // nullopt on time-out or when the server closed the connection.
    std::optional<RawFrame> ReadFrame(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // True when the server closes the connection within the time-out (bytes before are dropped).
    bool WaitForClose(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    static std::optional<QueryReply> ParseQueryReply(const RawFrame& frame);
    static std::optional<ThumbData> ParseThumbData(const RawFrame& frame);
    static std::optional<ImageData> ParseImageData(const RawFrame& frame);

private:
    bool ReadExactly(std::uint8_t* buffer, std::size_t length,
                     std::chrono::steady_clock::time_point deadline);

    int m_fd = -1;
};

}  // namespace korv::test
