// Turns one decoded request into the job that answers it, and logs the request.
#pragma once

#include <memory>
#include <random>
#include <string>

#include "DataFolder.h"
#include "MessageCodec.h"
#include "ReplyJob.h"
#include "ServerOptions.h"

namespace korv::server {

class CRequestHandler {
public:
    CRequestHandler(const CDataFolder& folder, const ServerOptions& options);

    static bool IsRequest(std::uint16_t type);

    // Null when the request gets no answer (not a request type). The job looks up and opens
    // its file, and logs the request, only when it starts sending.
    std::unique_ptr<CReplyJob> Handle(const Request& request, const std::string& peer);

private:
    // Each sets busy (and returns null) when the process is out of descriptors for now.
    std::unique_ptr<CReplyJob> Start(const Request& request, const std::string& peer, bool& busy);
    std::unique_ptr<CReplyJob> HandleQuery(const Request& request, const std::string& peer,
                                           bool& busy);
    std::unique_ptr<CReplyJob> HandleThumb(const Request& request, const std::string& peer,
                                           bool& busy);
    std::unique_ptr<CReplyJob> HandleImage(const Request& request, const std::string& peer,
                                           bool& busy);
    std::size_t ChunkLimit(std::ptrdiff_t capacity) const;

    const CDataFolder& m_folder;
    const ServerOptions& m_options;
    std::mt19937_64 m_random;
};

}  // namespace korv::server
