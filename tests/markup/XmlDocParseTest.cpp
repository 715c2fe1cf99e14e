// The element table that a successful parse leaves behind.
#include <gtest/gtest.h>

#include <string>

#include "markup/XmlDoc.h"

namespace {

class XmlDocParseTest : public ::testing::Test {
protected:
    const ElementEntry& At(std::int32_t index)
    {
        const ElementEntry* entry = doc.EntryAt(index);
        EXPECT_NE(entry, nullptr) << "no entry " << index;
        static const ElementEntry none{};
        return entry != nullptr ? *entry : none;
    }

    CXmlDoc doc;
};

TEST_F(XmlDocParseTest, NewDocumentHasNoTable)
{
    EXPECT_EQ(doc.Capacity(), 0);
    EXPECT_EQ(doc.SegmentCount(), 0);
    EXPECT_EQ(doc.EntryAt(0), nullptr);
    EXPECT_TRUE(doc.ErrorText().empty());
}

TEST_F(XmlDocParseTest, EmptyElementTagIsRootWithItsOwnLength)
{
    ASSERT_TRUE(doc.LoadText("<ROOT/>"));
    EXPECT_TRUE(doc.ErrorText().empty());
    EXPECT_EQ(doc.UsedEntries(), 2);
    EXPECT_EQ(At(0).firstChild, 1);
    EXPECT_EQ(At(0).length, 7);
    EXPECT_EQ(At(1).offset, 0);
    EXPECT_EQ(At(1).length, 7);
    EXPECT_EQ(At(1).StartTagLength(), 7);
    EXPECT_EQ(At(1).EndTagLength(), 0);
    EXPECT_EQ(At(1).firstChild, 0);
    EXPECT_EQ(At(1).parent, 0);
    EXPECT_EQ(At(1).Level(), 0);
    EXPECT_TRUE(At(1).IsFirstChild());
    EXPECT_EQ(At(1).prev, 1);
}

TEST_F(XmlDocParseTest, TreeLinksLevelsAndLengths)
{
    //                         0         1         2         3         4
    //                         0123456789012345678901234567890123456789012345
    const std::string text = "<r a='1'><x><y/></x><z></z >\n<w/></r>";
    ASSERT_TRUE(doc.LoadText(text.c_str())) << doc.ErrorText();
    ASSERT_EQ(doc.UsedEntries(), 6);
    EXPECT_EQ(At(0).length, static_cast<std::int32_t>(text.size()));

    const ElementEntry& r = At(1);
    EXPECT_EQ(r.offset, 0);
    EXPECT_EQ(r.length, static_cast<std::int32_t>(text.size()));
    EXPECT_EQ(r.StartTagLength(), 9);
    EXPECT_EQ(r.EndTagLength(), 4);
    EXPECT_EQ(r.firstChild, 2);

    const ElementEntry& x = At(2);
    EXPECT_EQ(x.offset, 9);
    EXPECT_EQ(x.length, 11);
    EXPECT_EQ(x.Level(), 1);
    EXPECT_EQ(x.parent, 1);
    EXPECT_EQ(x.firstChild, 3);
    EXPECT_TRUE(x.IsFirstChild());
    EXPECT_EQ(x.prev, 5) << "the first child points back to the last";
    EXPECT_EQ(x.next, 4);

    const ElementEntry& y = At(3);
    EXPECT_EQ(y.offset, 12);
    EXPECT_EQ(y.length, 4);
    EXPECT_EQ(y.Level(), 2);
    EXPECT_EQ(y.parent, 2);
    EXPECT_EQ(y.prev, 3) << "a lone child points to itself";
    EXPECT_EQ(y.next, 0);

    const ElementEntry& z = At(4);
    EXPECT_EQ(z.offset, 20);
    EXPECT_EQ(z.length, 8);
    EXPECT_EQ(z.EndTagLength(), 5);
    EXPECT_FALSE(z.IsFirstChild());
    EXPECT_EQ(z.prev, 2);
    EXPECT_EQ(z.next, 5);

    const ElementEntry& w = At(5);
    EXPECT_EQ(w.offset, 29);
    EXPECT_EQ(w.prev, 4);
    EXPECT_EQ(w.next, 0);
    EXPECT_EQ(w.Level(), 1);
}

TEST_F(XmlDocParseTest, MaterialAroundTheRootIsIgnored)
{
    const char* text = "<?xml version='1.0' encoding='GBK'?>\n"
                       "<!-- before -->\n"
                       "<!DOCTYPE ROOT [\n"
                       "  <!ELEMENT ROOT (P*)>\n"
                       "  <!ATTLIST P a CDATA #IMPLIED>\n"
                       "  <!ENTITY e 'x'>\n"
                       "  <!NOTATION n SYSTEM 'n'>\n"
                       "  <!-- inside -->\n"
                       "  <?pi inside?>\n"
                       "]>\n"
                       "text before\n"
                       "<ROOT><![CDATA[ <P> </ROOT> ]]><P/>chars &amp; more</ROOT>\n"
                       "<!-- after --><?after?>  trailing text";
    ASSERT_TRUE(doc.LoadText(text)) << doc.ErrorText();
    EXPECT_EQ(doc.UsedEntries(), 3);
    ASSERT_TRUE(doc.FindElement("ROOT"));
    ASSERT_TRUE(doc.FindChild());
    EXPECT_EQ(doc.ChildName(), "P");
}

TEST_F(XmlDocParseTest, DeclarationBeforeRoot)
{
    ASSERT_TRUE(doc.LoadText("<?xml version='1.0'?><ROOT/>"));
    EXPECT_EQ(At(At(0).firstChild).offset, 21);
}

TEST_F(XmlDocParseTest, GreaterThanInsideQuotedValueDoesNotEndTag)
{
    ASSERT_TRUE(doc.LoadText("<a b=\">\"/>")) << doc.ErrorText();
    EXPECT_EQ(doc.UsedEntries(), 2);
    EXPECT_EQ(At(1).length, 10);
    ASSERT_TRUE(doc.LoadText("<a b='>' c=\"'>\"></a>")) << doc.ErrorText();
    EXPECT_EQ(At(1).StartTagLength(), 16);
}

TEST_F(XmlDocParseTest, EndTagsDoNotTrackQuotes)
{
    // The end tag ends at its first '>', quote or not; what follows is character data.
    ASSERT_TRUE(doc.LoadText("<a></a \">\"")) << doc.ErrorText();
    EXPECT_EQ(At(1).EndTagLength(), 6);
}

TEST_F(XmlDocParseTest, ShortestCommentIsAccepted)
{
    EXPECT_TRUE(doc.LoadText("<!--><a/>")) << doc.ErrorText();
    EXPECT_TRUE(doc.LoadText("<a><!-- - -- ---></a>")) << doc.ErrorText();
}

TEST_F(XmlDocParseTest, EndTagMatchesByNameRule)
{
    EXPECT_TRUE(doc.LoadText("<a=b></a>")) << doc.ErrorText();
    EXPECT_TRUE(doc.LoadText("<a[1]></a>")) << doc.ErrorText();
    EXPECT_TRUE(doc.LoadText("<a\tb='1'></a >")) << doc.ErrorText();
    EXPECT_FALSE(doc.LoadText("<ab></a>"));
    EXPECT_FALSE(doc.LoadText("<a></ab>"));
    EXPECT_FALSE(doc.LoadText("<A></a>")) << "names are case-sensitive";
}

TEST_F(XmlDocParseTest, TrailByteBracketDoesNotStretchAName)
{
    // "\xB1\x5B" is one character whose trail byte is '['; the end tag stops before it.
    EXPECT_TRUE(doc.LoadText("<a\xB1\x5B></a\xB1\x5B>")) << doc.ErrorText();
    EXPECT_FALSE(doc.LoadText("<a\x81\x5B></a\x81>"));
}

TEST_F(XmlDocParseTest, MultibyteNamesAndText)
{
    // Tag names and text in the code page; trail bytes '\\', '[' and ']' included.
    const char* text = "<\xD6\xD0\xB1\x5C x='\xB1\x5D'>\xB1\x5B\xB1\x5D</\xD6\xD0\xB1\x5C>";
    ASSERT_TRUE(doc.LoadText(text)) << doc.ErrorText();
    EXPECT_EQ(At(1).EndTagLength(), 7);
}

TEST_F(XmlDocParseTest, ReloadReplacesTableAndKeepsCapacity)
{
    ASSERT_TRUE(doc.LoadText(std::string("<r>" + std::string(2000, ' ') + "</r>").c_str()));
    const std::int32_t capacity = doc.Capacity();
    EXPECT_EQ(capacity, 2007 / 64 + 8);
    ASSERT_TRUE(doc.LoadText("<s><t/></s>"));
    EXPECT_EQ(doc.Capacity(), capacity);
    EXPECT_EQ(doc.UsedEntries(), 3);
    ASSERT_TRUE(doc.FindElement("s"));
    EXPECT_FALSE(doc.FindElement("r"));
}

TEST_F(XmlDocParseTest, LongTagsSaturateTheirLengthBits)
{
    // A start tag too long for its 20 bits must not spill into the end-tag bits.
    const std::string value(0x100000, 'v');
    const std::string name(1100, 'n');
    const std::string text = "<" + name + " a='" + value + "'></" + name + ">";
    ASSERT_TRUE(doc.LoadText(text.c_str())) << doc.ErrorText();
    EXPECT_EQ(At(1).StartTagLength(), 0xFFFFF);
    EXPECT_EQ(At(1).EndTagLength(), 0x3FF);
    EXPECT_EQ(At(1).length, static_cast<std::int32_t>(text.size()));
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.AttributeValue("a").size(), value.size());
}

