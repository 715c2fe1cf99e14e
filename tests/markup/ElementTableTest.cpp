// The segmented element table: index layout across segments and growth one segment at a time.
#include <gtest/gtest.h>

#include <string>

#include "markup/XmlDoc.h"

namespace {

constexpr std::int32_t kSegment = 65536;

// "<r>" followed by `children` empty elements "<e/>" and "</r>".
std::string FlatDocument(std::int32_t children)
{
    std::string text = "<r>";
    text.reserve(static_cast<size_t>(children) * 4 + 7);
    for (std::int32_t i = 0; i < children; ++i) {
        text += "<e/>";
    }
    text += "</r>";
    return text;
}

class ElementTableTest : public ::testing::Test {
protected:
    CXmlDoc doc;
};

TEST_F(ElementTableTest, FirstTableIsSizedFromTextLength)
{
    ASSERT_TRUE(doc.LoadText("<r/>"));
    EXPECT_EQ(doc.Capacity(), 8);
    EXPECT_EQ(doc.SegmentCount(), 1);
    const std::string text = "<r>" + std::string(6400, ' ') + "</r>";
    ASSERT_TRUE(doc.LoadText(text.c_str()));
    EXPECT_EQ(doc.Capacity(), static_cast<std::int32_t>(text.size()) / 64 + 8);
}

TEST_F(ElementTableTest, GrowsByHalfWhenFull)
{
    // 39 bytes give 8 entries; the eighth element finds them all in use.
    ASSERT_TRUE(doc.LoadText(FlatDocument(8).c_str()));
    EXPECT_EQ(doc.UsedEntries(), 10);
    EXPECT_EQ(doc.Capacity(), 12) << "8 entries in use grow to 8 + 8 / 2";
    EXPECT_EQ(doc.EntryAt(9)->offset, 3 + 7 * 4);
}

TEST_F(ElementTableTest, IndexBeyondFirstSegmentLandsInNextSegment)
{
    const std::string text = FlatDocument(kSegment + 10);
    ASSERT_TRUE(doc.LoadText(text.c_str())) << doc.ErrorText();
    ASSERT_EQ(doc.UsedEntries(), kSegment + 12);
    EXPECT_EQ(doc.SegmentCount(), 2) << "growth past the boundary adds exactly one segment";
    EXPECT_GT(doc.Capacity(), kSegment);
    EXPECT_LE(doc.Capacity(), 2 * kSegment);

    // Index 65,536 is entry 0 of segment 1: the 65,535th <e/> after the root.
    const ElementEntry* entry = doc.EntryAt(kSegment);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->offset, 3 + (kSegment - 2) * 4);
    EXPECT_EQ(entry->prev, kSegment - 1);
    EXPECT_EQ(entry->next, kSegment + 1);
    EXPECT_EQ(doc.EntryAt(kSegment - 1)->next, kSegment);

    // Every entry carried over from the reallocated segments is intact.
    std::int32_t count = 0;
    for (std::int32_t i = doc.EntryAt(1)->firstChild; i != 0; i = doc.EntryAt(i)->next) {
        ASSERT_EQ(doc.EntryAt(i)->offset, 3 + count * 4) << "entry " << i;
        ASSERT_EQ(doc.EntryAt(i)->parent, 1);
        ++count;
    }
    EXPECT_EQ(count, kSegment + 10);
    EXPECT_EQ(doc.EntryAt(2)->prev, kSegment + 11);
}

TEST_F(ElementTableTest, LargeFirstTableStopsAtOneNewSegment)
{
    // A text whose first table would span three segments gets two: the first filled up and
    // exactly one added.
    const std::string text = "<r>" + std::string(64 * 3 * kSegment, ' ') + "</r>";
    ASSERT_TRUE(doc.LoadText(text.c_str()));
    EXPECT_EQ(doc.Capacity(), 2 * kSegment);
    EXPECT_EQ(doc.SegmentCount(), 2);
}

TEST_F(ElementTableTest, NavigationAcrossSegmentBoundary)
{
    ASSERT_TRUE(doc.LoadText(FlatDocument(kSegment).c_str()));
    ASSERT_TRUE(doc.FindElement("r"));
    std::int32_t children = 0;
    while (doc.FindChild("e")) {
        ++children;
    }
    EXPECT_EQ(children, kSegment);
    EXPECT_EQ(doc.ChildIndex(), kSegment + 1);
}

}  // namespace
