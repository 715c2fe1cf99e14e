#include "ImageReplyJob.h"

#include <algorithm>

#include "Log.h"

namespace korv::server {

CImageReplyJob::CImageReplyJob(Request request, CFileHandle file, std::uint32_t size,
                               std::size_t chunkLimit, ImageOrder order, std::uint64_t seed)
    : m_request(std::move(request)), m_file(std::move(file)), m_total(size),
      m_chunkLimit(std::max<std::size_t>(chunkLimit, 1)),
      m_chunkCount((static_cast<std::uint64_t>(size) + m_chunkLimit - 1) / m_chunkLimit),
      m_order(m_chunkCount, order, seed)
{}

void CImageReplyJob::AppendNextFrame(std::vector<std::uint8_t>& out)
{
    const std::uint64_t offset = m_order.At(m_position++) * m_chunkLimit;
    const std::size_t length =
        static_cast<std::size_t>(std::min<std::uint64_t>(m_chunkLimit, m_total - offset));
    m_scratch.resize(length);
    if (!m_file.ReadAt(offset, m_scratch.data(), length)) {
        Log("image " + Printable(m_request.name) + ": read failed at offset " +
            std::to_string(offset) + ", reply cut short");
        m_position = m_chunkCount;
        return;
    }
    AppendImageData(out, m_request, static_cast<std::int32_t>(m_total),
                    static_cast<std::int32_t>(offset), m_scratch.data(), length);
}

}  // namespace korv::server
