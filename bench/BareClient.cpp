#include "BareClient.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "WireMessages.h"
#include "transport/RptMessages.h"

namespace {

constexpr int kPollMs = 10000;

}  // namespace

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
    const std::vector<unsigned char> out = Frame(type, payload);
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

std::uint64_t CBareClient::FetchImage(const std::string& name, unsigned char* into,
                                      std::size_t capacity)
{
    if (!Send(MSG_IMAGE_REQUEST, ImageRequestPayload(name))) {
        return 0;
    }
    std::uint64_t received = 0;
    for (;;) {
        std::uint16_t type = 0;
        ImageDataMsg chunk{};
        if (!ReadFrame(type) || type != MSG_IMAGE_DATA ||
            !DecodeImageData(m_body.data(), m_body.size(), &chunk)) {
            return 0;
        }
        if (chunk.offset < 0 || static_cast<std::size_t>(chunk.offset) + chunk.length > capacity) {
            return 0;
        }
        std::memcpy(into + chunk.offset, chunk.bytes, chunk.length);
        received += chunk.length;
        if (chunk.total < 2 || received >= static_cast<std::uint64_t>(chunk.total)) {
            return received;
        }
    }
}

std::uint64_t CBareClient::FetchPatient(const std::string& id)
{
    if (!Send(MSG_QUERY, QueryPayload(kPatientKey, id))) {
        return 0;
    }
    for (;;) {
        std::uint16_t type = 0;
        QueryReplyMsg reply{};
        if (!ReadFrame(type) || type != MSG_QUERY_REPLY ||
            !DecodeQueryReply(m_body.data(), m_body.size(), &reply)) {
            return 0;
        }
        // The chunk runs from the text to the payload's last byte, its NUL.
        const unsigned char* const text = reinterpret_cast<const unsigned char*>(reply.text);
        const std::size_t chunk =
            static_cast<std::size_t>(m_body.data() + m_body.size() - text) - 1;
        if (static_cast<std::uint64_t>(reply.offset) + chunk >=
            static_cast<std::uint64_t>(reply.total)) {
            return static_cast<std::uint64_t>(reply.total);
        }
    }
}
