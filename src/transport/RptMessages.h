#pragma once

#include <cstddef>
#include <cstdint>

class CRptSocket;
class IRptSockSink;

// The decoders of the six messages, over a payload alone (no socket). Payloads
// (little-endian integers, strings ended by one NUL):
//   MSG_QUERY          key, value
//   MSG_QUERY_REPLY    key, value, total i32, offset i32, text
//   MSG_THUMB_REQUEST  name
//   MSG_THUMB_DATA     name, length u16, bytes
//   MSG_IMAGE_REQUEST  name, param1 i32, param2 i32, param3 i32
//   MSG_IMAGE_DATA     name, param1, param2, param3, total, offset i32, length u16, bytes
// Each decoder returns false, and reads nothing past the payload's end, when a field does not
// lie wholly inside the payload; bytes after the last field are ignored. Texts and bytes point
// into the payload.

struct QueryMsg {
    const char* key;
    const char* value;
};

struct QueryReplyMsg {
    const char* key;
    const char* value;
    std::int32_t total;
    std::int32_t offset;
    const char* text;
};

struct ThumbRequestMsg {
    const char* name;
};

struct ThumbDataMsg {
    const char* name;
    std::uint16_t length;
    const unsigned char* bytes;
};

struct ImageRequestMsg {
    const char* name;
    std::int32_t param1;
    std::int32_t param2;
    std::int32_t param3;
};

struct ImageDataMsg {
    const char* name;
    std::int32_t param1;
    std::int32_t param2;
    std::int32_t param3;
    std::int32_t total;
    std::int32_t offset;
    std::uint16_t length;
    const unsigned char* bytes;
};

bool DecodeQuery(const unsigned char* payload, size_t length, QueryMsg* out);
bool DecodeQueryReply(const unsigned char* payload, size_t length, QueryReplyMsg* out);
bool DecodeThumbRequest(const unsigned char* payload, size_t length, ThumbRequestMsg* out);
bool DecodeThumbData(const unsigned char* payload, size_t length, ThumbDataMsg* out);
bool DecodeImageRequest(const unsigned char* payload, size_t length, ImageRequestMsg* out);
bool DecodeImageData(const unsigned char* payload, size_t length, ImageDataMsg* out);

// Decodes a message of any type and calls the sink's slot for it, with `from` as the
// reporting socket. False, without a call, for an unknown type, a malformed payload, a
// negative length or a null sink.
bool DeliverMessage(IRptSockSink* sink, CRptSocket* from, std::uint16_t type,
                    const unsigned char* payload, int length);
