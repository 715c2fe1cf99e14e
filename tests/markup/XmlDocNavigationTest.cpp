// The (parent, current, child) window after each navigation step.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "markup/XmlDoc.h"

namespace {

using Window = std::tuple<std::int32_t, std::int32_t, std::int32_t>;

class XmlDocNavigationTest : public ::testing::Test {
protected:
    Window At() const { return Window{doc.ParentIndex(), doc.CurrentIndex(), doc.ChildIndex()}; }

    CXmlDoc doc;
};

// Indices in document order: ROOT 1, A 2, A1 3, A2 4, B 5, C 6, C1 7.
constexpr const char* kTree = "<ROOT><A><A1/><A2 x='1'/></A><B/><C><C1/></C></ROOT>";

TEST_F(XmlDocNavigationTest, NothingWorksBeforeLoading)
{
    EXPECT_FALSE(doc.FindElement());
    EXPECT_FALSE(doc.FindChild());
    EXPECT_FALSE(doc.EnterElement());
    EXPECT_FALSE(doc.LeaveElement());
    EXPECT_TRUE(doc.ChildName().empty());
    EXPECT_TRUE(doc.AttributeValue("x").empty());
    EXPECT_TRUE(doc.AttributeName(0).empty());
    EXPECT_EQ(At(), Window(0, 0, 0));
}

TEST_F(XmlDocNavigationTest, LoadResetsWindow)
{
    ASSERT_TRUE(doc.LoadText(kTree));
    ASSERT_TRUE(doc.FindElement("ROOT"));
    ASSERT_TRUE(doc.FindChild());
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.LoadText(kTree));
    EXPECT_EQ(At(), Window(0, 0, 0));
}

TEST_F(XmlDocNavigationTest, WalkDownAndUp)
{
    ASSERT_TRUE(doc.LoadText(kTree));
    ASSERT_TRUE(doc.FindElement("ROOT"));
    EXPECT_EQ(At(), Window(0, 1, 0));
    EXPECT_FALSE(doc.FindElement()) << "the root has no sibling";
    EXPECT_EQ(At(), Window(0, 1, 0));

    ASSERT_TRUE(doc.FindChild());
    EXPECT_EQ(At(), Window(0, 1, 2));
    EXPECT_EQ(doc.ChildName(), "A");
    ASSERT_TRUE(doc.FindChild());
    EXPECT_EQ(At(), Window(0, 1, 5));
    ASSERT_TRUE(doc.FindChild());
    EXPECT_EQ(At(), Window(0, 1, 6));
    EXPECT_FALSE(doc.FindChild());
    EXPECT_EQ(At(), Window(0, 1, 6)) << "a failed FindChild leaves the window";

    ASSERT_TRUE(doc.EnterElement());
    EXPECT_EQ(At(), Window(1, 6, 0));
    ASSERT_TRUE(doc.FindChild("C1"));
    EXPECT_EQ(At(), Window(1, 6, 7));
    ASSERT_TRUE(doc.EnterElement());
    EXPECT_EQ(At(), Window(6, 7, 0));

    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(At(), Window(1, 6, 7));
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(At(), Window(0, 1, 6));
    EXPECT_FALSE(doc.LeaveElement()) << "nothing above the top level";
    EXPECT_EQ(At(), Window(0, 1, 6));
}

TEST_F(XmlDocNavigationTest, FindElementWalksSiblingsOnTheLevel)
{
    ASSERT_TRUE(doc.LoadText(kTree));
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.FindChild("A"));
    ASSERT_TRUE(doc.EnterElement());
    EXPECT_EQ(At(), Window(1, 2, 0));
    ASSERT_TRUE(doc.FindElement("C"));
    EXPECT_EQ(At(), Window(1, 6, 0));
    EXPECT_FALSE(doc.FindElement("B")) << "the search runs forward only";
    EXPECT_EQ(At(), Window(1, 6, 0));
}

TEST_F(XmlDocNavigationTest, FindChildByNameSkipsOthers)
{
    ASSERT_TRUE(doc.LoadText(kTree));
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.FindChild("C"));
    EXPECT_EQ(At(), Window(0, 1, 6));
    EXPECT_FALSE(doc.FindChild("A"));
    EXPECT_EQ(At(), Window(0, 1, 6));
}

