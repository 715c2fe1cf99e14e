// An image as MSG_IMAGE_DATA chunks in the configured order, read from disk one chunk at a time.
#pragma once

#include <cstddef>

#include "ChunkOrder.h"
#include "FileHandle.h"
#include "MessageCodec.h"
#include "ReplyJob.h"

namespace korv::server {

class CImageReplyJob : public CReplyJob {
public:
    // size is above 0 and fits a signed 32-bit total; chunkLimit is at least 1.
    CImageReplyJob(Request request, CFileHandle file, std::uint32_t size, std::size_t chunkLimit,
                   ImageOrder order, std::uint64_t seed);

    bool Done() const override { return m_position >= m_chunkCount; }
    void AppendNextFrame(std::vector<std::uint8_t>& out) override;
    std::uint64_t ChunkCount() const { return m_chunkCount; }

private:
    Request m_request;
    CFileHandle m_file;
    std::uint32_t m_total;
    std::size_t m_chunkLimit;
    std::uint64_t m_chunkCount;
    CChunkOrder m_order;
    std::uint64_t m_position = 0;
    std::vector<std::uint8_t> m_scratch;
};

}  // namespace korv::server
