#include "QueryReplyJob.h"

#include <algorithm>

#include "Log.h"
#include "MessageCodec.h"

namespace korv::server {

CQueryReplyJob::CQueryReplyJob(std::string key, std::string value, CFileHandle file,
                               std::uint32_t size, std::size_t chunkLimit)
    : m_key(std::move(key)), m_value(std::move(value)), m_file(std::move(file)), m_total(size),
      m_chunkLimit(std::max<std::size_t>(chunkLimit, 1))
{}

CQueryReplyJob::CQueryReplyJob(std::string key, std::string value, std::string text,
                               std::size_t chunkLimit)
    : m_key(std::move(key)), m_value(std::move(value)), m_text(std::move(text)),
      m_total(static_cast<std::uint32_t>(m_text.size())),
      m_chunkLimit(std::max<std::size_t>(chunkLimit, 1))
{}

void CQueryReplyJob::AppendNextFrame(std::vector<std::uint8_t>& out)
{
    // An empty text still gets one (empty) chunk so the client sees the reply complete.
    const std::size_t length = std::min<std::size_t>(m_chunkLimit, m_total - m_offset);
    m_scratch.resize(length);
    if (m_file.IsOpen()) {
        if (!m_file.ReadAt(m_offset, m_scratch.data(), length)) {
            Log("patient text for " + Printable(m_value) + ": read failed at offset " +
                std::to_string(m_offset) + ", reply cut short");
            m_done = true;
            return;
        }
    } else {
        std::copy_n(m_text.begin() + m_offset, length, m_scratch.begin());
    }
    AppendQueryReply(out, m_key, m_value, static_cast<std::int32_t>(m_total),
                     static_cast<std::int32_t>(m_offset), m_scratch.data(), length);
    m_offset += static_cast<std::uint32_t>(length);
    m_done = m_offset >= m_total;
}

}  // namespace korv::server