TEST_F(XmlDocParseTest, DeepestSupportedNesting)
{
    constexpr int kElements = 65536;  // levels 0 to 65535
    std::string text;
    for (int i = 0; i < kElements; ++i) {
        text += "<a>";
    }
    for (int i = 0; i < kElements; ++i) {
        text += "</a>";
    }
    ASSERT_TRUE(doc.LoadText(text.c_str())) << doc.ErrorText();
    EXPECT_EQ(At(kElements).Level(), 65535);
    EXPECT_EQ(At(kElements).parent, kElements - 1);
    EXPECT_EQ(At(kElements).length, 7);
}

TEST_F(XmlDocParseTest, BorrowedTextParsesAndReadsLikeACopy)
{
    const std::string text = "<ROOT><P a='1&amp;'><Q/></P></ROOT>";
    CXmlDoc copy;
    ASSERT_TRUE(copy.LoadText(text.c_str()));
    ASSERT_TRUE(doc.LoadText("<old/>"));
    ASSERT_TRUE(doc.LoadBorrowedText(text.c_str()));
    ASSERT_EQ(doc.UsedEntries(), copy.UsedEntries());
    for (std::int32_t i = 0; i < doc.UsedEntries(); ++i) {
        EXPECT_EQ(At(i).offset, copy.EntryAt(i)->offset);
        EXPECT_EQ(At(i).length, copy.EntryAt(i)->length);
    }
    EXPECT_EQ(doc.TextLength(), text.size());
    ASSERT_TRUE(doc.FindElement("ROOT") && doc.FindChild() && doc.EnterElement());
    EXPECT_EQ(doc.AttributeValue("a"), "1&");
    EXPECT_FALSE(doc.LoadBorrowedText(nullptr));
    EXPECT_EQ(doc.ErrorText(), "Empty document");
}

}  // namespace
