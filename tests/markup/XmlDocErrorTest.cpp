// Every way a parse fails, with its exact message, and the state a failure leaves behind.
#include <gtest/gtest.h>

#include <string>

#include "markup/XmlDoc.h"

namespace {

struct FailureCase {
    const char* text;
    const char* message;
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << '"' << (c.text != nullptr ? c.text : "(null)") << '"';
}

class XmlDocFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(XmlDocFailureTest, FailsWithExactMessage)
{
    CXmlDoc doc;
    EXPECT_FALSE(doc.LoadText(GetParam().text));
    EXPECT_EQ(doc.ErrorText(), GetParam().message);
    // No root is left to find, whatever came before the error.
    EXPECT_FALSE(doc.FindElement());
    EXPECT_FALSE(doc.FindChild());
    EXPECT_EQ(doc.UsedEntries(), 1);
    ASSERT_NE(doc.EntryAt(0), nullptr);
    EXPECT_EQ(doc.EntryAt(0)->firstChild, 0);
    EXPECT_EQ(doc.EntryAt(0)->length, 0);
    EXPECT_EQ(doc.ParentIndex(), 0);
    EXPECT_EQ(doc.CurrentIndex(), 0);
    EXPECT_EQ(doc.ChildIndex(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    DocumentLevel, XmlDocFailureTest,
    ::testing::Values(FailureCase{nullptr, "Empty document"}, FailureCase{"", "Empty document"},
                      FailureCase{" \r\n\t ", "Root element not found"},
                      FailureCase{"just text", "Root element not found"},
                      FailureCase{
                          "<!-- c --><?pi x?><![CDATA[<a/>]]><!DOCTYPE a [<!ELEMENT a ANY>]>",
                          "Root element not found"}));

INSTANTIATE_TEST_SUITE_P(
    ElementStructure, XmlDocFailureTest,
    ::testing::Values(
        FailureCase{"<a/><b/>", "Element 'b' at offset 4 is sibling to root"},
        FailureCase{"<a></a> <b x='1'></b>", "Element 'b' at offset 8 is sibling to root"},
        FailureCase{"<a><b></a>",
                    "End tag 'a' at offset 7 does not match start tag 'b' at offset 3"},
        FailureCase{"<ab></a>",
                    "End tag 'a' at offset 5 does not match start tag 'ab' at offset 0"},
        FailureCase{"<a></>", "End tag '' at offset 4 does not match start tag 'a' at offset 0"},
        FailureCase{"</a>", "No start tag for end tag 'a' at offset 0"},
        FailureCase{"<a/> </a >", "No start tag for end tag 'a' at offset 5"},
        FailureCase{"<a>", "Element 'a' at offset 0 not ended"},
        FailureCase{"<r><a><b/>", "Element 'a' at offset 3 not ended"},
        FailureCase{"<ROOT><x></y></ROOT>",
                    "End tag 'y' at offset 10 does not match start tag 'x' at offset 6"}));

INSTANTIATE_TEST_SUITE_P(
    Unterminated, XmlDocFailureTest,
    ::testing::Values(FailureCase{"<a", "Element tag at offset 0 unterminated"},
                      FailureCase{"<r><a b='>", "Element tag at offset 3 unterminated"},
                      FailureCase{"<r></r", "Element end tag at offset 3 unterminated"},
                      FailureCase{"<r/><![CDATA[ x ]]", "CDATA Section at offset 4 unterminated"},
                      FailureCase{"<?xml ?", "Processing instruction at offset 0 unterminated"},
                      FailureCase{"<?>", "Processing instruction at offset 0 unterminated"},
                      FailureCase{"<r/><!-- x --", "Comment at offset 4 unterminated"},
                      FailureCase{"<r/><!-- x ->", "Comment at offset 4 unterminated"},
                      FailureCase{"<!DOCTYPE r [<!ELEMENT r ANY>",
                                  "Doctype at offset 0 unterminated"},
                      FailureCase{"<", "tag at offset 0 unterminated"},
                      FailureCase{"<r/><!", "tag at offset 4 unterminated"},
                      FailureCase{"<r/><!-", "tag at offset 4 unterminated"},
                      FailureCase{"<r/><!ENTITY", "tag at offset 4 unterminated"}));

INSTANTIATE_TEST_SUITE_P(
    Incorrect, XmlDocFailureTest,
    ::testing::Values(FailureCase{"<1>", "Incorrect tag name character at offset 0"},
                      FailureCase{"<!x>", "Incorrect ! tag at offset 0"},
                      FailureCase{"<!-x>", "Incorrect comment tag at offset 0"},
                      FailureCase{"<![x>", "Incorrect tag at offset 0"},
                      FailureCase{"<r>< a/></r>", "Incorrect tag name character at offset 3"},
                      FailureCase{"<r/>\n<@>", "Incorrect tag name character at offset 5"},
                      // Inside a document type declaration the offset is that of the last '>' met.
                      FailureCase{"<!DOCTYPE r [<!ELEMENT r ANY><1>]>",
                                  "Incorrect tag name character at offset 28"},
                      FailureCase{"<!DOCTYPE r [<!x>]>", "Incorrect ! tag at offset 0"},
                      FailureCase{"<!DOCTYPE r [<!-- c --><!-x]>",
                                  "Incorrect comment tag at offset 22"}));

INSTANTIATE_TEST_SUITE_P(
    StrayDeclaration, XmlDocFailureTest,
    ::testing::Values(FailureCase{"<!ELEMENT r ANY><r/>",
                                  "Markup declaration at offset 0 outside Doctype"},
                      FailureCase{"<r><!ATTLIST r a CDATA #IMPLIED></r>",
                                  "Markup declaration at offset 3 outside Doctype"},
                      FailureCase{"<r/> <!NOTATION n SYSTEM 'n'>",
                                  "Markup declaration at offset 5 outside Doctype"}));

TEST(XmlDocNestingLimitTest, DepthBeyondLevelBitsFails)
{
    constexpr int kElements = 65537;  // the last would need level 65536
    std::string text;
    for (int i = 0; i < kElements; ++i) {
        text += "<a>";
    }
    for (int i = 0; i < kElements; ++i) {
        text += "</a>";
    }
    CXmlDoc doc;
    EXPECT_FALSE(doc.LoadText(text.c_str()));
    EXPECT_EQ(doc.ErrorText(), "Element 'a' at offset 196608 is nested deeper than 65535 levels");
    EXPECT_FALSE(doc.FindElement("a"));
}

TEST(XmlDocFailureStateTest, FailedLoadForgetsEarlierRoot)
{
    CXmlDoc doc;
    ASSERT_TRUE(doc.LoadText("<ROOT><a/></ROOT>"));
    ASSERT_TRUE(doc.FindElement("ROOT"));
    ASSERT_TRUE(doc.FindChild());
    EXPECT_FALSE(doc.LoadText("<ROOT><a/></ROOT><b/>"));
    EXPECT_EQ(doc.ErrorText(), "Element 'b' at offset 17 is sibling to root");
    EXPECT_EQ(doc.CurrentIndex(), 0);
    EXPECT_EQ(doc.ChildIndex(), 0);
    EXPECT_FALSE(doc.FindElement("ROOT"));
    EXPECT_FALSE(doc.EnterElement());
    EXPECT_FALSE(doc.LeaveElement());
    EXPECT_TRUE(doc.ChildName().empty());
    EXPECT_TRUE(doc.AttributeName(0).empty());

    ASSERT_TRUE(doc.LoadText("<ROOT/>"));
    EXPECT_TRUE(doc.ErrorText().empty()) << "a successful parse clears the message";
    EXPECT_TRUE(doc.FindElement("ROOT"));
}

}  // namespace
