#include "MessageCodec.h"

#include <cstring>

#include "WireFormat.h"

namespace korv::server {
namespace {

constexpr std::size_t kImageParamsSize = 12;
constexpr std::size_t kImageReplyFixedSize = 22;  // three params, total, offset, length
constexpr std::size_t kQueryReplyFixedSize = 8;   // total, offset

// Reads a NUL-terminated string starting at pos; moves pos past the NUL.
bool ReadString(const std::vector<std::uint8_t>& payload, std::size_t& pos, std::string& out)
{
    const void* end =
        pos < payload.size() ? std::memchr(payload.data() + pos, 0, payload.size() - pos) : nullptr;
    if (end == nullptr) {
        return false;
    }
    const auto length =
        static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - (payload.data() + pos));
    out.assign(reinterpret_cast<const char*>(payload.data() + pos), length);
    pos += length + 1;
    return true;
}

void PutString(std::vector<std::uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

// Reserves the header; FinishFrame fills it in once the payload is known.
std::size_t BeginFrame(std::vector<std::uint8_t>& out)
{
    const std::size_t start = out.size();
    out.resize(start + kFrameHeaderSize);
    return start;
}

void FinishFrame(std::vector<std::uint8_t>& out, std::size_t start, std::uint16_t type)
{
    const auto length = static_cast<std::uint16_t>(out.size() - start);
    out[start] = static_cast<std::uint8_t>(length & 0xff);
    out[start + 1] = static_cast<std::uint8_t>(length >> 8);
    out[start + 2] = static_cast<std::uint8_t>(type & 0xff);
    out[start + 3] = static_cast<std::uint8_t>(type >> 8);
}

std::ptrdiff_t Remaining(std::size_t used)
{
    return static_cast<std::ptrdiff_t>(kMaxPayloadSize) - static_cast<std::ptrdiff_t>(used);
}

}  // namespace

std::optional<Request> DecodeRequest(const Frame& frame)
{
    Request request;
    request.type = frame.type;
    std::size_t pos = 0;
    switch (frame.type) {
    case MSG_QUERY:
        if (!ReadString(frame.payload, pos, request.key) ||
            !ReadString(frame.payload, pos, request.value)) {
            return std::nullopt;
        }
        break;
    case MSG_THUMB_REQUEST:
        if (!ReadString(frame.payload, pos, request.name)) {
            return std::nullopt;
        }
        break;
    case MSG_IMAGE_REQUEST:
        if (!ReadString(frame.payload, pos, request.name) ||
            frame.payload.size() - pos < kImageParamsSize) {
            return std::nullopt;
        }
        request.param1 = GetI32(frame.payload.data() + pos);
        request.param2 = GetI32(frame.payload.data() + pos + 4);
        request.param3 = GetI32(frame.payload.data() + pos + 8);
        break;
    default: break;
    }
    return request;
}

std::ptrdiff_t QueryReplyCapacity(const std::string& key, const std::string& value)
{
    // The chunk's own NUL terminator is the final 1.
    return Remaining(key.size() + 1 + value.size() + 1 + kQueryReplyFixedSize + 1);
}

std::ptrdiff_t ThumbDataCapacity(const std::string& name)
{
    return Remaining(name.size() + 1 + 2);
}

std::ptrdiff_t ImageDataCapacity(const std::string& name)
{
    return Remaining(name.size() + 1 + kImageReplyFixedSize);
}

void AppendQueryReply(std::vector<std::uint8_t>& out, const std::string& key,
                      const std::string& value, std::int32_t total, std::int32_t offset,
                      const std::uint8_t* chunk, std::size_t length)
{
    const std::size_t start = BeginFrame(out);
    PutString(out, key);
    PutString(out, value);
    PutI32(out, total);
    PutI32(out, offset);
    out.insert(out.end(), chunk, chunk + length);
    out.push_back(0);
    FinishFrame(out, start, MSG_QUERY_REPLY);
}

void AppendThumbData(std::vector<std::uint8_t>& out, const std::string& name,
                     const std::uint8_t* bytes, std::size_t length)
{
    const std::size_t start = BeginFrame(out);
    PutString(out, name);
    PutU16(out, static_cast<std::uint16_t>(length));
    out.insert(out.end(), bytes, bytes + length);
    FinishFrame(out, start, MSG_THUMB_DATA);
}

void AppendImageData(std::vector<std::uint8_t>& out, const Request& request, std::int32_t total,
                     std::int32_t offset, const std::uint8_t* bytes, std::size_t length)
{
    const std::size_t start = BeginFrame(out);
    PutString(out, request.name);
    PutI32(out, request.param1);
    PutI32(out, request.param2);
    PutI32(out, request.param3);
    PutI32(out, total);
    PutI32(out, offset);
    PutU16(out, static_cast<std::uint16_t>(length));
    out.insert(out.end(), bytes, bytes + length);
    FinishFrame(out, start, MSG_IMAGE_DATA);
}

}  // namespace korv::server
