#include "FakeServer.h"

#include "WireMessages.h"
#include "transport/MsgTypes.h"
#include "transport/RptSocket.h"

#include <algorithm>
#include <chrono>
#include <deque>

namespace {

enum : std::uint32_t {
    kMsgSend = WM_USER + 1,  // wParam: std::vector<FakeFrame>* owned by the message
    kMsgCloseClients,
    kMsgFlush,
    kMsgRefill,  // queue the repeating frames again on idle connections
};

}  // namespace

FakeFrame FakeFrame::QueryReply(std::int32_t total, std::int32_t offset, const std::string& text,
                                const std::string& value)
{
    FakeFrame frame;
    frame.type = MSG_QUERY_REPLY;
    frame.payload = QueryReplyPayload(kPatientKey, value, total, offset, text);
    return frame;
}

FakeFrame FakeFrame::ThumbData(const std::string& name, const std::vector<unsigned char>& bytes)
{
    return ThumbDataWithLength(name, static_cast<std::uint16_t>(bytes.size()), bytes);
}

FakeFrame FakeFrame::ThumbDataWithLength(const std::string& name, std::uint16_t length,
                                         const std::vector<unsigned char>& bytes)
{
    FakeFrame frame;
    frame.type = MSG_THUMB_DATA;
    frame.payload = ThumbDataPayload(name, length, bytes);
    return frame;
}

FakeFrame FakeFrame::ImageData(const std::string& name, std::int32_t total, std::int32_t offset,
                               const std::vector<unsigned char>& bytes)
{
    FakeFrame frame;
    frame.type = MSG_IMAGE_DATA;
    frame.payload =
        ImageDataPayload(name, kImageParam1, kImageParam2, kImageParam3, total, offset, bytes);
    return frame;
}

FakeFrame FakeFrame::Raw(const std::vector<unsigned char>& bytes)
{
    FakeFrame frame;
    frame.raw = true;
    frame.payload = bytes;
    return frame;
}

std::vector<FakeFrame> QueryReplyChunks(const std::string& text, size_t chunkSize,
                                        const std::string& value)
{
    std::vector<FakeFrame> frames;
    const auto total = static_cast<std::int32_t>(text.size());
    size_t offset = 0;
    do {
        const size_t length = std::min(chunkSize, text.size() - offset);
        frames.push_back(FakeFrame::QueryReply(total, static_cast<std::int32_t>(offset),
                                               text.substr(offset, length), value));
        offset += length;
    } while (offset < text.size());
    return frames;
}

std::vector<FakeFrame> Repeating(std::vector<FakeFrame> frames)
{
    for (auto& frame : frames)
        frame.repeat = true;
    return frames;
}

std::vector<FakeFrame> ImageChunks(const std::string& name, const std::vector<unsigned char>& image,
                                   size_t chunkSize)
{
    std::vector<FakeFrame> frames;
    const auto total = static_cast<std::int32_t>(image.size());
    for (size_t offset = 0; offset < image.size(); offset += chunkSize) {
        const size_t length = std::min(chunkSize, image.size() - offset);
        std::vector<unsigned char> chunk(image.begin() + static_cast<long>(offset),
                                         image.begin() + static_cast<long>(offset + length));
        frames.push_back(
            FakeFrame::ImageData(name, total, static_cast<std::int32_t>(offset), chunk));
    }
    return frames;
}

// ---- sockets ---------------------------------------------------------------------------

class CFakeServer::CListener : public CAsyncSocket {
public:
    explicit CListener(CFakeServer& server) : m_server(server) {}

protected:
    void OnAccept(int) override { m_server.Accept(); }

private:
    CFakeServer& m_server;
};

// One client: decodes its requests and sends queued frames one at a time, continuing from
// OnSend when the socket would block.
class CFakeServer::CConnection : public CRptSocket, private IRptSockSink {
public:
    explicit CConnection(CFakeServer& server) : m_server(server) { SetSink(this); }

    void Queue(const std::vector<FakeFrame>& frames)
    {
        m_outgoing.insert(m_outgoing.end(), frames.begin(), frames.end());
        for (const auto& frame : frames) {
            if (frame.repeat)
                m_repeating.push_back(frame);
        }
        Pump();
    }

    // A request ends the repeating stream: what is still queued of it is dropped.
    void StopRepeating()
    {
        m_repeating.clear();
        m_outgoing.erase(std::remove_if(m_outgoing.begin(), m_outgoing.end(),
                                        [](const FakeFrame& frame) { return frame.repeat; }),
                         m_outgoing.end());
    }

    // One more round of the repeating frames, once the last round has gone out.
    void Refill()
    {
        m_bRefillPosted = false;
        if (m_outgoing.empty() && !m_repeating.empty()) {
            m_outgoing.insert(m_outgoing.end(), m_repeating.begin(), m_repeating.end());
            Pump();
        }
    }

    bool IsIdle() const { return m_outgoing.empty() && !IsSendPending(); }

protected:
    void OnSend(int code) override
    {
        CRptSocket::OnSend(code);
        Pump();
    }

private:
    void Pump()
    {
        while (!m_outgoing.empty() && IsOpen() && !IsSendPending()) {
            const FakeFrame& frame = m_outgoing.front();
            if (frame.raw) {
                Send(frame.payload.data(), static_cast<int>(frame.payload.size()));
            } else if (!SendMsg(frame.type, frame.payload.data(),
                                static_cast<std::uint16_t>(frame.payload.size()))) {
                break;
            }
            m_outgoing.pop_front();
        }
        // The next round goes out from the server's queue, so that requests are read in
        // between and can stop it.
        if (m_outgoing.empty() && !m_repeating.empty()) {
            if (!m_bRefillPosted)
                m_bRefillPosted = m_server.Post(kMsgRefill, 0, 0);
        } else if (IsIdle())
            m_server.m_evFlushed.Set();
    }

