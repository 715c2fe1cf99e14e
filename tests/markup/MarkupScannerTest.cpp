// Token by token: types, extents, names and the empty-tag flag.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "markup/MarkupScanner.h"

namespace {

class MarkupScannerTest : public ::testing::Test {
protected:
    // Scans the whole text and returns "type:offset:length" per token, up to the end or the
    // first failure.
    std::vector<std::string> Tokens(const std::string& source)
    {
        text = source;
        cursor = ScanCursor{};
        cursor.text = text.c_str();
        std::vector<std::string> result;
        for (;;) {
            const std::int32_t type = ScanToken(cursor, token);
            EXPECT_EQ(type, token.type);
            if (type == TOK_EOF) {
                EXPECT_EQ(token.length, 0);
                return result;
            }
            result.push_back(std::to_string(type) + ":" + std::to_string(token.offset) + ":" +
                             std::to_string(token.length));
            if (type == TOK_ERROR) {
                return result;
            }
            EXPECT_EQ(cursor.next, token.offset + token.length);
        }
    }

    std::int32_t ScanFirst(const std::string& source)
    {
        text = source;
        cursor = ScanCursor{};
        cursor.text = text.c_str();
        return ScanToken(cursor, token);
    }

    std::string text;
    ScanCursor cursor;
    MarkupToken token;
};

using TokenList = std::vector<std::string>;

TEST_F(MarkupScannerTest, EmptyTextIsEof)
{
    EXPECT_EQ(ScanFirst(""), TOK_EOF);
    EXPECT_EQ(token.offset, 0);
    EXPECT_EQ(token.length, 0);
}

TEST_F(MarkupScannerTest, SpaceTextAndTags)
{
    EXPECT_EQ(Tokens(" \t\r\n<a>x y</a>  z"),
              (TokenList{"4:0:4", "1:4:3", "2:7:3", "0:10:4", "2:14:3"}));
}

TEST_F(MarkupScannerTest, SpaceTurningIntoText)
{
    EXPECT_EQ(Tokens("  ab<a/>"), (TokenList{"2:0:4", "1:4:4"}));
    EXPECT_EQ(Tokens("<a/>  "), (TokenList{"1:0:4", "4:4:2"}));
}

TEST_F(MarkupScannerTest, TextEndsAtGreaterThanInclusive)
{
    EXPECT_EQ(Tokens("a>b<r/>"), (TokenList{"2:0:2", "2:2:1", "1:3:4"}));
}

TEST_F(MarkupScannerTest, StartTagNameAndEmptyFlag)
{
    EXPECT_EQ(ScanFirst("<ROOT a=\"1\"/>"), TOK_START_TAG);
    EXPECT_EQ(token.Name(text.c_str()), "ROOT");
    EXPECT_EQ(token.length, 13);
    EXPECT_EQ(token.flags, TOKEN_EMPTY_TAG);

    EXPECT_EQ(ScanFirst("<a=b>"), TOK_START_TAG);
    EXPECT_EQ(token.Name(text.c_str()), "a=b");
    EXPECT_EQ(token.flags, 0u);

    EXPECT_EQ(ScanFirst("<x\ny='/'>"), TOK_START_TAG);
    EXPECT_EQ(token.Name(text.c_str()), "x");
    EXPECT_EQ(token.flags, 0u) << "the '/' before '>' is a quote here";
}

TEST_F(MarkupScannerTest, QuotesNestOnlyOneKind)
{
    EXPECT_EQ(ScanFirst("<a b=\"'>\" c='\">'>"), TOK_START_TAG);
    EXPECT_EQ(token.length, 17);
}

TEST_F(MarkupScannerTest, EndTagNameIsTheCursorWord)
{
    ASSERT_EQ(ScanFirst("</name  >"), TOK_END_TAG);
    EXPECT_EQ(std::string(cursor.Word(), static_cast<size_t>(cursor.WordLength())), "name");
    EXPECT_EQ(token.length, 9);
    EXPECT_TRUE(token.text.empty());
}

TEST_F(MarkupScannerTest, CommentsCdataAndProcessingInstructions)
{
    EXPECT_EQ(Tokens("<!-- a > b -- c --><![CDATA[ x>y ]] ]]><?pi a>b ?>"),
              (TokenList{"32:0:19", "8:19:20", "16:39:11"}));
    EXPECT_EQ(ScanFirst("<?target data?>"), TOK_PI);
    EXPECT_EQ(token.text, "target");
}

TEST_F(MarkupScannerTest, ShortestComment)
{
    EXPECT_EQ(Tokens("<!-->"), (TokenList{"32:0:5"}));
}

TEST_F(MarkupScannerTest, DoctypeWithInternalSubset)
{
    const std::string doctype =
        "<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!ATTLIST r a CDATA #IMPLIED><!ENTITY e 'v'>"
        "<!NOTATION n SYSTEM 'x'><!-- c > --><?pi ?>]>";
    EXPECT_EQ(Tokens(doctype + "<r/>"), (TokenList{"64:0:" + std::to_string(doctype.size()),
                                                   "1:" + std::to_string(doctype.size()) + ":4"}));
    EXPECT_EQ(Tokens("<!DOCTYPE r SYSTEM 'r.dtd'>"), (TokenList{"64:0:27"}));
}

TEST_F(MarkupScannerTest, BracketAfterBangInsideDoctypeOpensNothing)
{
    // No CDATA section inside a declaration: "<![" there is stepped over.
    EXPECT_EQ(Tokens("<!DOCTYPE r [<![ x ]>"), (TokenList{"64:0:21"}));
    EXPECT_EQ(Tokens("<!DOCTYPE r [<!DOCTYPE x>"), (TokenList{"64:0:25"}));
}

TEST_F(MarkupScannerTest, StrayMarkupDeclaration)
{
    EXPECT_EQ(ScanFirst("<!ENTITY e 'v'>"), TOK_ERROR);
    EXPECT_EQ(token.text, "Markup declaration at offset 0 outside Doctype");
}

TEST_F(MarkupScannerTest, TrailByteBracketDoesNotCloseCdata)
{
    // "\xB1\x5D" is one character whose trail byte is ']': "\xB1\x5D]>" holds no "]]>".
    EXPECT_EQ(Tokens("<![CDATA[\xB1\x5D]>]]>"), (TokenList{"8:0:16"}));
    EXPECT_EQ(Tokens("<![CDATA[\xB1\x5D]]>"), (TokenList{"8:0:14"}));
}

TEST_F(MarkupScannerTest, MultibyteTextAndNames)
{
    EXPECT_EQ(Tokens("\xD6\xD0\xB1\x5C<\xD6\xD0 a='\xB1\x5C'/>"), (TokenList{"2:0:4", "1:4:12"}));
    EXPECT_EQ(token.Name(text.c_str()), "\xD6\xD0");
}

TEST_F(MarkupScannerTest, LeadByteAtTheEndStaysInside)
{
    EXPECT_EQ(Tokens("ab\x81"), (TokenList{"2:0:3"}));
    EXPECT_EQ(Tokens("<a b='\x81"), (TokenList{"-1:0:0"}));
    EXPECT_EQ(token.text, "Element tag at offset 0 unterminated");
}

TEST_F(MarkupScannerTest, LeadByteBeforeQuoteDoesNotSwallowIt)
{
    // 0x81 followed by a quote is no character pair; the quote still closes the value.
    EXPECT_EQ(ScanFirst("<a b='\x81'>"), TOK_START_TAG);
    EXPECT_EQ(token.length, 9);
}

}  // namespace
