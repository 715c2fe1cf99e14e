#pragma once

// The protocol's messages as the tests and the benchmarks put them on the wire: payloads by
// CPayloadBuilder (the library's CPayloadWriter), frames by the library's EncodeFrame, types
// by the library's names (transport/MsgTypes.h). The sample server keeps a codec of its own;
// README.md here says why.

#include <cstdint>
#include <string>
#include <vector>

#include "PayloadBuilder.h"
#include "transport/MsgTypes.h"

using Bytes = std::vector<unsigned char>;

// The key of the one query the protocol has.
inline const char* const kPatientKey = "HISID";
// The three integers every image request carries (and every image chunk echoes).
constexpr std::int32_t kImageParam1 = 0;
constexpr std::int32_t kImageParam2 = 255;
constexpr std::int32_t kImageParam3 = 128;

Bytes QueryPayload(const std::string& key, const std::string& value);
Bytes QueryReplyPayload(const std::string& key, const std::string& value, std::int32_t total,
                        std::int32_t offset, const std::string& text);
Bytes ThumbRequestPayload(const std::string& name);
// length is the count word; it may differ from bytes.size() to build a broken message.
Bytes ThumbDataPayload(const std::string& name, std::uint16_t length, const Bytes& bytes);
Bytes ThumbDataPayload(const std::string& name, const Bytes& bytes);
Bytes ImageRequestPayload(const std::string& name, std::int32_t p1 = kImageParam1,
                          std::int32_t p2 = kImageParam2, std::int32_t p3 = kImageParam3);
Bytes ImageDataPayload(const std::string& name, std::int32_t p1, std::int32_t p2, std::int32_t p3,
                       std::int32_t total, std::int32_t offset, const Bytes& bytes);

// size bytes of a pattern that shows a dropped, repeated or shifted byte; seeds tell
// payloads apart.
Bytes Pattern(size_t size, unsigned seed);

// A whole frame (length word, type word, payload) by EncodeFrame; the payload is at most
// kMsgMaxPayload bytes.
Bytes Frame(std::uint16_t type, const Bytes& payload);
// A frame with any length word, to build broken ones: the one place outside the library
// that lays out a frame header by hand.
Bytes RawFrame(std::uint16_t lengthWord, std::uint16_t type, const Bytes& payload);
