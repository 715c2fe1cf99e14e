#pragma once

#include <cstdint>

class CRptSocket;

// Receiver of the client socket's messages and socket events. Every slot receives the
// reporting socket first; a receiver overrides only the slots it needs. Texts and bytes
// point into the socket's receive buffer and are valid only during the call. A receiver
// must not destroy the socket from inside a call.
class IRptSockSink {
public:
    virtual void OnQuery(CRptSocket* /*from*/, const char* /*key*/, const char* /*value*/) {}
    virtual void OnQueryReply(CRptSocket* /*from*/, const char* /*key*/, const char* /*value*/,
                              std::int32_t /*total*/, std::int32_t /*offset*/, const char* /*text*/)
    {}
    virtual void OnThumbRequest(CRptSocket* /*from*/, const char* /*name*/) {}
    virtual void OnThumbData(CRptSocket* /*from*/, const char* /*name*/, std::uint16_t /*length*/,
                             const unsigned char* /*bytes*/)
    {}
    virtual void OnImageRequest(CRptSocket* /*from*/, const char* /*name*/, std::int32_t /*param1*/,
                                std::int32_t /*param2*/, std::int32_t /*param3*/)
    {}
    virtual void OnImageData(CRptSocket* /*from*/, const char* /*name*/, std::int32_t /*param1*/,
                             std::int32_t /*param2*/, std::int32_t /*param3*/,
                             std::int32_t /*total*/, std::int32_t /*offset*/,
                             std::uint16_t /*length*/, const unsigned char* /*bytes*/)
    {}
    virtual void OnSockError(CRptSocket* /*from*/, std::int32_t /*code*/) {}
    virtual void OnSockClose(CRptSocket* /*from*/, std::int32_t /*code*/) {}
    virtual void OnSockConnect(CRptSocket* /*from*/, std::int32_t /*code*/) {}

protected:
    // Never deleted through the interface.
    ~IRptSockSink() = default;
};
