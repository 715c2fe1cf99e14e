#include "BareClient.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::uint16_t kQuery = 1;
constexpr std::uint16_t kQueryReply = 2;
constexpr std::uint16_t kImageRequest = 5;
constexpr std::uint16_t kImageData = 6;
constexpr int kPollMs = 10000;

std::int32_t Get32(const unsigned char* at)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
                                     (static_cast<std::uint32_t>(at[2]) << 16) |
                                     (static_cast<std::uint32_t>(at[3]) << 24));
}

void Put32(std::vector<unsigned char>& out, std::int32_t value)
{
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<unsigned char>((static_cast<std::uint32_t>(value) >> shift) & 0xFF));
    }
}

void PutString(std::vector<unsigned char>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

// Offset just past the NUL-terminated string at pos, or 0 when there is none.
std::size_t SkipString(const std::vector<unsigned char>& body, std::size_t pos)
{
    const void* nul = std::memchr(body.data() + pos, 0, body.size() - pos);
    return nul == nullptr ? 0 : static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - body.data()) + 1;
}

} // namespace

CBareClient::~CBareClient()
{
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool CBareClient::Connect(int port)
{
    m_fd = socket(AF_INET, SOCK_STREAM, 0);
    if (m_fd < 0) {
        return false;
    }
    const int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

bool CBareClient::Send(std::uint16_t type, const std::vector<unsigned char>& payload)
{
    const std::size_t frame = payload.size() + 4;
    std::vector<unsigned char> out{static_cast<unsigned char>(frame & 0xFF), static_cast<unsigned char>(frame >> 8),
                                   static_cast<unsigned char>(type & 0xFF), static_cast<unsigned char>(type >> 8)};
    out.insert(out.end(), payload.begin(), payload.end());
    return send(m_fd, out.data(), out.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(out.size());
}

bool CBareClient::ReadExactly(unsigned char* into, std::size_t length)
{
    while (length > 0) {
        const ssize_t got = recv(m_fd, into, length, MSG_WAITALL);
        if (got <= 0) {
            return false;
        }
        into += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

bool CBareClient::ReadFrame(std::uint16_t& type)
{
    pollfd waitFor{m_fd, POLLIN, 0};
    if (poll(&waitFor, 1, kPollMs) != 1) {
        return false;
    }
    unsigned char header[4];
    if (!ReadExactly(header, sizeof header)) {
        return false;
    }
    const std::size_t frame = static_cast<std::size_t>(header[0] | (header[1] << 8));
    if (frame < 4) {
        return false;
    }
    type = static_cast<std::uint16_t>(header[2] | (header[3] << 8));
    m_body.resize(frame - 4);
    return ReadExactly(m_body.data(), m_body.size());
}

std::uint64_t CBareClient::FetchImage(const std::string& name, unsigned char* into, std::size_t capacity)
{
    std::vector<unsigned char> payload;
    PutString(payload, name);
    Put32(payload, 0);
    Put32(payload, 255);
    Put32(payload, 128);
    if (!Send(kImageRequest, payload)) {
        return 0;
    }
    std::uint64_t received = 0;
    for (;;) {
        std::uint16_t type = 0;
        if (!ReadFrame(type) || type != kImageData) {
            return 0;
        }
        // name, three parameters, total, offset, a 16-bit count, then the bytes
        const std::size_t fixed = SkipString(m_body, 0);
        if (fixed == 0 || m_body.size() < fixed + 22) {
            return 0;
        }
        const std::int32_t total = Get32(m_body.data() + fixed + 12);
        const std::int32_t offset = Get32(m_body.data() + fixed + 16);
        const std::size_t count = m_body[fixed + 20] | (m_body[fixed + 21] << 8);
        if (offset < 0 || static_cast<std::size_t>(offset) + count > capacity || m_body.size() < fixed + 22 + count) {
            return 0;
        }
        std::memcpy(into + offset, m_body.data() + fixed + 22, count);
        received += count;
        if (total < 2 || received >= static_cast<std::uint64_t>(total)) {
            return received;
        }
    }
}

std::uint64_t CBareClient::FetchPatient(const std::string& id)
{
    std::vector<unsigned char> payload;
    PutString(payload, "HISID");
    PutString(payload, id);
    if (!Send(kQuery, payload)) {
        return 0;
    }
    for (;;) {
        std::uint16_t type = 0;
        if (!ReadFrame(type) || type != kQueryReply) {
            return 0;
        }
        // key, value, total, offset, then the NUL-terminated chunk
        const std::size_t key = SkipString(m_body, 0);
        const std::size_t fixed = key == 0 ? 0 : SkipString(m_body, key);
        if (fixed == 0 || m_body.size() < fixed + 9) {
            return 0;
        }
        const std::int32_t total = Get32(m_body.data() + fixed);
        const std::int32_t offset = Get32(m_body.data() + fixed + 4);
        const std::size_t chunk = m_body.size() - fixed - 8 - 1;
        if (static_cast<std::uint64_t>(offset) + chunk >= static_cast<std::uint64_t>(total)) {
            return static_cast<std::uint64_t>(total);
        }
    }
}
