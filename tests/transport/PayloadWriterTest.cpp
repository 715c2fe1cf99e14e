#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "transport/PayloadReader.h"
#include "transport/PayloadWriter.h"

namespace {

using Bytes = std::vector<unsigned char>;

TEST(PayloadWriterTest, FieldsAreLaidOutAsTheReaderTakesThemApart)
{
    Bytes block(16, 0xAA);
    CPayloadWriter out(block.data(), block.size());
    ASSERT_TRUE(out.WriteString("key"));
    ASSERT_TRUE(out.WriteString(""));
    ASSERT_TRUE(out.WriteInt32(-2));
    ASSERT_TRUE(out.WriteUInt16(0x0102));
    ASSERT_TRUE(out.WriteBytes("\x05\x06", 2));
    ASSERT_EQ(out.Length(), 13u);
    EXPECT_EQ(block,
              (Bytes{'k', 'e', 'y', 0, 0, 0xfe, 0xff, 0xff, 0xff, 2, 1, 5, 6, 0xAA, 0xAA, 0xAA}));

    CPayloadReader in(block.data(), out.Length());
    const char* key = nullptr;
    const char* empty = nullptr;
    std::int32_t number = 0;
    std::uint16_t count = 0;
    const unsigned char* bytes = nullptr;
    ASSERT_TRUE(in.ReadString(&key) && in.ReadString(&empty) && in.ReadInt32(&number) &&
                in.ReadUInt16(&count) && in.ReadBytes(2, &bytes));
    EXPECT_EQ(std::string(key), "key");
    EXPECT_EQ(std::string(empty), "");
    EXPECT_EQ(number, -2);
    EXPECT_EQ(count, 0x0102);
    EXPECT_EQ(Bytes(bytes, bytes + 2), (Bytes{5, 6}));
}

TEST(PayloadWriterTest, AFieldThatDoesNotFitIsRefusedAndTheBlockIsNotOverrun)
{
    Bytes block(8, 0xAA);
    CPayloadWriter out(block.data(), 6);
    ASSERT_TRUE(out.WriteString("abc"));
    EXPECT_FALSE(out.WriteInt32(1));      // 4 more bytes, 2 left
    EXPECT_FALSE(out.WriteString("xy"));  // its NUL would not fit
    EXPECT_FALSE(out.WriteString(nullptr));
    EXPECT_EQ(out.Length(), 4u);
    ASSERT_TRUE(out.WriteUInt16(0xFFFF));  // exactly the rest
    EXPECT_FALSE(out.WriteBytes("z", 1));
    EXPECT_TRUE(out.WriteBytes(nullptr, 0));
    EXPECT_EQ(out.Length(), 6u);
    EXPECT_EQ(block, (Bytes{'a', 'b', 'c', 0, 0xff, 0xff, 0xAA, 0xAA}));
}

}  // namespace
