#include "transport/FrameEncoder.h"

#include <cstring>
#include <new>

#include "transport/LittleEndian.h"
#include "transport/MsgTypes.h"

bool EncodeFrame(unsigned char** block, std::uint32_t* capacity, std::uint16_t type,
                 const void* payload, std::uint16_t length)
{
    const std::uint32_t frameLength = static_cast<std::uint32_t>(length) + kMsgHeaderSize;
    if (*block == nullptr || *capacity < frameLength) {
        delete[] * block;
        *block = new (std::nothrow) unsigned char[frameLength];
        *capacity = frameLength;
    }
    if (*block == nullptr) {
        *capacity = 0;
        return false;
    }
    LittleEndian::Put16(*block, static_cast<std::uint16_t>(frameLength));
    LittleEndian::Put16(*block + 2, type);
    if (length > 0)
        std::memcpy(*block + kMsgHeaderSize, payload, length);
    return true;
}
