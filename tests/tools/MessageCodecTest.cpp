#include <gtest/gtest.h>

#include "FrameReader.h"
#include "MessageCodec.h"
#include "RawClient.h"
#include "WireFormat.h"

using namespace korv::server;
using korv::test::CRawClient;
using korv::test::RawFrame;

namespace {

Frame MakeFrame(std::uint16_t type, const std::string& payload)
{
    return Frame{type, std::vector<std::uint8_t>(payload.begin(), payload.end())};
}

// Splits one encoded frame into what the test's own parser expects.
RawFrame Unframe(const std::vector<std::uint8_t>& bytes)
{
    EXPECT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0] | (bytes[1] << 8), static_cast<int>(bytes.size()));
    return RawFrame{static_cast<std::uint16_t>(bytes[2] | (bytes[3] << 8)),
                    std::vector<std::uint8_t>(bytes.begin() + 4, bytes.end())};
}

TEST(MessageCodecDecodeTest, QueryCarriesKeyAndValue)
{
    const auto request = DecodeRequest(MakeFrame(MSG_QUERY, std::string("HISID\0P10001\0", 13)));
    ASSERT_TRUE(request);
    EXPECT_EQ(request->key, "HISID");
    EXPECT_EQ(request->value, "P10001");
}

TEST(MessageCodecDecodeTest, StringsWithoutTheirNulAreMalformed)
{
    EXPECT_FALSE(DecodeRequest(MakeFrame(MSG_QUERY, std::string("HISID\0P1", 8))));
    EXPECT_FALSE(DecodeRequest(MakeFrame(MSG_QUERY, "HISID")));
    EXPECT_FALSE(DecodeRequest(MakeFrame(MSG_THUMB_REQUEST, "name.png")));
    EXPECT_FALSE(DecodeRequest(MakeFrame(MSG_THUMB_REQUEST, "")));
    EXPECT_FALSE(DecodeRequest(MakeFrame(MSG_IMAGE_REQUEST, "name.png")));
}

TEST(MessageCodecDecodeTest, ImageRequestNeedsAllThreeParameters)
{
    std::string payload("a.png\0", 6);
    payload += std::string("\x00\x00\x00\x00\xff\x00\x00\x00\x80\x00\x00", 11);
    EXPECT_FALSE(DecodeRequest(MakeFrame(MSG_IMAGE_REQUEST, payload)));
    payload += '\xff';  // param3 = 0xff000080, a negative number
    const auto request = DecodeRequest(MakeFrame(MSG_IMAGE_REQUEST, payload));
    ASSERT_TRUE(request);
    EXPECT_EQ(request->name, "a.png");
    EXPECT_EQ(request->param1, 0);
    EXPECT_EQ(request->param2, 255);
    EXPECT_EQ(request->param3, static_cast<std::int32_t>(0xff000080u));
}

TEST(MessageCodecDecodeTest, NonRequestTypesDecodeWithoutFields)
{
    const auto request = DecodeRequest(MakeFrame(MSG_IMAGE_DATA, "junk without nul"));
    ASSERT_TRUE(request);
    EXPECT_EQ(request->type, MSG_IMAGE_DATA);
}

TEST(MessageCodecEncodeTest, QueryReplyAtCapacityFillsTheLargestFrame)
{
    const std::string key = "HISID";
    const std::string value = "P10001";
    const auto capacity = QueryReplyCapacity(key, value);
    const std::string chunk(static_cast<std::size_t>(capacity), 'x');
    std::vector<std::uint8_t> out;
    AppendQueryReply(out, key, value, 200000, 65536,
                     reinterpret_cast<const std::uint8_t*>(chunk.data()), chunk.size());
    ASSERT_EQ(out.size(), 65535u);
    const auto reply = CRawClient::ParseQueryReply(Unframe(out));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->key, key);
    EXPECT_EQ(reply->value, value);
    EXPECT_EQ(reply->total, 200000);
    EXPECT_EQ(reply->offset, 65536);
    EXPECT_EQ(reply->text, chunk);
}

TEST(MessageCodecEncodeTest, ThumbDataAtCapacityFillsTheLargestFrame)
{
    const std::string name = "thumb.png";
    const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(ThumbDataCapacity(name)), 0xab);
    std::vector<std::uint8_t> out;
    AppendThumbData(out, name, bytes.data(), bytes.size());
    ASSERT_EQ(out.size(), 65535u);
    const auto thumb = CRawClient::ParseThumbData(Unframe(out));
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->name, name);
    EXPECT_EQ(thumb->bytes, bytes);
}

TEST(MessageCodecEncodeTest, ImageDataAtCapacityFillsTheLargestFrameAndEchoesTheParameters)
{
    Request request;
    request.name = "image.png";
    request.param1 = -1;
    request.param2 = 255;
    request.param3 = 128;
    const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(ImageDataCapacity(request.name)),
                                          0x11);
    std::vector<std::uint8_t> out;
    AppendImageData(out, request, 1 << 24, 4096, bytes.data(), bytes.size());
    ASSERT_EQ(out.size(), 65535u);
    const auto image = CRawClient::ParseImageData(Unframe(out));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->name, request.name);
    EXPECT_EQ(image->params[0], -1);
    EXPECT_EQ(image->params[1], 255);
    EXPECT_EQ(image->params[2], 128);
    EXPECT_EQ(image->total, 1 << 24);
    EXPECT_EQ(image->offset, 4096);
    EXPECT_EQ(image->bytes, bytes);
}

TEST(MessageCodecEncodeTest, NamesTooLongForAnyReplyHaveNegativeCapacity)
{
    EXPECT_LT(ImageDataCapacity(std::string(65531 - 13, 'n')), 0);
    EXPECT_GE(ImageDataCapacity(std::string(65531 - 23, 'n')), 0);
    EXPECT_LT(QueryReplyCapacity(std::string(40000, 'k'), std::string(30000, 'v')), 0);
}

}  // namespace
