#ifndef KORV_TRANSPORT_FRAME_ENCODER_H
#define KORV_TRANSPORT_FRAME_ENCODER_H

#include <cstdint>

// Writes one frame (length word = length + 4, type word, payload) into *block, without
// touching a socket. The block is reused when *capacity holds the frame; otherwise it is
// freed and replaced by one of exactly the frame's size, and *capacity records that size.
// False when that allocation failed: *block is then null and *capacity 0. The caller checks
// the payload (non-null, at most 65531 bytes) first.
bool EncodeFrame(unsigned char** block, uint32_t* capacity, uint16_t type, const void* payload,
                 uint16_t length);

#endif
