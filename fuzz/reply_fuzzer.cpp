// Drives the socket thread's request and reply handlers with arbitrary sequences of decoded
// messages, honest and lying, and checks what it would report to the host.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "RptSockThreadTestAccess.h"
#include "thread/RptSockThread.h"
#include "thread/ThreadMessages.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// A small patient; the honest text replies are pieces of it.
const std::string kPatient =
    "<ROOT><Patient Name=\"N\"><Fields><Text><Field FieldName=\"\xD0\xD5\xC3\xFB\" "
    "FieldValue=\"Zh\"/>"
    "</Text></Fields><Modality Name=\"CT\"><Study Name=\"S1\"><Fields><Text>"
    "<Field FieldName=\"a\" FieldValue=\"1\"/></Text><Image><Field FieldName=\"i\" "
    "FieldValue=\"x.png\"/>"
    "</Image></Fields></Study></Modality><Modality Name=\"MR\"/></Patient></ROOT>";

const char* const kNames[] = {"a.png", "b.png", "", "P10001_CT_1_1.png"};

// What the server sends for a name: the bytes depend on the name, the total and the position.
unsigned char ImageByte(const std::string& name, std::uint32_t total, std::uint32_t at)
{
    std::uint32_t h = total * 2654435761u + at * 40503u;
    for (char c : name)
        h = h * 31 + static_cast<unsigned char>(c);
    return static_cast<unsigned char>(h >> 13);
}

unsigned char ThumbByte(const std::string& name, std::uint32_t at)
{
    return ImageByte(name, 7, at) ^ 0x5a;
}

class CHarnessThread : public CRptSockThread {
public:
    CHarnessThread() : CRptSockThread("", 0) {}

    using CRptSockThread::OnImageData;
    using CRptSockThread::OnQueryReply;
    using CRptSockThread::OnRptConnect;
    using CRptSockThread::OnRptDisconnect;
    using CRptSockThread::OnRptGetImage;
    using CRptSockThread::OnRptGetThumb;
    using CRptSockThread::OnRptOpenPatient;
    using CRptSockThread::OnThumbData;
};

std::string DocSummary(const CPatientDoc& doc)
{
    std::string out = doc.GetPatientName() + "|" + std::to_string(doc.GetModalityCount());
    for (std::int32_t i = 0; i < doc.GetModalityCount(); ++i) {
        const ModID mod = doc.GetModID(i);
        out += "|" + doc.GetModName(mod) + ":" + std::to_string(doc.GetStudyCount(mod));
    }
    return out;
}

const std::string& ExpectedSummary()
{
    static const std::string summary = [] {
        CPatientDoc doc;
        doc.Load(kPatient.c_str());
        return DocSummary(doc);
    }();
    return summary;
}

std::uintptr_t Text(const std::string& text)
{
    return reinterpret_cast<std::uintptr_t>(NewMessageText(text.c_str()));
}

