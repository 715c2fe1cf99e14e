// The patient text as MSG_QUERY_REPLY chunks in ascending offset order.
#pragma once

#include <cstddef>
#include <string>

#include "FileHandle.h"
#include "ReplyJob.h"

namespace korv::server {

class CQueryReplyJob : public CReplyJob {
public:
    // Streams the file's size bytes.
    CQueryReplyJob(std::string key, std::string value, CFileHandle file, std::uint32_t size,
                   std::size_t chunkLimit);
    // Sends a text held in memory.
    CQueryReplyJob(std::string key, std::string value, std::string text, std::size_t chunkLimit);

    bool Done() const override { return m_done; }
    void AppendNextFrame(std::vector<std::uint8_t>& out) override;

private:
    std::string m_key;
    std::string m_value;
    CFileHandle m_file;
    std::string m_text;
    std::uint32_t m_total;
    std::uint32_t m_offset = 0;
    std::size_t m_chunkLimit;
    std::vector<std::uint8_t> m_scratch;
    bool m_done = false;
};

}  // namespace korv::server
