// A reply that is one frame built up front (thumbnails, empty image answers).
#pragma once

#include "ReplyJob.h"

namespace korv::server {

class CSingleFrameJob : public CReplyJob {
public:
    explicit CSingleFrameJob(std::vector<std::uint8_t> frame) : m_frame(std::move(frame)) {}

    bool Done() const override { return m_sent; }
    void AppendNextFrame(std::vector<std::uint8_t>& out) override
    {
        out.insert(out.end(), m_frame.begin(), m_frame.end());
        m_sent = true;
        m_frame = {};
    }

private:
    std::vector<std::uint8_t> m_frame;
    bool m_sent = false;
};

}  // namespace korv::server
