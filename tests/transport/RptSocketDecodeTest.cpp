#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "RecordingSink.h"
#include "WireMessages.h"
#include "transport/MsgTypes.h"
#include "transport/RptMessages.h"

namespace {

// The decoders over bare payloads, as the client socket runs them for every frame.
class RptSocketDecodeTest : public ::testing::Test {
protected:
    // Hands the decoder a heap block of exactly the payload's size, so that any read past
    // its end is an out-of-bounds access the sanitizer build reports.
    bool Decode(std::uint16_t type, const Bytes& payload, size_t length, IRptSockSink* sink)
    {
        std::unique_ptr<unsigned char[]> exact(new unsigned char[length]);
        std::copy(payload.begin(), payload.begin() + static_cast<long>(length), exact.get());
        return DeliverMessage(sink, &m_socket, type, exact.get(), static_cast<int>(length));
    }
    bool Decode(std::uint16_t type, const Bytes& payload, size_t length)
    {
        return Decode(type, payload, length, &m_sink);
    }
    bool Decode(std::uint16_t type, const Bytes& payload)
    {
        return Decode(type, payload, payload.size());
    }

    // One well-formed payload of every type with the sink call it must produce.
    static std::vector<std::pair<std::uint16_t, Bytes>> ValidMessages()
    {
        return {
            {MSG_QUERY, QueryPayload("HISID", "12345")},
            {MSG_QUERY_REPLY, QueryReplyPayload("HISID", "12345", 300, 100, "<patient/>")},
            {MSG_THUMB_REQUEST, ThumbRequestPayload("t1.jpg")},
            {MSG_THUMB_DATA, ThumbDataPayload("t1.jpg", Bytes{0xde, 0xad, 0xbe, 0xef})},
            {MSG_IMAGE_REQUEST, ImageRequestPayload("i1.dcm", 0, 255, 128)},
            {MSG_IMAGE_DATA, ImageDataPayload("i1.dcm", -1, 2, -3, 70000, 65000, Bytes{1, 2, 3})},
        };
    }

    CRptSocket m_socket;  // only passed on as the reporting socket
    CRecordingSink m_sink;
};

TEST_F(RptSocketDecodeTest, EveryTypeReachesItsSlotWithItsFields)
{
    for (const auto& [type, payload] : ValidMessages())
        Decode(type, payload);
    const std::vector<std::string> expected{
        "query|HISID|12345",         "reply|HISID|12345|300|100|<patient/>",
        "thumbreq|t1.jpg",           "thumb|t1.jpg|4|deadbeef",
        "imagereq|i1.dcm|0|255|128", "image|i1.dcm|-1|2|-3|70000|65000|3|010203",
    };
    EXPECT_EQ(m_sink.m_calls, expected);
}

TEST_F(RptSocketDecodeTest, EmptyThumbnailAndEmptyTextChunkArePassedOn)
{
    Decode(MSG_THUMB_DATA, ThumbDataPayload("t", Bytes{}));
    Decode(MSG_QUERY_REPLY, QueryReplyPayload("HISID", "1", 10, 10, ""));
    Decode(MSG_IMAGE_DATA, ImageDataPayload("", 0, 0, 0, 0, 0, Bytes{}));
    EXPECT_EQ(m_sink.m_calls, (std::vector<std::string>{"thumb|t|0|", "reply|HISID|1|10|10|",
                                                        "image||0|0|0|0|0|0|"}));
}

TEST_F(RptSocketDecodeTest, UnknownTypesAreIgnored)
{
    const Bytes payload = QueryPayload("HISID", "12345");
    for (std::uint16_t type : {std::uint16_t{0}, std::uint16_t{7}, std::uint16_t{0xFFFF}})
        Decode(type, payload);
    EXPECT_TRUE(m_sink.m_calls.empty());
}

TEST_F(RptSocketDecodeTest, NothingIsDecodedWithoutASink)
{
    for (const auto& [type, payload] : ValidMessages())
        EXPECT_FALSE(Decode(type, payload, payload.size(), nullptr)) << type;
}

TEST_F(RptSocketDecodeTest, EveryCutShortMessageIsDroppedWithoutReadingPastItsEnd)
{
    // Each shorter prefix loses a NUL, a fixed field or part of the declared bytes.
    for (const auto& [type, payload] : ValidMessages()) {
        for (size_t length = 0; length < payload.size(); ++length) {
            Decode(type, payload, length);
            EXPECT_TRUE(m_sink.m_calls.empty()) << "type " << type << ", " << length << " bytes";
            m_sink.m_calls.clear();
        }
    }
}

TEST_F(RptSocketDecodeTest, StringsWithoutTheirNulAreDropped)
{
    const Bytes noNul(64, 'a');
    for (std::uint16_t type = MSG_QUERY; type <= MSG_IMAGE_DATA; ++type)
        Decode(type, noNul);
    // The key ends, the value does not.
    Decode(MSG_QUERY, CPayloadBuilder().Str("HISID").Raw(Bytes{'1', '2'}).Get());
    EXPECT_TRUE(m_sink.m_calls.empty());
}

TEST_F(RptSocketDecodeTest, DeclaredByteCountBeyondThePayloadIsDropped)
{
    Decode(MSG_THUMB_DATA, CPayloadBuilder().Str("t").U16(5).Raw(Bytes{1, 2, 3, 4}).Get());
    Decode(MSG_THUMB_DATA, CPayloadBuilder().Str("t").U16(0xFFFF).Get());
    Decode(MSG_IMAGE_DATA, CPayloadBuilder()
                               .Str("i")
                               .I32(0)
                               .I32(0)
                               .I32(0)
                               .I32(10)
                               .I32(0)
                               .U16(11)
                               .Raw(Bytes(10, 9))
                               .Get());
    EXPECT_TRUE(m_sink.m_calls.empty());
}

TEST_F(RptSocketDecodeTest, BytesAfterTheLastFieldAreIgnored)
{
    Decode(MSG_THUMB_REQUEST, CPayloadBuilder().Str("t").Raw(Bytes{7, 7}).Get());
    Decode(MSG_THUMB_DATA, CPayloadBuilder().Str("t").U16(1).Raw(Bytes{5, 6}).Get());
    EXPECT_EQ(m_sink.m_calls, (std::vector<std::string>{"thumbreq|t", "thumb|t|1|05"}));
}

}  // namespace
