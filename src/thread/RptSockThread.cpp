#include "thread/RptSockThread.h"

#include "thread/ThreadMessages.h"
#include "transport/MsgTypes.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

namespace {

// The parameters the library always sends with an image request.
constexpr std::int32_t kImageParam1 = 0;
constexpr std::int32_t kImageParam2 = 255;
constexpr std::int32_t kImageParam3 = 128;

const char* MessageText(std::uintptr_t wParam)
{
    return reinterpret_cast<const char*>(wParam);
}

std::uint32_t MessageTicket(std::intptr_t lParam)
{
    return static_cast<std::uint32_t>(lParam);
}

bool IsRequestWithText(unsigned message)
{
    return message == WM_RPT_OPENPATIENT || message == WM_RPT_GETTHUMB ||
           message == WM_RPT_GETIMAGE;
}

}  // namespace

CRptSockThread::CRptSockThread(std::string host, std::uint32_t port)
    : m_strHost(std::move(host)), m_nPort(port)
{
    ResetEvents();
}

CRptSockThread::~CRptSockThread()
{
    FreeText();
}

void CRptSockThread::ResetEvents()
{
    m_evStarted.Reset();
    m_evConnect.Reset();
    m_evExit.Reset();
    m_evDisconnect.Reset();
    m_evPatient.Reset();
    m_evThumb.Reset();
    m_evImage.Reset();
}

std::uint32_t CRptSockThread::NewTicket()
{
    std::uint32_t ticket = 0;
    while (ticket == 0)  // 0 stands for no request
        ticket = m_nLastTicket.fetch_add(1, std::memory_order_relaxed) + 1;
    return ticket;
}

void CRptSockThread::StopThread()
{
    Post(WM_QUIT, 0, 0);
    m_evExit.Wait(CEvent::kInfinite);
    // Lets the thread finish leaving its loop before the caller deletes the object; the
    // join makes sure of it.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Join();
}

bool CRptSockThread::InitInstance()
{
    Post(WM_RPT_STARTED, 0, 0);
    return true;
}

int CRptSockThread::ExitInstance()
{
    // The socket belongs to this thread's loop: release it here, not on the host's thread.
    m_socket.Close();
    const int result = CMsgThread::ExitInstance();
    // Last: once it is set, the host may delete this object.
    m_evExit.Set();
    return result;
}

void CRptSockThread::OnThreadMessage(const ThreadMessage& message)
{
    switch (message.message) {
    case WM_RPT_CONNECT: OnRptConnect(message.wParam, message.lParam); break;
    case WM_RPT_DISCONNECT: OnRptDisconnect(message.wParam, message.lParam); break;
    case WM_RPT_STARTED: OnRptStarted(message.wParam, message.lParam); break;
    case WM_RPT_OPENPATIENT: OnRptOpenPatient(message.wParam, message.lParam); break;
    case WM_RPT_GETTHUMB: OnRptGetThumb(message.wParam, message.lParam); break;
    case WM_RPT_GETIMAGE: OnRptGetImage(message.wParam, message.lParam); break;
    default: break;
    }
}

void CRptSockThread::OnDiscardMessage(const ThreadMessage& message)
{
    if (IsRequestWithText(message.message))
        FreeMessageText(message.wParam);
}

// ---- connection ------------------------------------------------------------------------

void CRptSockThread::OnRptStarted(std::uintptr_t, std::intptr_t)
{
    m_evStarted.Set();
}

void CRptSockThread::OnRptConnect(std::uintptr_t, std::intptr_t)
{
    m_socket.Close();
    m_socket.SetSink(this);
    if (!m_socket.Create()) {
        m_bConnected = 0;
        m_evConnect.Set();
        return;
    }
    // The outcome arrives as OnSockConnect; a name that cannot be resolved never reports.
    m_socket.Connect(m_strHost.c_str(), m_nPort);
}

void CRptSockThread::OnRptDisconnect(std::uintptr_t, std::intptr_t)
{
    m_socket.Close();
    m_bConnected = 0;
    m_evDisconnect.Set();
}

