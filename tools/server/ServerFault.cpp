#include "ServerFault.h"

#include <array>
#include <utility>

namespace korv::server {
namespace {

constexpr std::array<std::pair<const char*, ServerFault>, 11> kFaults{{
    {"close-mid-text", ServerFault::CloseMidText},
    {"close-mid-image", ServerFault::CloseMidImage},
    {"stall", ServerFault::Stall},
    {"garbage-short-length", ServerFault::GarbageShortLength},
    {"garbage-no-nul", ServerFault::GarbageNoNul},
    {"garbage-cut-fields", ServerFault::GarbageCutFields},
    {"lying-total", ServerFault::LyingTotal},
    {"lying-offset", ServerFault::LyingOffset},
    {"zero-length-chunk", ServerFault::ZeroLengthChunk},
    {"other-name", ServerFault::OtherName},
    {"late-reply", ServerFault::LateReply},
}};

}  // namespace

bool ParseServerFault(const std::string& name, ServerFault& fault)
{
    for (const auto& [text, value] : kFaults) {
        if (name == text) {
            fault = value;
            return true;
        }
    }
    return false;
}

const char* ServerFaultNames()
{
    return "close-mid-text, close-mid-image, stall, garbage-short-length, garbage-no-nul, "
           "garbage-cut-fields, "
           "lying-total, lying-offset, zero-length-chunk, other-name or late-reply";
}

}  // namespace korv::server
