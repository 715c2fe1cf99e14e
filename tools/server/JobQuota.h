// The requests waiting for their reply over all clients, against the server's limit.
#pragma once

#include <cstddef>

namespace korv::server {

class CJobQuota {
public:
    explicit CJobQuota(std::size_t limit) : m_limit(limit) {}

    // A client with nothing queued may always queue one request, so that clients which never
    // take their replies cannot lock the others out; the others wait for room.
    bool MayQueue(std::size_t queuedByClient) const
    {
        return queuedByClient == 0 || m_queued < m_limit;
    }
    void Add() { ++m_queued; }
    void Remove(std::size_t count = 1) { m_queued -= count; }
    std::size_t Queued() const { return m_queued; }

private:
    std::size_t m_limit;
    std::size_t m_queued = 0;
};

}  // namespace korv::server