    void OnQuery(CRptSocket*, const char* key, const char* value) override
    {
        FakeRequest request;
        request.type = MSG_QUERY;
        request.key = key;
        request.value = value;
        m_server.OnRequest(this, request);
    }
    void OnThumbRequest(CRptSocket*, const char* name) override
    {
        FakeRequest request;
        request.type = MSG_THUMB_REQUEST;
        request.name = name;
        m_server.OnRequest(this, request);
    }
    void OnImageRequest(CRptSocket*, const char* name, std::int32_t p1, std::int32_t p2,
                        std::int32_t p3) override
    {
        FakeRequest request;
        request.type = MSG_IMAGE_REQUEST;
        request.name = name;
        request.param1 = p1;
        request.param2 = p2;
        request.param3 = p3;
        m_server.OnRequest(this, request);
    }

    CFakeServer& m_server;
    std::deque<FakeFrame> m_outgoing;
    std::vector<FakeFrame> m_repeating;
    bool m_bRefillPosted = false;
};

// ---- server ----------------------------------------------------------------------------

CFakeServer::CFakeServer() = default;

CFakeServer::~CFakeServer()
{
    if (ThreadId() != std::thread::id()) {
        Post(WM_QUIT, 0, 0);
        m_evExit.Wait(CEvent::kInfinite);
    }
    // No handler runs any more; a late sender finds the queue closed.
    std::vector<std::thread> senders;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        senders.swap(m_senders);
    }
    for (auto& sender : senders)
        sender.join();
}

bool CFakeServer::Start()
{
    return CreateThread() && m_evReady.Wait(5000) && m_nPort != 0;
}

bool CFakeServer::InitInstance()
{
    m_pListener = std::make_unique<CListener>(*this);
    if (m_pListener->Listen("127.0.0.1", 0))
        m_nPort = m_pListener->LocalPort();
    m_evReady.Set();
    return m_nPort != 0;
}

int CFakeServer::ExitInstance()
{
    m_connections.clear();
    m_pListener.reset();
    m_evExit.Set();
    return CMsgThread::ExitInstance();
}

void CFakeServer::Accept()
{
    auto connection = std::make_unique<CConnection>(*this);
    if (m_pListener->Accept(*connection))
        m_connections.push_back(std::move(connection));
}

void CFakeServer::OnRequest(CConnection* connection, const FakeRequest& request)
{
    Handler handler;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_requests.push_back(request);
        handler = m_handler;
    }
    m_requestArrived.notify_all();
    connection->StopRepeating();
    if (handler)
        connection->Queue(handler(request));
}

void CFakeServer::OnThreadMessage(const ThreadMessage& message)
{
    switch (message.message) {
    case kMsgSend: {
        std::unique_ptr<std::vector<FakeFrame>> frames(
            reinterpret_cast<std::vector<FakeFrame>*>(message.wParam));
        for (auto& connection : m_connections)
            connection->Queue(*frames);
        break;
    }
    case kMsgRefill:
        for (auto& connection : m_connections)
            connection->Refill();
        break;
    case kMsgCloseClients: m_connections.clear(); break;
    case kMsgFlush:
        if (std::all_of(m_connections.begin(), m_connections.end(),
                        [](const auto& connection) { return connection->IsIdle(); }))
            m_evFlushed.Set();
        break;
    default: break;
    }
}

void CFakeServer::OnDiscardMessage(const ThreadMessage& message)
{
    if (message.message == kMsgSend)
        delete reinterpret_cast<std::vector<FakeFrame>*>(message.wParam);
}

void CFakeServer::SetHandler(Handler handler)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_handler = std::move(handler);
}

std::vector<FakeRequest> CFakeServer::Requests() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_requests;
}

size_t CFakeServer::RequestCount(std::uint16_t type) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return static_cast<size_t>(
        std::count_if(m_requests.begin(), m_requests.end(),
                      [type](const FakeRequest& r) { return r.type == type; }));
}

bool CFakeServer::WaitForRequests(size_t count, std::uint32_t timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_requestArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [&] { return m_requests.size() >= count; });
}

void CFakeServer::Send(std::vector<FakeFrame> frames)
{
    auto* owned = new std::vector<FakeFrame>(std::move(frames));
    if (!Post(kMsgSend, reinterpret_cast<std::uintptr_t>(owned), 0))
        delete owned;
}

void CFakeServer::SendLater(std::vector<FakeFrame> frames, std::uint32_t delayMs)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_senders.emplace_back([this, frames = std::move(frames), delayMs]() mutable {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        Send(std::move(frames));
    });
}

void CFakeServer::CloseClients()
{
    Post(kMsgCloseClients, 0, 0);
}

bool CFakeServer::Flush(std::uint32_t timeoutMs)
{
    m_evFlushed.Reset();
    Post(kMsgFlush, 0, 0);
    return m_evFlushed.Wait(timeoutMs);
}
