#include "transport/RptSocket.h"

#include <cstring>
#include <memory>
#include <new>

#include "transport/MsgTypes.h"
#include "transport/PayloadWriter.h"
#include "transport/RptMessages.h"

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
    CPayloadWriter out(payload.get(), length);
    if (!out.WriteString(key) || !out.WriteString(value))
        return false;
    return SendMsg(MSG_QUERY, payload.get(), static_cast<std::uint16_t>(out.Length()));
}

bool CRptSocket::SendThumbRequest(const char* name)
{
    if (name == nullptr)
        return false;
    const size_t length = std::strlen(name) + 1;
    if (length > static_cast<size_t>(kMsgMaxPayload))
        return false;
    return SendMsg(MSG_THUMB_REQUEST, name, static_cast<std::uint16_t>(length));
}

bool CRptSocket::SendImageRequest(const char* name, std::int32_t param1, std::int32_t param2,
                                  std::int32_t param3)
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
    CPayloadWriter out(payload.get(), length);
    if (!out.WriteString(name) || !out.WriteInt32(param1) || !out.WriteInt32(param2) ||
        !out.WriteInt32(param3))
        return false;
    return SendMsg(MSG_IMAGE_REQUEST, payload.get(), static_cast<std::uint16_t>(out.Length()));
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

void CRptSocket::OnError(std::int32_t code)
{
    if (m_pSink != nullptr)
        m_pSink->OnSockError(this, code);
}

void CRptSocket::OnMessage(std::uint16_t type, const unsigned char* payload, int length)
{
    DeliverMessage(m_pSink, this, type, payload, length);
}
