// Wraps a reply job and breaks its frames the way a faulty server would.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ReplyJob.h"
#include "ServerFault.h"

namespace korv::server {

class CFaultJob : public CReplyJob {
public:
    CFaultJob(std::unique_ptr<CReplyJob> inner, ServerFault fault);

    bool Open() override { return m_inner->Open(); }
    bool Done() const override { return m_endsConnection || m_inner->Done(); }
    void AppendNextFrame(std::vector<std::uint8_t>& out) override;
    bool EndsConnection() const override { return m_endsConnection; }

private:
    void Rewrite(std::vector<std::uint8_t>& frame, std::vector<std::uint8_t>& out);

    std::unique_ptr<CReplyJob> m_inner;
    ServerFault m_fault;
    std::uint64_t m_frames = 0;
    bool m_endsConnection = false;
    std::vector<std::uint8_t> m_frame;
};

}  // namespace korv::server
