// The fifteen data exports: OpenPatient, the twelve getters and the two byte fetches.
#include "KorvanelleClient.h"
#include "api/ModuleState.h"
#include "thread/RptSockThread.h"
#include "thread/ThreadMessages.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>

namespace {

constexpr std::uint32_t kPatientTimeoutMs = 10000;
constexpr std::uint32_t kThumbTimeoutMs = 5000;
constexpr std::uint32_t kImageTimeoutMs = 10000;

// Texts go out with their NUL; a null buffer asks for the size.
int PutText(const std::string& text, char* buffer, unsigned int* size)
{
    if (size == nullptr)
        return 0;
    const size_t length = text.size();
    if (buffer == nullptr) {
        *size = static_cast<unsigned int>(length + 1);
        return 1;
    }
    if (*size <= length)
        return 0;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    *size = static_cast<unsigned int>(length + 1);
    return 1;
}

// Waits until the event announces the answer to this export's own request, at most
// timeoutMs in all. A setting of the event made for an earlier request is cleared (under the
// data lock, so that the thread's next record-then-set cannot slip in between) and the wait
// goes on. On success the data lock is held in `lock`, so the caller reads what was
// announced before a later reply can replace it.
bool WaitForOwnAnswer(CRptSockThread* thread, CEvent& event, std::uint32_t timeoutMs,
                      std::uint32_t CRptSockThread::*answer, std::uint32_t ticket,
                      std::unique_lock<std::mutex>& lock)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return false;
        const auto leftMs = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        if (!event.Wait(static_cast<std::uint32_t>(leftMs)))
            return false;
        lock = std::unique_lock<std::mutex>(thread->DataLock());
        if (thread->*answer == ticket)
            return true;
        event.Reset();
        lock.unlock();
    }
}

// Runs one document query under the data lock, so a late reply never replaces the tree
// while it is read.
template <typename Query>
auto QueryDocument(CRptSockThread* thread, Query query)
{
    std::lock_guard<std::mutex> lock(thread->DataLock());
    return query(thread->m_doc);
}

template <typename Query>
int GetText(char* buffer, unsigned int* size, Query query)
{
    CRptSockThread* thread = ConnectedThread();
    if (thread == nullptr)
        return 0;
    return PutText(QueryDocument(thread, query), buffer, size);
}

template <typename Query>
auto GetValue(Query query) -> decltype(query(std::declval<CPatientDoc&>()))
{
    CRptSockThread* thread = ConnectedThread();
    if (thread == nullptr)
        return 0;
    return QueryDocument(thread, query);
}

// What GetThumbData and GetImageData differ in.
struct ByteFetch {
    unsigned message;
    CEvent CRptSockThread::*event;
    std::uint32_t timeoutMs;
    std::uint32_t CRptSockThread::*answer;
    std::int32_t CRptSockThread::*valid;
    std::string CRptSockThread::*heldName;
    bool (CRptSockThread::*copyOut)(void*, std::uint32_t*);
};

constexpr ByteFetch kThumbFetch{WM_RPT_GETTHUMB,
                                &CRptSockThread::m_evThumb,
                                kThumbTimeoutMs,
                                &CRptSockThread::m_nThumbAnswer,
                                &CRptSockThread::m_bThumbValid,
                                &CRptSockThread::m_strThumbName,
                                &CRptSockThread::CopyThumbData};
constexpr ByteFetch kImageFetch{WM_RPT_GETIMAGE,
                                &CRptSockThread::m_evImage,
                                kImageTimeoutMs,
                                &CRptSockThread::m_nImageAnswer,
                                &CRptSockThread::m_bImageValid,
                                &CRptSockThread::m_strImageName,
                                &CRptSockThread::CopyImageData};

int FetchBytes(const ByteFetch& fetch, const char* name, void* buffer, unsigned int* size)
{
    CRptSockThread* thread = ConnectedThread();
    if (thread == nullptr)
        return 0;
    const char* requested = name != nullptr ? name : "";
    const std::uint32_t ticket = thread->NewTicket();
    thread->ResetEvents();
    char* copy = NewMessageText(requested);
    if (copy == nullptr)
        return 0;
    if (!thread->Post(fetch.message, reinterpret_cast<std::uintptr_t>(copy),
                      static_cast<std::intptr_t>(ticket))) {
        FreeMessageText(reinterpret_cast<std::uintptr_t>(copy));
        return 0;
    }
    std::unique_lock<std::mutex> lock;
    if (!WaitForOwnAnswer(thread, thread->*fetch.event, fetch.timeoutMs, fetch.answer, ticket,
                          lock))
        return 0;
    // The held bytes must be complete and be those of the name asked for.
    if (!(thread->*fetch.valid) || thread->*fetch.heldName != requested)
        return 0;
    static_assert(sizeof(unsigned int) == sizeof(std::uint32_t));
    return (thread->*fetch.copyOut)(buffer, reinterpret_cast<std::uint32_t*>(size)) ? 1 : 0;
}

}  // namespace

