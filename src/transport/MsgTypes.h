#pragma once

#include <cstdint>

// Message types: the 16-bit type word of a frame.
constexpr std::uint16_t MSG_QUERY = 1;          // library -> server: key and value
constexpr std::uint16_t MSG_QUERY_REPLY = 2;    // server -> library: one chunk of the reply text
constexpr std::uint16_t MSG_THUMB_REQUEST = 3;  // library -> server: thumbnail name
constexpr std::uint16_t MSG_THUMB_DATA = 4;     // server -> library: a whole thumbnail
constexpr std::uint16_t MSG_IMAGE_REQUEST = 5;  // library -> server: image name and three integers
constexpr std::uint16_t MSG_IMAGE_DATA = 6;     // server -> library: one chunk of an image

// A frame is a little-endian length word (the whole frame, header included), a type word
// and the payload.
constexpr int kMsgHeaderSize = 4;
constexpr int kMsgMaxFrame = 0xFFFF;
constexpr int kMsgMaxPayload = kMsgMaxFrame - kMsgHeaderSize;  // 65531
