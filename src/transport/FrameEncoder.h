#pragma once

#include <cstdint>

// Writes one frame (length word = length + 4, type word, payload) into *block, without
// touching a socket. The block is reused when *capacity holds the frame; otherwise it is
// freed and replaced by one of exactly the frame's size, and *capacity records that size.
// False when that allocation failed: *block is then null and *capacity 0. The caller checks
// the payload (non-null, at most 65531 bytes) first.
bool EncodeFrame(unsigned char** block, std::uint32_t* capacity, std::uint16_t type,
                 const void* payload, std::uint16_t length);
