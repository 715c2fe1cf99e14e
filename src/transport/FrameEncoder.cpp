#include "transport/FrameEncoder.h"

#include <cstring>

#include "transport/LittleEndian.h"
#include "transport/MsgTypes.h"

bool EncodeFrame(CGrowBuffer& block, std::uint16_t type, const void* payload, std::uint16_t length)
{
    const std::uint32_t frameLength = static_cast<std::uint32_t>(length) + kMsgHeaderSize;
    if (!block.Reserve(frameLength)) {
        block.Release();
        return false;
    }
    unsigned char* const frame = block.Data();
    LittleEndian::Put16(frame, static_cast<std::uint16_t>(frameLength));
    LittleEndian::Put16(frame + 2, type);
    if (length > 0)
        std::memcpy(frame + kMsgHeaderSize, payload, length);
    return true;
}
