#pragma once

#include <cstdint>

#include "transport/GrowBuffer.h"

// Writes one frame (length word = length + 4, type word, payload) into block, without
// touching a socket. The block is reused when it holds the frame; otherwise it is replaced
// by one of exactly the frame's size. False when that allocation failed: the block is then
// released (empty). The caller checks the payload (non-null, at most 65531 bytes) first.
bool EncodeFrame(CGrowBuffer& block, std::uint16_t type, const void* payload, std::uint16_t length);
