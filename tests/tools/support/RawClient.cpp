#include "RawClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korv::test {
namespace {

using Clock = std::chrono::steady_clock;

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
}

std::uint32_t GetLe(const std::uint8_t* at, int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) {
    value |= static_cast<std::uint32_t>(at[i]) << (8 * i);
  }
  return value;
}

void PutText(std::vector<std::uint8_t>& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

// Reads a NUL-terminated string at pos; false when it runs off the payload.
bool TakeText(const std::vector<std::uint8_t>& payload, std::size_t& pos, std::string& out) {
  for (std::size_t i = pos; i < payload.size(); ++i) {
    if (payload[i] == 0) {
      out.assign(payload.begin() + static_cast<std::ptrdiff_t>(pos), payload.begin() + static_cast<std::ptrdiff_t>(i));
      pos = i + 1;
      return true;
    }
  }
  return false;
}

}  // namespace

CRawClient::~CRawClient() {
  if (m_fd >= 0) {
    ::close(m_fd);
  }
}

bool CRawClient::Connect(int port) {
  m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

bool CRawClient::SendBytes(const std::vector<std::uint8_t>& bytes) {
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

bool CRawClient::SendFrame(std::uint16_t type, const std::vector<std::uint8_t>& payload) {
  std::vector<std::uint8_t> frame;
  PutLe(frame, static_cast<std::uint32_t>(payload.size() + 4), 2);
  PutLe(frame, type, 2);
  frame.insert(frame.end(), payload.begin(), payload.end());
  return SendBytes(frame);
}

bool CRawClient::SendQuery(const std::string& key, const std::string& value) {
  std::vector<std::uint8_t> payload;
  PutText(payload, key);
  PutText(payload, value);
  return SendFrame(1, payload);
}

bool CRawClient::SendThumbRequest(const std::string& name) {
  std::vector<std::uint8_t> payload;
  PutText(payload, name);
  return SendFrame(3, payload);
}

bool CRawClient::SendImageRequest(const std::string& name, std::int32_t p1, std::int32_t p2, std::int32_t p3) {
  std::vector<std::uint8_t> payload;
  PutText(payload, name);
  for (const std::int32_t p : {p1, p2, p3}) {
    PutLe(payload, static_cast<std::uint32_t>(p), 4);
  }
  return SendFrame(5, payload);
}

bool CRawClient::ReadExactly(std::uint8_t* buffer, std::size_t length, Clock::time_point deadline) {
  std::size_t done = 0;
  while (done < length) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      return false;
    }
    pollfd fd{m_fd, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left)) <= 0) {
      continue;
    }
    const ssize_t got = ::recv(m_fd, buffer + done, length - done, 0);
    if (got <= 0) {
      return false;
    }
    done += static_cast<std::size_t>(got);
  }
  return true;
}

std::optional<RawFrame> CRawClient::ReadFrame(std::chrono::milliseconds timeout) {
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

bool CRawClient::WaitForClose(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      return false;
    }
    pollfd fd{m_fd, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left)) <= 0) {
      continue;
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

std::optional<QueryReply> CRawClient::ParseQueryReply(const RawFrame& frame) {
  QueryReply reply;
  std::size_t pos = 0;
  if (frame.type != 2 || !TakeText(frame.payload, pos, reply.key) || !TakeText(frame.payload, pos, reply.value) ||
      frame.payload.size() < pos + 8) {
    return std::nullopt;
  }
  reply.total = static_cast<std::int32_t>(GetLe(frame.payload.data() + pos, 4));
  reply.offset = static_cast<std::int32_t>(GetLe(frame.payload.data() + pos + 4, 4));
  pos += 8;
  // The chunk must end with the one NUL that closes the frame.
  if (!TakeText(frame.payload, pos, reply.text) || pos != frame.payload.size()) {
    return std::nullopt;
  }
  return reply;
}

std::optional<ThumbData> CRawClient::ParseThumbData(const RawFrame& frame) {
  ThumbData thumb;
  std::size_t pos = 0;
  if (frame.type != 4 || !TakeText(frame.payload, pos, thumb.name) || frame.payload.size() < pos + 2) {
    return std::nullopt;
  }
  const std::uint32_t length = GetLe(frame.payload.data() + pos, 2);
  pos += 2;
  if (frame.payload.size() != pos + length) {
    return std::nullopt;
  }
  thumb.bytes.assign(frame.payload.begin() + static_cast<std::ptrdiff_t>(pos), frame.payload.end());
  return thumb;
}

std::optional<ImageData> CRawClient::ParseImageData(const RawFrame& frame) {
  ImageData image;
  std::size_t pos = 0;
  if (frame.type != 6 || !TakeText(frame.payload, pos, image.name) || frame.payload.size() < pos + 22) {
    return std::nullopt;
  }
  const std::uint8_t* fixed = frame.payload.data() + pos;
  for (int i = 0; i < 3; ++i) {
    image.params[i] = static_cast<std::int32_t>(GetLe(fixed + 4 * i, 4));
  }
  image.total = static_cast<std::int32_t>(GetLe(fixed + 12, 4));
  image.offset = static_cast<std::int32_t>(GetLe(fixed + 16, 4));
  const std::uint32_t length = GetLe(fixed + 20, 2);
  pos += 22;
  if (frame.payload.size() != pos + length) {
    return std::nullopt;
  }
  image.bytes.assign(frame.payload.begin() + static_cast<std::ptrdiff_t>(pos), frame.payload.end());
  return image;
}

}  // namespace korv::test
