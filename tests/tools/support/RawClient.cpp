#include "RawClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "WireMessages.h"
#include "transport/RptMessages.h"

namespace korv::test {
namespace {

using Clock = std::chrono::steady_clock;

std::uint32_t GetLe(const std::uint8_t* at, int bytes)
{
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    }
    return value;
}

// Waits until fd has bytes (or an end) to read; false once the deadline has passed.
bool WaitReadable(int fd, Clock::time_point deadline)
{
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return false;
        }
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(left)) > 0) {
            return true;
        }
    }
}

}  // namespace

CRawClient::~CRawClient()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool CRawClient::Connect(int port)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

bool CRawClient::SendBytes(const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

bool CRawClient::SendFrame(std::uint16_t type, const std::vector<std::uint8_t>& payload)
{
    return SendBytes(Frame(type, payload));
}

bool CRawClient::SendQuery(const std::string& key, const std::string& value)
{
    return SendFrame(MSG_QUERY, QueryPayload(key, value));
}

bool CRawClient::SendThumbRequest(const std::string& name)
{
    return SendFrame(MSG_THUMB_REQUEST, ThumbRequestPayload(name));
}

bool CRawClient::SendImageRequest(const std::string& name, std::int32_t p1, std::int32_t p2,
                                  std::int32_t p3)
{
    return SendFrame(MSG_IMAGE_REQUEST, ImageRequestPayload(name, p1, p2, p3));
}

bool CRawClient::ReadExactly(std::uint8_t* buffer, std::size_t length, Clock::time_point deadline)
{
    std::size_t done = 0;
    while (done < length) {
        if (!WaitReadable(m_fd, deadline)) {
            return false;
        }
        const ssize_t got = ::recv(m_fd, buffer + done, length - done, 0);
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

std::optional<RawFrame> CRawClient::ReadFrame(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    std::uint8_t header[4];
    if (!ReadExactly(header, sizeof header, deadline)) {
        return std::nullopt;
    }
    const std::uint32_t length = GetLe(header, 2);
    if (length < 4) {
        return std::nullopt;
    }
    RawFrame frame;
    frame.type = static_cast<std::uint16_t>(GetLe(header + 2, 2));
    frame.payload.resize(length - 4);
    if (!ReadExactly(frame.payload.data(), frame.payload.size(), deadline)) {
        return std::nullopt;
    }
    return frame;
}

bool CRawClient::WaitForClose(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (!WaitReadable(m_fd, deadline)) {
            return false;
        }
        std::uint8_t buffer[4096];
        const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && errno == ECONNRESET)) {
            return true;
        }
        if (got < 0) {
            return false;
        }
    }
}

// The library's decoders ignore bytes after the last field; the server must send none, so
// each parse also checks that the message ends exactly where its last field does.

std::optional<QueryReply> CRawClient::ParseQueryReply(const RawFrame& frame)
{
    QueryReplyMsg msg{};
    if (frame.type != MSG_QUERY_REPLY ||
        !DecodeQueryReply(frame.payload.data(), frame.payload.size(), &msg)) {
        return std::nullopt;
    }
    // The chunk must end with the one NUL that closes the frame.
    const std::string text(msg.text);
    if (reinterpret_cast<const std::uint8_t*>(msg.text) + text.size() + 1 !=
        frame.payload.data() + frame.payload.size()) {
        return std::nullopt;
    }
    return QueryReply{msg.key, msg.value, msg.total, msg.offset, text};
}

std::optional<ThumbData> CRawClient::ParseThumbData(const RawFrame& frame)
{
    ThumbDataMsg msg{};
    if (frame.type != MSG_THUMB_DATA ||
        !DecodeThumbData(frame.payload.data(), frame.payload.size(), &msg) ||
        msg.bytes + msg.length != frame.payload.data() + frame.payload.size()) {
        return std::nullopt;
    }
    return ThumbData{msg.name, std::vector<std::uint8_t>(msg.bytes, msg.bytes + msg.length)};
}

std::optional<ImageData> CRawClient::ParseImageData(const RawFrame& frame)
{
    ImageDataMsg msg{};
    if (frame.type != MSG_IMAGE_DATA ||
        !DecodeImageData(frame.payload.data(), frame.payload.size(), &msg) ||
        msg.bytes + msg.length != frame.payload.data() + frame.payload.size()) {
        return std::nullopt;
    }
    ImageData image;
    image.name = msg.name;
    image.params[0] = msg.param1;
    image.params[1] = msg.param2;
    image.params[2] = msg.param3;
    image.total = msg.total;
    image.offset = msg.offset;
    image.bytes.assign(msg.bytes, msg.bytes + msg.length);
    return image;
}

}  // namespace korv::test
