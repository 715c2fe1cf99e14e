// Deliberately broken replies, for testing how a client copes with a faulty server.
#pragma once

#include <string>

namespace korv::server {

enum class ServerFault {
    None,
    CloseMidText,        // closes the connection halfway through a text reply frame
    CloseMidImage,       // closes it halfway through the second frame of an image
    Stall,               // answers nothing, keeps the connection open
    GarbageShortLength,  // reply frames with a length word of 2
    GarbageNoNul,        // reply strings without their NUL
    GarbageCutFields,    // reply frames cut inside their fixed fields
    LyingTotal,          // totals that the chunks never reach
    LyingOffset,         // offsets one past the truth
    ZeroLengthChunk,     // an empty chunk before every text and image chunk, empty thumbnails
    OtherName,           // thumbnail and image replies for a name not asked for
    LateReply,           // every reply message after the client's shortest wait
};

// False for an unknown name.
bool ParseServerFault(const std::string& name, ServerFault& fault);
const char* ServerFaultNames();

}  // namespace korv::server
