#pragma once

#include <cstdint>

#include "transport/IRptSockSink.h"
#include "transport/MsgSocket.h"

// The client socket: builds the request messages and decodes every incoming message of the
// six types (either direction, so a server can use it too) into calls of its sink, to which
// it also passes the socket's events. The payload layouts and their decoders are in
// RptMessages.h. A message whose fields do not all lie inside its payload is dropped without
// a sink call, as are unknown types and messages that arrive while no sink is set.
class CRptSocket : public CMsgSocket {
public:
    CRptSocket();

    // Not owned; null stops the reports.
    void SetSink(IRptSockSink* sink);

    // False without sending for a null text or a payload over 65531 bytes; otherwise the
    // result of SendMsg.
    bool SendQuery(const char* key, const char* value);
    bool SendThumbRequest(const char* name);
    bool SendImageRequest(const char* name, std::int32_t param1, std::int32_t param2,
                          std::int32_t param3);

protected:
    void OnConnect(int nErrorCode) override;
    // The sink hears of the close before the socket counts as closed.
    void OnClose(int nErrorCode) override;
    void OnError(std::int32_t code) override;
    void OnMessage(std::uint16_t type, const unsigned char* payload, int length) override;

private:
    IRptSockSink* m_pSink;
};
