#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The loopback ceiling: a blocking socket that sends one request frame and reads the reply
// frames with nothing else in the way (poll, then the 4-byte header, then the body, per
// frame). It checks only what it needs to know when the reply is complete.
class CBareClient {
public:
    CBareClient() = default;
    ~CBareClient();
    CBareClient(const CBareClient&) = delete;
    CBareClient& operator=(const CBareClient&) = delete;

    bool Connect(int port);
    // Image request; the chunks are copied to their offsets in `into` (of `capacity` bytes),
    // as any client must assemble them. Returns the image's bytes received (0 on failure).
    std::uint64_t FetchImage(const std::string& name, unsigned char* into, std::size_t capacity);
    // "HISID" query; returns the text bytes received (0 on failure).
    std::uint64_t FetchPatient(const std::string& id);

private:
    bool Send(std::uint16_t type, const std::vector<unsigned char>& payload);
    // The next frame's body (type word and payload) into m_body; false on failure.
    bool ReadFrame(std::uint16_t& type);
    bool ReadExactly(unsigned char* into, std::size_t length);

    int m_fd = -1;
    std::vector<unsigned char> m_body;
};