// Copy-out through the byte protocol, with a guard after the buffer.
void CheckCopyOut(CHarnessThread& thread, bool image, bool tainted)
{
    std::lock_guard<std::mutex> lock(thread.DataLock());
    const bool valid = image ? thread.m_bImageValid != 0 : thread.m_bThumbValid != 0;
    if (!valid)
        return;
    auto copy = [&](void* buffer, std::uint32_t* size) {
        return image ? thread.CopyImageData(buffer, size) : thread.CopyThumbData(buffer, size);
    };
    std::uint32_t size = 0;
    Check(copy(nullptr, &size));
    Check(size >= 2);
    Check(!copy(nullptr, nullptr));
    std::vector<unsigned char> buffer(size + 16, 0xEE);
    std::uint32_t small = size - 1;
    Check(!copy(buffer.data(), &small));
    Check(buffer[0] == 0xEE);
    std::uint32_t exact = size;
    Check(copy(buffer.data(), &exact) && exact == size);
    for (std::size_t i = size; i < buffer.size(); ++i)
        Check(buffer[i] == 0xEE);
    if (tainted)
        return;
    const std::string name = image ? thread.m_strImageName : thread.m_strThumbName;
    for (std::uint32_t i = 0; i < size; ++i)
        Check(buffer[i] == (image ? ImageByte(name, size, i) : ThumbByte(name, i)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    CHarnessThread thread;
    CRptSocket stranger;
    CRptSocket* const own = &CRptSockThreadTestAccess::Socket(thread);

    // Whether lying bytes may have reached what the thread holds for the current transfer.
    bool imageTainted = false;
    bool thumbTainted = false;
    bool textTainted = false;
    std::vector<bool> textCovered(kPatient.size(), false);

    for (int step = 0; step < 256 && input.remaining_bytes() > 0; ++step) {
        const std::string name = kNames[input.ConsumeIntegralInRange<int>(0, 3)];
        const bool honest = input.ConsumeBool();
        CRptSocket* from = input.ConsumeIntegralInRange<int>(0, 15) == 0 ? &stranger : own;
        bool textCompleteHonestly = false;
        thread.m_evPatient.Reset();

        switch (input.ConsumeIntegralInRange<int>(0, 8)) {
        case 0: thread.OnRptOpenPatient(input.ConsumeBool() ? Text(name) : 0, 0); break;
        case 1: thread.OnRptGetThumb(Text(name), 0); break;
        case 2: thread.OnRptGetImage(Text(name), 0); break;
        case 3: {
            const auto total = static_cast<std::int32_t>(kPatient.size());
            std::int32_t offset = input.ConsumeIntegralInRange<std::int32_t>(0, total);
            std::int32_t length = input.ConsumeIntegralInRange<std::int32_t>(0, total - offset);
            std::string text =
                kPatient.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
            std::int32_t sentTotal = total;
            if (!honest) {
                sentTotal = input.ConsumeIntegral<std::int32_t>() % 100000;
                offset = input.ConsumeIntegral<std::int32_t>();
                text = input.ConsumeRandomLengthString(64);
            }
            if (honest && from == own)
                for (std::int32_t i = offset; i < offset + length; ++i)
                    textCovered[static_cast<std::size_t>(i)] = true;
            // A lie may make the thread start over and lose honest pieces: no check until the
            // next completed text.
            if (!honest && from == own)
                textTainted = true;
            thread.OnQueryReply(from, "HISID", name.c_str(), sentTotal, offset, text.c_str());
            bool all = true;
            for (bool covered : textCovered)
                all = all && covered;
            textCompleteHonestly = !textTainted && all;
            break;
        }
        case 4: {
            std::vector<unsigned char> bytes(input.ConsumeIntegralInRange<std::size_t>(0, 300));
            for (std::size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = honest ? ThumbByte(name, static_cast<std::uint32_t>(i))
                                  : input.ConsumeIntegral<unsigned char>();
            if (from == own && name == thread.m_strThumbName)
                thumbTainted = !honest;
            thread.OnThumbData(from, name.c_str(), static_cast<std::uint16_t>(bytes.size()),
                               bytes.empty() && input.ConsumeBool() ? nullptr : bytes.data());
            break;
        }
        case 5: {
            std::int32_t total = input.ConsumeIntegralInRange<std::int32_t>(0, 5000);
            std::int32_t offset = input.ConsumeIntegralInRange<std::int32_t>(0, total);
            const auto length = static_cast<std::uint16_t>(
                input.ConsumeIntegralInRange<std::int32_t>(0, std::min(total - offset, 2000)));
            std::vector<unsigned char> bytes(length);
            for (std::uint16_t i = 0; i < length; ++i)
                bytes[i] = ImageByte(name, static_cast<std::uint32_t>(total),
                                     static_cast<std::uint32_t>(offset) + i);
            if (!honest) {
                // Lies: totals and offsets from the input, bytes that are not the image's.
                total = input.ConsumeIntegral<std::int32_t>() % 1000000;
                offset = input.ConsumeIntegral<std::int32_t>() % 1000000;
                for (auto& b : bytes)
                    b = input.ConsumeIntegral<unsigned char>();
                if (from == own && name == thread.m_strImageName)
                    imageTainted = true;
            }
            thread.OnImageData(from, name.c_str(), 0, 255, 128, total, offset, length,
                               length == 0 && input.ConsumeBool() ? nullptr : bytes.data());
            break;
        }
        case 6: thread.OnRptDisconnect(0, 0); break;
        case 7:
            // No loop on this thread: the attempt fails at once and reports so.
            thread.OnRptConnect(0, 0);
            Check(thread.m_bConnected == 0);
            break;
        default: {
            // Copy-out with a caller's size that is wrong both ways.
            std::lock_guard<std::mutex> lock(thread.DataLock());
            std::uint32_t size = input.ConsumeIntegral<std::uint16_t>();
            std::vector<unsigned char> buffer(size);
            std::uint32_t given = size;
            const bool ok = thread.CopyImageData(size == 0 ? nullptr : buffer.data(), &given);
            if (ok && size != 0)
                Check(given <= size);
            break;
        }
        }

        // A started-over transfer holds nothing of earlier lies.
        if (thread.m_mapChunks.IsEmpty() && !thread.m_bImageValid)
            imageTainted = false;
        CheckCopyOut(thread, true, imageTainted);
        CheckCopyOut(thread, false, thumbTainted);

        if (thread.m_evPatient.IsSet()) {
            if (textCompleteHonestly) {
                std::lock_guard<std::mutex> lock(thread.DataLock());
                Check(DocSummary(thread.m_doc) == ExpectedSummary());
            }
            textTainted = false;
            textCovered.assign(kPatient.size(), false);
        }
    }
    return 0;
}