void CRptSockThread::OnSockConnect(CRptSocket* from, std::int32_t code)
{
    m_bConnected = (from == &m_socket && code == 0) ? 1 : 0;
    m_evConnect.Set();
}

// A socket error or the server's close changes nothing: requests then go unanswered.
void CRptSockThread::OnSockError(CRptSocket*, std::int32_t) {}
void CRptSockThread::OnSockClose(CRptSocket*, std::int32_t) {}

// ---- requests --------------------------------------------------------------------------

void CRptSockThread::OnRptOpenPatient(std::uintptr_t wParam, std::intptr_t lParam)
{
    const char* identifier = MessageText(wParam);
    // A null identifier is refused by the builder, so nothing is sent and nothing changes.
    if (m_socket.SendQuery("HISID", identifier)) {
        // A text being assembled answers an earlier request for another patient: dropped.
        // A repeated request for the same patient lets its reply, still arriving, complete.
        if (!m_bQuerySent || m_strQueryCurrent != identifier)
            FreeText();
        if (m_bQuerySent && m_strQueryCurrent != identifier)
            m_setQueryEarlier.insert(m_strQueryCurrent);
        m_setQueryEarlier.erase(identifier);
        m_strQueryCurrent = identifier;
        m_bQuerySent = true;
        m_nPatientServing = MessageTicket(lParam);
    }
    FreeMessageText(wParam);
}

void CRptSockThread::OnRptGetThumb(std::uintptr_t wParam, std::intptr_t lParam)
{
    const char* text = MessageText(wParam);
    std::string name = text != nullptr ? text : "";
    FreeMessageText(wParam);
    m_nThumbServing = MessageTicket(lParam);

    // Answer from the held bytes only when they are complete and belong to this name;
    // otherwise (an earlier send failed or its reply never came) ask the server again.
    if (name == m_strThumbName && m_bThumbValid) {
        {
            std::lock_guard<std::mutex> lock(m_dataLock);
            m_nThumbAnswer = m_nThumbServing;
        }
        m_evThumb.Set();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_dataLock);
        m_strThumbName = name;
        m_bThumbValid = 0;
    }
    m_socket.SendThumbRequest(name.c_str());
}

void CRptSockThread::OnRptGetImage(std::uintptr_t wParam, std::intptr_t lParam)
{
    const char* text = MessageText(wParam);
    std::string name = text != nullptr ? text : "";
    FreeMessageText(wParam);
    m_nImageServing = MessageTicket(lParam);

    if (name == m_strImageName && m_bImageValid) {
        {
            std::lock_guard<std::mutex> lock(m_dataLock);
            m_nImageAnswer = m_nImageServing;
        }
        m_evImage.Set();
        return;
    }
    if (name != m_strImageName) {
        std::lock_guard<std::mutex> lock(m_dataLock);
        m_strImageName = name;
        m_bImageValid = 0;
        m_mapChunks.Clear();
    }
    // A repeated request for an image still arriving keeps the chunks already received:
    // the server sends the same bytes again.
    m_socket.SendImageRequest(name.c_str(), kImageParam1, kImageParam2, kImageParam3);
}

// ---- replies ---------------------------------------------------------------------------

// A reply that echoes an identifier asked for earlier on this connection, and not the
// current one, answers a request the host has given up on. Replies echoing nothing, or an
// identifier never asked for, cannot be placed and are taken as today.
bool CRptSockThread::IsLateQueryReply(const char* value) const
{
    return value != nullptr && *value != '\0' && m_strQueryCurrent != value &&
           m_setQueryEarlier.count(value) != 0;
}

