#include "transport/RptSocket.h"

#include <cstring>
#include <memory>
#include <new>

#include "transport/LittleEndian.h"
#include "transport/MsgTypes.h"
#include "transport/PayloadReader.h"

CRptSocket::CRptSocket() : m_pSink(nullptr) {}

void CRptSocket::SetSink(IRptSockSink* sink)
{
    m_pSink = sink;
}

bool CRptSocket::SendQuery(const char* key, const char* value)
{
    if (key == nullptr || value == nullptr)
        return false;
    const size_t keySize = std::strlen(key) + 1;
    const size_t valueSize = std::strlen(value) + 1;
    if (keySize + valueSize > static_cast<size_t>(kMsgMaxPayload))
        return false;
    const size_t length = keySize + valueSize;
    std::unique_ptr<unsigned char[]> payload(new (std::nothrow) unsigned char[length]);
    if (!payload)
        return false;
    std::memcpy(payload.get(), key, keySize);
    std::memcpy(payload.get() + keySize, value, valueSize);
    return SendMsg(MSG_QUERY, payload.get(), static_cast<uint16_t>(length));
}

bool CRptSocket::SendThumbRequest(const char* name)
{
    if (name == nullptr)
        return false;
    const size_t length = std::strlen(name) + 1;
    if (length > static_cast<size_t>(kMsgMaxPayload))
        return false;
    return SendMsg(MSG_THUMB_REQUEST, name, static_cast<uint16_t>(length));
}

bool CRptSocket::SendImageRequest(const char* name, int32_t param1, int32_t param2, int32_t param3)
{
    if (name == nullptr)
        return false;
    const size_t nameSize = std::strlen(name) + 1;
    if (nameSize + 12 > static_cast<size_t>(kMsgMaxPayload))
        return false;
    const size_t length = nameSize + 12;
    std::unique_ptr<unsigned char[]> payload(new (std::nothrow) unsigned char[length]);
    if (!payload)
        return false;
    std::memcpy(payload.get(), name, nameSize);
    LittleEndian::Put32(payload.get() + nameSize, param1);
    LittleEndian::Put32(payload.get() + nameSize + 4, param2);
    LittleEndian::Put32(payload.get() + nameSize + 8, param3);
    return SendMsg(MSG_IMAGE_REQUEST, payload.get(), static_cast<uint16_t>(length));
}

void CRptSocket::OnConnect(int nErrorCode)
{
    if (m_pSink != nullptr)
        m_pSink->OnSockConnect(this, nErrorCode);
    CMsgSocket::OnConnect(nErrorCode);
}

void CRptSocket::OnClose(int nErrorCode)
{
    if (m_pSink != nullptr)
        m_pSink->OnSockClose(this, nErrorCode);
    CMsgSocket::OnClose(nErrorCode);
}

void CRptSocket::OnError(int32_t code)
{
    if (m_pSink != nullptr)
        m_pSink->OnSockError(this, code);
}

void CRptSocket::OnMessage(uint16_t type, const unsigned char* payload, int length)
{
    if (m_pSink == nullptr || length < 0)
        return;
    switch (type) {
    case MSG_QUERY: DecodeQuery(payload, length); break;
    case MSG_QUERY_REPLY: DecodeQueryReply(payload, length); break;
    case MSG_THUMB_REQUEST: DecodeThumbRequest(payload, length); break;
    case MSG_THUMB_DATA: DecodeThumbData(payload, length); break;
    case MSG_IMAGE_REQUEST: DecodeImageRequest(payload, length); break;
    case MSG_IMAGE_DATA: DecodeImageData(payload, length); break;
    default: break;  // unknown types are ignored
    }
}

void CRptSocket::DecodeQuery(const unsigned char* payload, int length)
{
    CPayloadReader in(payload, static_cast<size_t>(length));
    const char* key = nullptr;
    const char* value = nullptr;
    if (in.ReadString(&key) && in.ReadString(&value))
        m_pSink->OnQuery(this, key, value);
}

void CRptSocket::DecodeQueryReply(const unsigned char* payload, int length)
{
    CPayloadReader in(payload, static_cast<size_t>(length));
    const char* key = nullptr;
    const char* value = nullptr;
    const char* text = nullptr;
    int32_t total = 0;
    int32_t offset = 0;
    if (in.ReadString(&key) && in.ReadString(&value) && in.ReadInt32(&total) && in.ReadInt32(&offset) &&
        in.ReadString(&text))
        m_pSink->OnQueryReply(this, key, value, total, offset, text);
}

void CRptSocket::DecodeThumbRequest(const unsigned char* payload, int length)
{
    CPayloadReader in(payload, static_cast<size_t>(length));
    const char* name = nullptr;
    if (in.ReadString(&name))
        m_pSink->OnThumbRequest(this, name);
}

void CRptSocket::DecodeThumbData(const unsigned char* payload, int length)
{
    CPayloadReader in(payload, static_cast<size_t>(length));
    const char* name = nullptr;
    uint16_t count = 0;
    const unsigned char* bytes = nullptr;
    if (in.ReadString(&name) && in.ReadUInt16(&count) && in.ReadBytes(count, &bytes))
        m_pSink->OnThumbData(this, name, count, bytes);
}

void CRptSocket::DecodeImageRequest(const unsigned char* payload, int length)
{
    CPayloadReader in(payload, static_cast<size_t>(length));
    const char* name = nullptr;
    int32_t p1 = 0;
    int32_t p2 = 0;
    int32_t p3 = 0;
    if (in.ReadString(&name) && in.ReadInt32(&p1) && in.ReadInt32(&p2) && in.ReadInt32(&p3))
        m_pSink->OnImageRequest(this, name, p1, p2, p3);
}

void CRptSocket::DecodeImageData(const unsigned char* payload, int length)
{
    CPayloadReader in(payload, static_cast<size_t>(length));
    const char* name = nullptr;
    int32_t p1 = 0;
    int32_t p2 = 0;
    int32_t p3 = 0;
    int32_t total = 0;
    int32_t offset = 0;
    uint16_t count = 0;
    const unsigned char* bytes = nullptr;
    if (in.ReadString(&name) && in.ReadInt32(&p1) && in.ReadInt32(&p2) && in.ReadInt32(&p3) &&
        in.ReadInt32(&total) && in.ReadInt32(&offset) && in.ReadUInt16(&count) && in.ReadBytes(count, &bytes))
        m_pSink->OnImageData(this, name, p1, p2, p3, total, offset, count, bytes);
}