TEST_F(XmlDocNavigationTest, FindChildWithoutCurrentFindsTheRootFirst)
{
    ASSERT_TRUE(doc.LoadText(kTree));
    ASSERT_TRUE(doc.FindChild("B"));
    EXPECT_EQ(At(), Window(0, 1, 5));
}

TEST_F(XmlDocNavigationTest, EnterWithoutChildThenLeave)
{
    ASSERT_TRUE(doc.LoadText(kTree));
    ASSERT_TRUE(doc.FindElement("ROOT"));
    ASSERT_TRUE(doc.FindChild("B"));
    ASSERT_TRUE(doc.EnterElement());
    EXPECT_EQ(At(), Window(1, 5, 0));
    ASSERT_TRUE(doc.EnterElement());
    EXPECT_EQ(At(), Window(5, 0, 0)) << "no child selected: no element is current";
    EXPECT_FALSE(doc.EnterElement());
    EXPECT_FALSE(doc.FindElement()) << "B has no children";
    EXPECT_TRUE(doc.AttributeName(0).empty());
    EXPECT_TRUE(doc.AttributeValue("x").empty());
    EXPECT_EQ(At(), Window(5, 0, 0));
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(At(), Window(1, 5, 0));
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(At(), Window(0, 1, 5));
}

TEST_F(XmlDocNavigationTest, FindChildWithNoCurrentLooksAtTopLevel)
{
    // Inside a childless element nothing is current, so FindChild falls back to the
    // top-level elements; the window stays consistent (the root's parent is 0).
    ASSERT_TRUE(doc.LoadText(kTree));
    ASSERT_TRUE(doc.FindChild("B"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindChild());
    EXPECT_EQ(At(), Window(5, 0, 1));
}

TEST_F(XmlDocNavigationTest, RootNameMatchRule)
{
    ASSERT_TRUE(doc.LoadText("<ROOTX/>"));
    EXPECT_FALSE(doc.FindElement("ROOT"));
    EXPECT_EQ(At(), Window(0, 0, 0));
    ASSERT_TRUE(doc.LoadText("<ROOT x=\"1\"/>"));
    EXPECT_TRUE(doc.FindElement("ROOT"));
    ASSERT_TRUE(doc.LoadText("<RO/>"));
    EXPECT_FALSE(doc.FindElement("ROOT"));
    ASSERT_TRUE(doc.LoadText("<ROOT/>"));
    EXPECT_TRUE(doc.FindElement("ROOT[1]")) << "a wanted name may go on with '['";
    ASSERT_TRUE(doc.LoadText("<ROOT/>"));
    EXPECT_FALSE(doc.FindElement("ROOTS"));
}

TEST_F(XmlDocNavigationTest, ChildNameStopsAtWordDelimiters)
{
    ASSERT_TRUE(doc.LoadText("<r><a=b></a><c?d/></r>"));
    ASSERT_TRUE(doc.FindChild());
    EXPECT_EQ(doc.ChildName(), "a");
    ASSERT_TRUE(doc.FindChild());
    EXPECT_EQ(doc.ChildName(), "c");
}

TEST_F(XmlDocNavigationTest, MultibyteNamesWithBackslashTrailByte)
{
    // "\xB1\x5C" ends with the byte of '\\', a word delimiter; the name must not split there.
    ASSERT_TRUE(doc.LoadText("<\xD6\xD0><\xB1\x5C\xB1\x5C z='1'/></\xD6\xD0>"));
    ASSERT_TRUE(doc.FindElement("\xD6\xD0"));
    ASSERT_TRUE(doc.FindChild("\xB1\x5C\xB1\x5C"));
    EXPECT_EQ(doc.ChildName(), "\xB1\x5C\xB1\x5C");
    ASSERT_TRUE(doc.LoadText("<\xD6\xD0><\xB1\x5C\xB1\x5C z='1'/></\xD6\xD0>"));
    ASSERT_TRUE(doc.FindElement());
    EXPECT_FALSE(doc.FindChild("\xB1")) << "the name is four bytes, not one";
}

TEST_F(XmlDocNavigationTest, WantedNameSplittingACharacterDoesNotMatch)
{
    // The tag "a" plus a lone lead byte is not the start of "a" + the character "\x81\x5B".
    ASSERT_TRUE(doc.LoadText("<a\x81 x='1'/>"));
    EXPECT_FALSE(doc.FindElement("a\x81\x5B"));
    EXPECT_TRUE(doc.FindElement("a\x81 "));
}

}  // namespace
