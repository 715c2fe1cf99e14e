#include "RequestHandler.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "DeferredJob.h"
#include "FaultJob.h"
#include "ImageReplyJob.h"
#include "Log.h"
#include "QueryReplyJob.h"
#include "SingleFrameJob.h"
#include "WireFormat.h"

namespace korv::server {
namespace {

// What an unknown patient gets: markup without a patient in it.
constexpr const char* kNoPatientMarkup = "<ROOT/>";
constexpr std::uint64_t kMaxTotal =
    static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());

const char* OrderName(ImageOrder order)
{
    switch (order) {
    case ImageOrder::Reverse: return "reverse";
    case ImageOrder::Shuffle: return "shuffle";
    case ImageOrder::Ascending: break;
    }
    return "ascending";
}

std::string Outcome(const FileLookup& lookup)
{
    return (lookup.status == FileLookup::Status::Refused ? "refused (" : "missing (") +
           lookup.reason + ")";
}

std::string Chunks(std::uint64_t count)
{
    return std::to_string(count) + (count == 1 ? " chunk" : " chunks");
}

}  // namespace

CRequestHandler::CRequestHandler(const CDataFolder& folder, const ServerOptions& options)
    : m_folder(folder), m_options(options), m_random(std::random_device{}())
{}

std::size_t CRequestHandler::ChunkLimit(std::ptrdiff_t capacity) const
{
    const auto fits = static_cast<std::size_t>(std::max<std::ptrdiff_t>(capacity, 1));
    return m_options.chunkSize == 0 ? fits : std::min(fits, m_options.chunkSize);
}

bool CRequestHandler::IsRequest(std::uint16_t type)
{
    return type == MSG_QUERY || type == MSG_THUMB_REQUEST || type == MSG_IMAGE_REQUEST;
}

std::unique_ptr<CReplyJob> CRequestHandler::Handle(const Request& request, const std::string& peer)
{
    if (!IsRequest(request.type)) {
        return nullptr;
    }
    if (m_options.fault == ServerFault::Stall) {
        Log(peer + " fault stall: the reply is never sent");
        return nullptr;
    }
    std::unique_ptr<CReplyJob> job =
        std::make_unique<CDeferredJob>([this, request, peer, waiting = false](bool& busy) mutable {
            std::unique_ptr<CReplyJob> started = Start(request, peer, busy);
            if (busy && !waiting) {
                Log(peer + " request waits: no file descriptor to spare");
                waiting = true;
            }
            return started;
        });
    if (m_options.fault == ServerFault::None || m_options.fault == ServerFault::LateReply) {
        return job;
    }
    return std::make_unique<CFaultJob>(std::move(job), m_options.fault);
}

std::unique_ptr<CReplyJob> CRequestHandler::Start(const Request& request, const std::string& peer,
                                                  bool& busy)
{
    switch (request.type) {
    case MSG_QUERY: return HandleQuery(request, peer, busy);
    case MSG_THUMB_REQUEST: return HandleThumb(request, peer, busy);
    default: return HandleImage(request, peer, busy);
    }
}

std::unique_ptr<CReplyJob> CRequestHandler::HandleQuery(const Request& request,
                                                        const std::string& peer, bool& busy)
{
    const std::string what =
        peer + " query " + Printable(request.key) + "=" + Printable(request.value) + ": ";
    const std::ptrdiff_t capacity = QueryReplyCapacity(request.key, request.value);
    if (capacity < 0) {
        Log(what + "no answer, the echoed key and value leave no room in a message");
        return nullptr;
    }
    const std::size_t limit = capacity == 0 ? 1 : ChunkLimit(capacity);
    FileLookup lookup;
    if (request.key != "HISID") {
        lookup.reason = "unknown key";
    } else {
        lookup = m_folder.OpenPatient(request.value);
        if (lookup.status == FileLookup::Status::Busy) {
            busy = true;
            return nullptr;
        }
        if (lookup.status == FileLookup::Status::Found && lookup.size > kMaxTotal) {
            lookup =
                FileLookup{FileLookup::Status::Refused, {}, 0, "larger than a reply can announce"};
        }
    }
    if (lookup.status != FileLookup::Status::Found || (capacity == 0 && lookup.size > 0)) {
        const std::string text = capacity >= static_cast<std::ptrdiff_t>(
                                                 std::char_traits<char>::length(kNoPatientMarkup))
                                     ? kNoPatientMarkup
                                     : "";
        Log(what +
            (lookup.status == FileLookup::Status::Found ? std::string("no room for text")
                                                        : Outcome(lookup)) +
            ", answered " + (text.empty() ? "with empty text" : text));
        return std::make_unique<CQueryReplyJob>(request.key, request.value, text, limit);
    }
    const auto size = static_cast<std::uint32_t>(lookup.size);
    Log(what + std::to_string(size) + " bytes in " +
        Chunks(size == 0 ? 1 : (size + limit - 1) / limit));
    return std::make_unique<CQueryReplyJob>(request.key, request.value, std::move(lookup.file),
                                            size, limit);
}