void CRptSockThread::OnQueryReply(CRptSocket* from, const char*, const char* value,
                                  std::int32_t total, std::int32_t offset, const char* text)
{
    if (from != &m_socket || text == nullptr || IsLateQueryReply(value))
        return;
    // A chunk outside its total, or a total above the limit, is dropped; a reply of another
    // total starts a new text. The chunk that reaches the total ends the text.
    if (m_pText.Add(total, offset, reinterpret_cast<const unsigned char*>(text),
                    std::strlen(text)) != CReplyAssembly::Result::Complete)
        return;
    CompleteText();
}

// The new tree is built outside the data lock and swapped in under it, so a getter waits at
// most for the swap; the old tree is freed outside the lock too. Text that is empty (or
// starts with a stretch that never arrived) gives an empty document, never the old one.
void CRptSockThread::CompleteText()
{
    CPatientDoc doc;
    doc.Load(m_pText.Text());
    FreeText();
    {
        std::lock_guard<std::mutex> lock(m_dataLock);
        m_doc.Swap(doc);
        m_nPatientAnswer = m_nPatientServing;
    }
    m_evPatient.Set();
    // doc now holds the previous tree and frees it here.
}

void CRptSockThread::OnThumbData(CRptSocket* from, const char* name, std::uint16_t length,
                                 const unsigned char* bytes)
{
    if (from != &m_socket || name == nullptr || m_strThumbName != name)
        return;
    {
        std::lock_guard<std::mutex> lock(m_dataLock);
        // Fewer than two bytes means the server has no such thumbnail; the name is cleared
        // so that the next request asks again.
        if (length < 2 || bytes == nullptr || !m_pThumbData.Reserve(length)) {
            m_strThumbName.clear();
            m_bThumbValid = 0;
        } else {
            std::memcpy(m_pThumbData.Data(), bytes, length);
            m_nThumbSize = length;
            m_bThumbValid = 1;
        }
        m_nThumbAnswer = m_nThumbServing;
    }
    m_evThumb.Set();
}

void CRptSockThread::OnImageData(CRptSocket* from, const char* name, std::int32_t, std::int32_t,
                                 std::int32_t, std::int32_t total, std::int32_t offset,
                                 std::uint16_t length, const unsigned char* bytes)
{
    if (from != &m_socket || name == nullptr || m_strImageName != name)
        return;
    std::unique_lock<std::mutex> lock(m_dataLock);
    if (total < 2) {
        // No such image: the name is cleared and the host's wait runs out.
        m_strImageName.clear();
        m_bImageValid = 0;
        m_mapChunks.Clear();
        return;
    }
    // A chunk outside its total, or a total above the limit, is dropped; a chunk of another
    // total belongs to a different transfer and starts over.
    const CReplyAssembly::Result result = m_mapChunks.Add(total, offset, bytes, length);
    if (result == CReplyAssembly::Result::Dropped)
        return;
    m_nImageSize = m_mapChunks.Total();
    if (result != CReplyAssembly::Result::Complete) {
        m_bImageValid = 0;
        return;
    }
    m_bImageValid = 1;
    m_nImageAnswer = m_nImageServing;
    lock.unlock();
    m_evImage.Set();
}

void CRptSockThread::FreeText()
{
    m_pText.Release();
}

// ---- copy-out (host thread) ------------------------------------------------------------

bool CRptSockThread::CopyOut(const unsigned char* data, std::uint32_t count, void* buffer,
                             std::uint32_t* size)
{
    if (size == nullptr)
        return false;
    if (buffer != nullptr && *size < count)
        return false;
    *size = count;
    if (buffer != nullptr && count > 0)
        std::memcpy(buffer, data, count);
    return true;
}

bool CRptSockThread::CopyThumbData(void* buffer, std::uint32_t* size)
{
    return CopyOut(m_pThumbData.Data(), m_nThumbSize, buffer, size);
}

bool CRptSockThread::CopyImageData(void* buffer, std::uint32_t* size)
{
    // The buffer covers only what has arrived so far: an image that is not complete has
    // neither a size to report nor all its bytes to copy.
    if (!m_mapChunks.IsComplete())
        return false;
    return CopyOut(m_mapChunks.Data(), m_nImageSize, buffer, size);
}
