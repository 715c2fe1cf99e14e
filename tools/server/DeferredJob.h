// A reply decided when it starts sending: the file it reads is looked up and opened only then,
// so requests waiting in a queue hold no descriptor.
#pragma once

#include <functional>
#include <memory>

#include "ReplyJob.h"

namespace korv::server {

class CDeferredJob : public CReplyJob {
public:
    // Makes the real job; sets busy (and returns null) when it has to be tried again later. A
    // null job without busy is a request that gets no answer.
    using Factory = std::function<std::unique_ptr<CReplyJob>(bool& busy)>;

    explicit CDeferredJob(Factory factory) : m_factory(std::move(factory)) {}

    bool Open() override
    {
        if (m_started) {
            return m_inner == nullptr || m_inner->Open();
        }
        bool busy = false;
        std::unique_ptr<CReplyJob> inner = m_factory(busy);
        if (busy) {
            return false;
        }
        m_inner = std::move(inner);
        m_started = true;
        m_factory = nullptr;
        return m_inner == nullptr || m_inner->Open();
    }
    bool Done() const override { return m_started && (m_inner == nullptr || m_inner->Done()); }
    void AppendNextFrame(std::vector<std::uint8_t>& out) override { m_inner->AppendNextFrame(out); }
    bool EndsConnection() const override { return m_inner != nullptr && m_inner->EndsConnection(); }

private:
    Factory m_factory;
    std::unique_ptr<CReplyJob> m_inner;
    bool m_started = false;
};

}  // namespace korv::server