std::unique_ptr<CReplyJob> CRequestHandler::HandleThumb(const Request& request,
                                                        const std::string& peer, bool& busy)
{
    const std::string what = peer + " thumb " + Printable(request.name) + ": ";
    const std::ptrdiff_t capacity = ThumbDataCapacity(request.name);
    if (capacity < 0) {
        Log(what + "no answer, the echoed name leaves no room in a message");
        return nullptr;
    }
    FileLookup lookup = m_folder.OpenThumb(request.name);
    if (lookup.status == FileLookup::Status::Busy) {
        busy = true;
        return nullptr;
    }
    std::vector<std::uint8_t> bytes;
    if (lookup.status == FileLookup::Status::Found) {
        if (lookup.size > static_cast<std::uint64_t>(capacity)) {
            Log(what + std::to_string(lookup.size) +
                " bytes do not fit one message, answered with length 0");
        } else {
            bytes.resize(static_cast<std::size_t>(lookup.size));
            if (lookup.file.ReadAt(0, bytes.data(), bytes.size())) {
                Log(what + std::to_string(bytes.size()) + " bytes");
            } else {
                Log(what + "read failed, answered with length 0");
                bytes.clear();
            }
        }
    } else {
        Log(what + Outcome(lookup) + ", answered with length 0");
    }
    std::vector<std::uint8_t> frame;
    AppendThumbData(frame, request.name, bytes.data(), bytes.size());
    return std::make_unique<CSingleFrameJob>(std::move(frame));
}

std::unique_ptr<CReplyJob> CRequestHandler::HandleImage(const Request& request,
                                                        const std::string& peer, bool& busy)
{
    const std::string what = peer + " image " + Printable(request.name) + " " +
                             std::to_string(request.param1) + "/" + std::to_string(request.param2) +
                             "/" + std::to_string(request.param3) + ": ";
    const std::ptrdiff_t capacity = ImageDataCapacity(request.name);
    if (capacity < 0) {
        Log(what + "no answer, the echoed name leaves no room in a message");
        return nullptr;
    }
    FileLookup lookup = m_folder.OpenImage(request.name);
    if (lookup.status == FileLookup::Status::Busy) {
        busy = true;
        return nullptr;
    }
    if (lookup.status == FileLookup::Status::Found &&
        (lookup.size == 0 || lookup.size > kMaxTotal || capacity == 0)) {
        const auto status =
            lookup.size == 0 ? FileLookup::Status::Missing : FileLookup::Status::Refused;
        lookup = FileLookup{status,
                            {},
                            0,
                            lookup.size == 0 ? "empty file"
                            : capacity == 0  ? "no room for data"
                                             : "too large"};
    }
    if (lookup.status != FileLookup::Status::Found) {
        Log(what + Outcome(lookup) + ", answered with total 0");
        std::vector<std::uint8_t> frame;
        AppendImageData(frame, request, 0, 0, nullptr, 0);
        return std::make_unique<CSingleFrameJob>(std::move(frame));
    }
    const auto size = static_cast<std::uint32_t>(lookup.size);
    auto job =
        std::make_unique<CImageReplyJob>(request, std::move(lookup.file), size,
                                         ChunkLimit(capacity), m_options.imageOrder, m_random());
    Log(what + std::to_string(size) + " bytes in " + Chunks(job->ChunkCount()) + ", " +
        OrderName(m_options.imageOrder));
    return job;
}

}  // namespace korv::server