extern "C" KORV_API int KORV_CALL OpenPatient(const char* patientId)
{
    CRptSockThread* thread = ConnectedThread();
    if (thread == nullptr)
        return 0;
    const std::uint32_t ticket = thread->NewTicket();
    thread->ResetEvents();
    // A null identifier travels as null: the thread then sends nothing and the wait runs out.
    char* copy = NewMessageText(patientId);
    if (patientId != nullptr && copy == nullptr)
        return 0;
    if (!thread->Post(WM_RPT_OPENPATIENT, reinterpret_cast<std::uintptr_t>(copy),
                      static_cast<std::intptr_t>(ticket))) {
        FreeMessageText(reinterpret_cast<std::uintptr_t>(copy));
        return 0;
    }
    // Only the reply completed while the thread served this request counts; one finished
    // for an earlier, timed-out request is passed over.
    std::unique_lock<std::mutex> lock;
    return WaitForOwnAnswer(thread, thread->m_evPatient, kPatientTimeoutMs,
                            &CRptSockThread::m_nPatientAnswer, ticket, lock)
               ? 1
               : 0;
}

extern "C" KORV_API int KORV_CALL GetPatientName(char* buffer, unsigned int* size)
{
    return GetText(buffer, size, [](CPatientDoc& doc) { return doc.GetPatientName(); });
}

extern "C" KORV_API int KORV_CALL GetModalityCount(void)
{
    return GetValue([](CPatientDoc& doc) { return doc.GetModalityCount(); });
}

extern "C" KORV_API ModID KORV_CALL GetModID(int index)
{
    return GetValue([=](CPatientDoc& doc) { return ModID(doc.GetModID(index)); });
}

extern "C" KORV_API int KORV_CALL GetModName(ModID mod, char* buffer, unsigned int* size)
{
    return GetText(buffer, size, [=](CPatientDoc& doc) { return doc.GetModName(mod); });
}

extern "C" KORV_API int KORV_CALL GetStudyCount(ModID mod)
{
    return GetValue([=](CPatientDoc& doc) { return doc.GetStudyCount(mod); });
}

extern "C" KORV_API StudyID KORV_CALL GetStudyID(ModID mod, int index)
{
    return GetValue([=](CPatientDoc& doc) { return StudyID(doc.GetStudyID(mod, index)); });
}

extern "C" KORV_API int KORV_CALL GetStudyName(StudyID study, char* buffer, unsigned int* size)
{
    return GetText(buffer, size, [=](CPatientDoc& doc) { return doc.GetStudyName(study); });
}

extern "C" KORV_API int KORV_CALL GetFieldCount(StudyID study)
{
    return GetValue([=](CPatientDoc& doc) { return doc.GetFieldCount(study); });
}

extern "C" KORV_API FieldID KORV_CALL GetFieldID(StudyID study, int index)
{
    return GetValue([=](CPatientDoc& doc) { return FieldID(doc.GetFieldID(study, index)); });
}

extern "C" KORV_API int KORV_CALL GetFieldName(FieldID field, char* buffer, unsigned int* size)
{
    return GetText(buffer, size, [=](CPatientDoc& doc) { return doc.GetFieldName(field); });
}

extern "C" KORV_API int KORV_CALL GetFieldType(FieldID field)
{
    return GetValue([=](CPatientDoc& doc) { return doc.GetFieldType(field); });
}

extern "C" KORV_API int KORV_CALL GetFieldData(FieldID field, char* buffer, unsigned int* size)
{
    return GetText(buffer, size, [=](CPatientDoc& doc) { return doc.GetFieldData(field); });
}

extern "C" KORV_API int KORV_CALL GetThumbData(const char* name, void* buffer, unsigned int* size)
{
    return FetchBytes(kThumbFetch, name, buffer, size);
}

extern "C" KORV_API int KORV_CALL GetImageData(const char* name, void* buffer, unsigned int* size)
{
    return FetchBytes(kImageFetch, name, buffer, size);
}
