#include "transport/RptMessages.h"

#include "transport/IRptSockSink.h"
#include "transport/MsgTypes.h"
#include "transport/PayloadReader.h"

bool DecodeQuery(const unsigned char* payload, size_t length, QueryMsg* out)
{
    CPayloadReader in(payload, length);
    return in.ReadString(&out->key) && in.ReadString(&out->value);
}

bool DecodeQueryReply(const unsigned char* payload, size_t length, QueryReplyMsg* out)
{
    CPayloadReader in(payload, length);
    return in.ReadString(&out->key) && in.ReadString(&out->value) && in.ReadInt32(&out->total) &&
           in.ReadInt32(&out->offset) && in.ReadString(&out->text);
}

bool DecodeThumbRequest(const unsigned char* payload, size_t length, ThumbRequestMsg* out)
{
    CPayloadReader in(payload, length);
    return in.ReadString(&out->name);
}

bool DecodeThumbData(const unsigned char* payload, size_t length, ThumbDataMsg* out)
{
    CPayloadReader in(payload, length);
    return in.ReadString(&out->name) && in.ReadUInt16(&out->length) &&
           in.ReadBytes(out->length, &out->bytes);
}

bool DecodeImageRequest(const unsigned char* payload, size_t length, ImageRequestMsg* out)
{
    CPayloadReader in(payload, length);
    return in.ReadString(&out->name) && in.ReadInt32(&out->param1) && in.ReadInt32(&out->param2) &&
           in.ReadInt32(&out->param3);
}

bool DecodeImageData(const unsigned char* payload, size_t length, ImageDataMsg* out)
{
    CPayloadReader in(payload, length);
    return in.ReadString(&out->name) && in.ReadInt32(&out->param1) && in.ReadInt32(&out->param2) &&
           in.ReadInt32(&out->param3) && in.ReadInt32(&out->total) && in.ReadInt32(&out->offset) &&
           in.ReadUInt16(&out->length) && in.ReadBytes(out->length, &out->bytes);
}

bool DeliverMessage(IRptSockSink* sink, CRptSocket* from, std::uint16_t type,
                    const unsigned char* payload, int length)
{
    if (sink == nullptr || length < 0)
        return false;
    const size_t size = static_cast<size_t>(length);
    switch (type) {
    case MSG_QUERY: {
        QueryMsg m{};
        if (!DecodeQuery(payload, size, &m))
            return false;
        sink->OnQuery(from, m.key, m.value);
        return true;
    }
    case MSG_QUERY_REPLY: {
        QueryReplyMsg m{};
        if (!DecodeQueryReply(payload, size, &m))
            return false;
        sink->OnQueryReply(from, m.key, m.value, m.total, m.offset, m.text);
        return true;
    }
    case MSG_THUMB_REQUEST: {
        ThumbRequestMsg m{};
        if (!DecodeThumbRequest(payload, size, &m))
            return false;
        sink->OnThumbRequest(from, m.name);
        return true;
    }
    case MSG_THUMB_DATA: {
        ThumbDataMsg m{};
        if (!DecodeThumbData(payload, size, &m))
            return false;
        sink->OnThumbData(from, m.name, m.length, m.bytes);
        return true;
    }
    case MSG_IMAGE_REQUEST: {
        ImageRequestMsg m{};
        if (!DecodeImageRequest(payload, size, &m))
            return false;
        sink->OnImageRequest(from, m.name, m.param1, m.param2, m.param3);
        return true;
    }
    case MSG_IMAGE_DATA: {
        ImageDataMsg m{};
        if (!DecodeImageData(payload, size, &m))
            return false;
        sink->OnImageData(from, m.name, m.param1, m.param2, m.param3, m.total, m.offset, m.length,
                          m.bytes);
        return true;
    }
    default: return false;  // unknown types are ignored
    }
}
