// Attribute lookup by name and by index on the current element's start tag.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "markup/XmlDoc.h"

namespace {

class XmlDocAttributeTest : public ::testing::Test {
protected:
    // Loads "<ROOT>" + tag + "</ROOT>" and makes the tag's element current.
    void LoadTag(const std::string& tag)
    {
        const std::string text = "<ROOT>" + tag + "</ROOT>";
        ASSERT_TRUE(doc.LoadText(text.c_str())) << doc.ErrorText();
        ASSERT_TRUE(doc.FindElement("ROOT"));
        ASSERT_TRUE(doc.FindChild());
        ASSERT_TRUE(doc.EnterElement());
    }

    std::vector<std::string> Names()
    {
        std::vector<std::string> names;
        for (int i = 0; i < 100; ++i) {
            std::string name = doc.AttributeName(i);
            if (name.empty()) {
                break;
            }
            names.push_back(name);
        }
        return names;
    }

    CXmlDoc doc;
};

using NameList = std::vector<std::string>;

TEST_F(XmlDocAttributeTest, QuotedValuesByNameAndIndex)
{
    LoadTag("<P a=\"1\" b='2'/>");
    EXPECT_EQ(doc.AttributeName(0), "a");
    EXPECT_EQ(doc.AttributeName(1), "b");
    EXPECT_EQ(doc.AttributeName(2), "");
    EXPECT_EQ(doc.AttributeName(-1), "");
    EXPECT_EQ(doc.AttributeName(1000000000), "");
    EXPECT_EQ(doc.AttributeValue("a"), "1");
    EXPECT_EQ(doc.AttributeValue("b"), "2");
    EXPECT_EQ(doc.AttributeValue("c"), "");
    EXPECT_EQ(doc.AttributeValue(nullptr), "");
    EXPECT_EQ(doc.AttributeValue(""), "");
}

TEST_F(XmlDocAttributeTest, TagNameIsNoAttribute)
{
    LoadTag("<P P='x'/>");
    EXPECT_EQ(doc.AttributeValue("P"), "x");
    LoadTag("<P/>");
    EXPECT_EQ(doc.AttributeValue("P"), "");
    EXPECT_EQ(Names(), NameList{});
}

TEST_F(XmlDocAttributeTest, UnquotedValueIsNotAValue)
{
    LoadTag("<P a=1 b=\"2\"></P>");
    EXPECT_EQ(doc.AttributeValue("a"), "");
    EXPECT_EQ(doc.AttributeValue("b"), "2");
    EXPECT_EQ(doc.AttributeName(0), "a");
    EXPECT_EQ(doc.AttributeName(1), "1");
}

TEST_F(XmlDocAttributeTest, AttributeWithoutValueHidesTheNext)
{
    LoadTag("<P x y=\"1\"></P>");
    EXPECT_EQ(doc.AttributeName(0), "x");
    EXPECT_EQ(doc.AttributeName(1), "");
    EXPECT_EQ(doc.AttributeValue("y"), "1");
    EXPECT_EQ(doc.AttributeValue("x"), "") << "a quoted word three after x is not its value";
}

TEST_F(XmlDocAttributeTest, FirstOccurrenceWins)
{
    LoadTag("<P Name='A' I='7' Name='B'/>");
    EXPECT_EQ(doc.AttributeValue("Name"), "A");
    EXPECT_EQ(Names(), (NameList{"Name", "I", "Name"}));
}

TEST_F(XmlDocAttributeTest, SpacesAroundEquals)
{
    LoadTag("<P name = 'v'\n\tother\r\n=\r\n\"w\" />");
    EXPECT_EQ(doc.AttributeValue("name"), "v");
    EXPECT_EQ(doc.AttributeValue("other"), "w");
    EXPECT_EQ(Names(), (NameList{"name", "other"}));
}

TEST_F(XmlDocAttributeTest, EmptyAndTrickyQuotedValues)
{
    LoadTag("<P e='' d=\"it's\" s='say \"hi\"' g='a>b' sl='/' />");
    EXPECT_EQ(doc.AttributeValue("e"), "");
    EXPECT_EQ(doc.AttributeValue("d"), "it's");
    EXPECT_EQ(doc.AttributeValue("s"), "say \"hi\"");
    EXPECT_EQ(doc.AttributeValue("g"), "a>b");
    EXPECT_EQ(doc.AttributeValue("sl"), "/");
    EXPECT_EQ(Names(), (NameList{"e", "d", "s", "g", "sl"}));
}

TEST_F(XmlDocAttributeTest, NameMatchRuleForAttributes)
{
    LoadTag("<P ab='1' a='2'/>");
    EXPECT_EQ(doc.AttributeValue("a"), "2");
    EXPECT_EQ(doc.AttributeValue("ab"), "1");
    EXPECT_EQ(doc.AttributeValue("a=x"), "2") << "the wanted name may go on with '='";
    EXPECT_EQ(doc.AttributeValue("A"), "") << "case-sensitive";
}

TEST_F(XmlDocAttributeTest, LookupStopsAtTheEndOfTheTag)
{
    LoadTag("<P a='1'><Q b='2'/></P>");
    EXPECT_EQ(doc.AttributeValue("b"), "");
    EXPECT_EQ(Names(), NameList{"a"});
}

TEST_F(XmlDocAttributeTest, ValuesAreDecoded)
{
    LoadTag("<P v='a&lt;b&amp;c' w=\"&#65;&#x42;&quot;\"/>");
    EXPECT_EQ(doc.AttributeValue("v"), "a<b&c");
    EXPECT_EQ(doc.AttributeValue("w"), "AB\"");
    EXPECT_EQ(doc.AttributeName(0), "v") << "names are not decoded";
}

TEST_F(XmlDocAttributeTest, MultibyteValuesWithDelimiterTrailBytes)
{
    // Trail bytes equal to '\\', '[' and ']' stay inside their characters.
    LoadTag("<P \xD6\xD0\xB1\x5C='\xB1\x5C\xB1\x5B\xB1\x5D' n='\xB1\x5D&amp;'/>");
    EXPECT_EQ(doc.AttributeName(0), "\xD6\xD0\xB1\x5C");
    EXPECT_EQ(doc.AttributeValue("\xD6\xD0\xB1\x5C"), "\xB1\x5C\xB1\x5B\xB1\x5D");
    EXPECT_EQ(doc.AttributeValue("n"), "\xB1\x5D&");
}

TEST_F(XmlDocAttributeTest, RootAttributesAtTopLevel)
{
    ASSERT_TRUE(doc.LoadText("<ROOT v='1'/>"));
    EXPECT_EQ(doc.AttributeValue("v"), "") << "nothing is current yet";
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.AttributeValue("v"), "1");
}

}  // namespace
