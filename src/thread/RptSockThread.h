#pragma once

#include "document/PatientDoc.h"
#include "platform/Event.h"
#include "platform/MsgThread.h"
#include "transport/GrowBuffer.h"
#include "thread/ReplyAssembly.h"
#include "transport/IRptSockSink.h"
#include "transport/RptSocket.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_set>

// The worker thread that owns the connection to the server. Exports post requests to it
// and wait on its events; it answers by filling the document, thumbnail and image members
// and then setting the matching event.
//
// Every OpenPatient, GetThumbData and GetImageData request carries a ticket (lParam of its
// message). Under the data lock and before it sets the event, the thread records in
// m_nPatientAnswer / m_nThumbAnswer / m_nImageAnswer the ticket of the request it was
// serving when the answer came, so an export can tell its own answer from a setting of the
// event made for an earlier request.
class CRptSockThread : public CMsgThread, public IRptSockSink {
public:
    CRptSockThread(std::string host, std::uint32_t port);
    ~CRptSockThread() override;
    CRptSockThread(const CRptSockThread&) = delete;
    CRptSockThread& operator=(const CRptSockThread&) = delete;

    // Host thread: clears all seven events before a request.
    void ResetEvents();
    // Host thread: a new request's ticket, never 0.
    std::uint32_t NewTicket();
    // Host thread: ends the message loop and waits until the thread has left it.
    void StopThread();

    // Host thread, after m_evThumb / m_evImage and with DataLock() held: the byte
    // protocol over the held bytes.
    bool CopyThumbData(void* buffer, std::uint32_t* size);
    bool CopyImageData(void* buffer, std::uint32_t* size);

    // Held by the socket thread while it replaces the document, thumbnail or image, and by
    // the host while it reads them, so a late reply never overlaps a read.
    std::mutex& DataLock() { return m_dataLock; }

    CEvent m_evStarted{true};
    CEvent m_evConnect{true};
    CEvent m_evExit{true};
    CEvent m_evDisconnect{true};
    CEvent m_evPatient{true};
    CEvent m_evThumb{true};
    CEvent m_evImage{true};

    std::atomic<std::int32_t> m_bConnected{0};
    CPatientDoc m_doc;
    // Written under DataLock() just before the event is set; 0 before any answer.
    std::uint32_t m_nPatientAnswer = 0;
    std::uint32_t m_nThumbAnswer = 0;
    std::uint32_t m_nImageAnswer = 0;

    std::int32_t m_bThumbValid = 0;
    std::string m_strThumbName;
    CGrowBuffer m_pThumbData;
    std::uint32_t m_nThumbSize = 0;

    std::int32_t m_bImageValid = 0;
    std::string m_strImageName;
    std::uint32_t m_nImageSize = 0;
    // The image being received, or the complete image; its memory follows the bytes received.
    CReplyAssembly m_mapChunks{CReplyAssembly::Kind::Image};

protected:
    bool InitInstance() override;
    int ExitInstance() override;
    void OnThreadMessage(const ThreadMessage& message) override;
    void OnDiscardMessage(const ThreadMessage& message) override;

    void OnRptConnect(std::uintptr_t wParam, std::intptr_t lParam);
    void OnRptDisconnect(std::uintptr_t wParam, std::intptr_t lParam);
    void OnRptStarted(std::uintptr_t wParam, std::intptr_t lParam);
    void OnRptOpenPatient(std::uintptr_t wParam, std::intptr_t lParam);
    void OnRptGetThumb(std::uintptr_t wParam, std::intptr_t lParam);
    void OnRptGetImage(std::uintptr_t wParam, std::intptr_t lParam);

    void OnQueryReply(CRptSocket* from, const char* key, const char* value, std::int32_t total,
                      std::int32_t offset, const char* text) override;
    void OnThumbData(CRptSocket* from, const char* name, std::uint16_t length,
                     const unsigned char* bytes) override;
    void OnImageData(CRptSocket* from, const char* name, std::int32_t param1, std::int32_t param2,
                     std::int32_t param3, std::int32_t total, std::int32_t offset,
                     std::uint16_t length, const unsigned char* bytes) override;
    void OnSockError(CRptSocket* from, std::int32_t code) override;
    void OnSockClose(CRptSocket* from, std::int32_t code) override;
    void OnSockConnect(CRptSocket* from, std::int32_t code) override;

private:
    // The harnesses' one way in (tests/support/RptSockThreadTestAccess.h): they reach the
    // socket whose reports the reply handlers accept, to feed the handlers as it would.
    friend class CRptSockThreadTestAccess;

    void FreeText();
    bool IsLateQueryReply(const char* value) const;
    void CompleteText();
    static bool CopyOut(const unsigned char* data, std::uint32_t count, void* buffer,
                        std::uint32_t* size);

    CRptSocket m_socket;
    std::string m_strHost;
    std::uint32_t m_nPort;
    CReplyAssembly m_pText{CReplyAssembly::Kind::Text};  // patient text being assembled
    std::mutex m_dataLock;

    // Socket thread: the ticket of the request each kind of answer currently belongs to.
    std::uint32_t m_nPatientServing = 0;
    std::uint32_t m_nThumbServing = 0;
    std::uint32_t m_nImageServing = 0;
    // Socket thread: the identifier of the last query sent, and those sent before it on
    // this connection; a reply echoing one of the earlier ones is late and dropped.
    bool m_bQuerySent = false;
    std::string m_strQueryCurrent;
    std::unordered_set<std::string> m_setQueryEarlier;

    std::atomic<std::uint32_t> m_nLastTicket{0};  // host thread
};
