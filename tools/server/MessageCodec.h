// Decoding of the requests a client sends and encoding of the replies the server sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FrameReader.h"

namespace korv::server {

struct Request {
    std::uint16_t type = 0;
    std::string key;    // MSG_QUERY
    std::string value;  // MSG_QUERY
    std::string name;   // MSG_THUMB_REQUEST, MSG_IMAGE_REQUEST
    std::int32_t param1 = 0;
    std::int32_t param2 = 0;
    std::int32_t param3 = 0;
};

// nullopt when a request's strings lack their NUL or its fixed fields are cut short. Types
// that are not requests decode to a Request carrying only the type.
std::optional<Request> DecodeRequest(const Frame& frame);

// How many text or image bytes one reply frame can carry next to the echoed strings; negative
// when not even an empty chunk fits.
std::ptrdiff_t QueryReplyCapacity(const std::string& key, const std::string& value);
std::ptrdiff_t ThumbDataCapacity(const std::string& name);
std::ptrdiff_t ImageDataCapacity(const std::string& name);

// Each appends one whole frame to out; the caller keeps the chunk within the capacity above.
void AppendQueryReply(std::vector<std::uint8_t>& out, const std::string& key,
                      const std::string& value, std::int32_t total, std::int32_t offset,
                      const std::uint8_t* chunk, std::size_t length);
void AppendThumbData(std::vector<std::uint8_t>& out, const std::string& name,
                     const std::uint8_t* bytes, std::size_t length);
void AppendImageData(std::vector<std::uint8_t>& out, const Request& request, std::int32_t total,
                     std::int32_t offset, const std::uint8_t* bytes, std::size_t length);

}  // namespace korv::server
