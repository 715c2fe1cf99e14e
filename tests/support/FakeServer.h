#pragma once

#include "platform/Event.h"
#include "platform/MsgThread.h"

#include <cstdint>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One frame the fake server sends: a message of the protocol, or raw bytes for broken ones.
struct FakeFrame {
    std::uint16_t type = 0;
    std::vector<unsigned char> payload;
    bool raw = false;  // payload goes on the wire as it is, without a frame header
    // Sent over and over, after the frames queued with it, until the connection's next
    // request arrives (a transfer that keeps streaming while the client asks for another).
    bool repeat = false;

    // `value` is the identifier the reply echoes ("" echoes nothing).
    static FakeFrame QueryReply(std::int32_t total, std::int32_t offset, const std::string& text,
                                const std::string& value = "");
    static FakeFrame ThumbData(const std::string& name, const std::vector<unsigned char>& bytes);
    static FakeFrame ThumbDataWithLength(const std::string& name, std::uint16_t length,
                                         const std::vector<unsigned char>& bytes);
    static FakeFrame ImageData(const std::string& name, std::int32_t total, std::int32_t offset,
                               const std::vector<unsigned char>& bytes);
    static FakeFrame Raw(const std::vector<unsigned char>& bytes);
};

// The patient text split into ascending chunks of at most chunkSize bytes.
std::vector<FakeFrame> QueryReplyChunks(const std::string& text, size_t chunkSize,
                                        const std::string& value = "");
// The same frames marked to repeat until the next request.
std::vector<FakeFrame> Repeating(std::vector<FakeFrame> frames);
// The image split into chunks of at most chunkSize bytes, in ascending order.
std::vector<FakeFrame> ImageChunks(const std::string& name, const std::vector<unsigned char>& image,
                                   size_t chunkSize);

// A request the fake server received.
struct FakeRequest {
    std::uint16_t type = 0;
    std::string key;    // MSG_QUERY
    std::string value;  // MSG_QUERY
    std::string name;   // MSG_THUMB_REQUEST, MSG_IMAGE_REQUEST
    std::int32_t param1 = 0, param2 = 0, param3 = 0;
};

// A scriptable server on 127.0.0.1 with its own thread, built on the library's transport.
// The handler runs on the server's thread for every request and returns the frames to send
// back; Send pushes frames to every client at any time (late replies, garbage).
class CFakeServer : public CMsgThread {
public:
    using Handler = std::function<std::vector<FakeFrame>(const FakeRequest&)>;

    CFakeServer();
    ~CFakeServer() override;

    // False when the server could not listen.
    bool Start();
    unsigned Port() const { return m_nPort; }

    void SetHandler(Handler handler);
    std::vector<FakeRequest> Requests() const;
    size_t RequestCount(std::uint16_t type) const;
    // Waits up to timeoutMs until at least count requests have arrived.
    bool WaitForRequests(size_t count, std::uint32_t timeoutMs) const;

    void Send(std::vector<FakeFrame> frames);
    // Sends the frames after delayMs, from another thread (a reply the server is slow with).
    void SendLater(std::vector<FakeFrame> frames, std::uint32_t delayMs);
    // Closes every client connection from the server's side.
    void CloseClients();
    // Waits until every queued frame has been handed to the platform.
    bool Flush(std::uint32_t timeoutMs);

    class CListener;
    class CConnection;

protected:
    bool InitInstance() override;
    int ExitInstance() override;
    void OnThreadMessage(const ThreadMessage& message) override;
    void OnDiscardMessage(const ThreadMessage& message) override;

private:
    friend class CConnection;
    void OnRequest(CConnection* connection, const FakeRequest& request);
    void Accept();
    void Refill();

    std::unique_ptr<CListener> m_pListener;
    std::vector<std::unique_ptr<CConnection>> m_connections;  // server thread only
    unsigned m_nPort = 0;
    CEvent m_evReady;
    CEvent m_evExit;
    CEvent m_evFlushed;

    mutable std::mutex m_lock;  // guards m_handler and m_requests
    mutable std::condition_variable m_requestArrived;
    Handler m_handler;
    std::vector<FakeRequest> m_requests;
    std::vector<std::thread> m_senders;  // SendLater, joined before the server stops
};
