#ifndef KORV_TRANSPORT_RPT_SOCKET_H
#define KORV_TRANSPORT_RPT_SOCKET_H

#include <cstdint>

#include "transport/IRptSockSink.h"
#include "transport/MsgSocket.h"

// The client socket: builds the request messages and decodes every incoming message of the
// six types (either direction, so a server can use it too) into calls of its sink, to which
// it also passes the socket's events.
//
// Payloads (little-endian integers, strings ended by one NUL):
//   MSG_QUERY          key, value
//   MSG_QUERY_REPLY    key, value, total i32, offset i32, text
//   MSG_THUMB_REQUEST  name
//   MSG_THUMB_DATA     name, length u16, bytes
//   MSG_IMAGE_REQUEST  name, param1 i32, param2 i32, param3 i32
//   MSG_IMAGE_DATA     name, param1, param2, param3, total, offset i32, length u16, bytes
// A message whose fields do not all lie inside its payload is dropped without a sink call,
// as are unknown types and messages that arrive while no sink is set.
class CRptSocket : public CMsgSocket {
public:
    CRptSocket();

    // Not owned; null stops the reports.
    void SetSink(IRptSockSink* sink);

    // False without sending for a null text or a payload over 65531 bytes; otherwise the
    // result of SendMsg.
    bool SendQuery(const char* key, const char* value);
    bool SendThumbRequest(const char* name);
    bool SendImageRequest(const char* name, int32_t param1, int32_t param2, int32_t param3);

protected:
    void OnConnect(int nErrorCode) override;
    // The sink hears of the close before the socket counts as closed.
    void OnClose(int nErrorCode) override;
    void OnError(int32_t code) override;
    void OnMessage(uint16_t type, const unsigned char* payload, int length) override;

    IRptSockSink* m_pSink;

private:
    void DecodeQuery(const unsigned char* payload, int length);
    void DecodeQueryReply(const unsigned char* payload, int length);
    void DecodeThumbRequest(const unsigned char* payload, int length);
    void DecodeThumbData(const unsigned char* payload, int length);
    void DecodeImageRequest(const unsigned char* payload, int length);
    void DecodeImageData(const unsigned char* payload, int length);
};

#endif
