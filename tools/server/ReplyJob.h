// One request's answer, produced a frame at a time so a large reply never sits in memory whole.
#pragma once

#include <cstdint>
#include <vector>

namespace korv::server {

class CReplyJob {
public:
    virtual ~CReplyJob() = default;
    // Called before each frame: opens what the job reads when it starts sending. False when the
    // process has no descriptor to spare now; the job is tried again a little later.
    virtual bool Open() { return true; }
    virtual bool Done() const = 0;
    // Appends the next frame; called only while Done() is false, after Open() succeeded.
    virtual void AppendNextFrame(std::vector<std::uint8_t>& out) = 0;
    // True once the connection is to close after the output so far has gone out.
    virtual bool EndsConnection() const { return false; }
};

}  // namespace korv::server
