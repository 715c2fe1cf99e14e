// Collects a client's incoming bytes and cuts them into whole frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korv::server {

struct Frame {
    std::uint16_t type = 0;
    std::vector<std::uint8_t> payload;
};

class CFrameReader {
public:
    enum class Result { NeedMore, Complete, Malformed };

    void Feed(const std::uint8_t* data, std::size_t length);
    // Takes the next whole frame out of the buffered bytes. Malformed (a length word below the
    // header size) is final: the stream cannot be resynchronised.
    Result Next(Frame& frame);
    std::size_t Buffered() const { return m_buffer.size() - m_consumed; }

private:
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_consumed = 0;
};

}  // namespace korv::server
