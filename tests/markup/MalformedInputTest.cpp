// Truncated and arbitrary input: every reader stays inside the text (run under the address
// sanitizer), every parse ends with a verdict, and what a parse accepts is consistent.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "markup/MarkupScanner.h"
#include "markup/TextDecoder.h"
#include "markup/WordReader.h"
#include "markup/XmlDoc.h"

namespace {

// A document with one of every construct, so that its prefixes end inside each of them.
constexpr const char* kRichDocument =
    "<?xml version='1.0' encoding='GBK'?>\n"
    "<!DOCTYPE ROOT [<!ELEMENT ROOT ANY><!ATTLIST P a CDATA #IMPLIED><!-- c --><?p i?>]>\n"
    "<!-- comment -->\n"
    "<ROOT v=\"&lt;&#65;&#x4E2D;&bogus;&#0;\" w='\xD6\xD0\xB1\x5C'>\n"
    "  <P a=\"1\" b='2' c=3 d />text &amp; more\xB1\x5D"
    "<![CDATA[ raw <x> ]]>\n"
    "  <\xD6\xD0 n='\xB1\x5B&#30453;'>\xB1\x5C</\xD6\xD0>\n"
    "  <Q r='&#12345678;' s='&#x41'/>\n"
    "</ROOT>\n";

// A heap copy of exactly the text and its NUL, so that a read past the NUL is caught.
std::unique_ptr<char[]> ExactCopy(const std::string& text)
{
    auto copy = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

// Runs the tokenizer over the whole text and the word reader and decoder from every offset.
void ScanEverything(const std::string& source)
{
    const auto text = ExactCopy(source);
    const auto length = static_cast<std::int32_t>(source.size());

    ScanCursor cursor;
    cursor.text = text.get();
    MarkupToken token;
    for (std::int32_t tokens = 0;; ++tokens) {
        const std::int32_t before = cursor.next;
        const std::int32_t type = ScanToken(cursor, token);
        if (type == TOK_EOF || type == TOK_ERROR) {
            EXPECT_FALSE(type == TOK_ERROR && token.text.empty());
            break;
        }
        ASSERT_GT(cursor.next, before) << "a token must move the cursor";
        ASSERT_LE(cursor.next, length);
        ASSERT_LE(tokens, length);
    }

    for (std::int32_t start = 0; start <= length; ++start) {
        ScanCursor words;
        words.text = text.get();
        words.next = start;
        for (std::int32_t count = 0; ScanWord(words); ++count) {
            ASSERT_LE(words.next, length);
            ASSERT_LE(count, length);
            const std::string value = DecodeText(text.get(), words.wordStart, words.WordLength());
            ASSERT_LE(static_cast<std::int32_t>(value.size()), words.WordLength());
        }
        ScanCursor attributes;
        attributes.text = text.get();
        attributes.next = start;
        for (std::int32_t count = 0; FindAttribute(attributes, nullptr); ++count) {
            ASSERT_LE(count, length);
        }
        attributes.next = start;
        FindAttribute(attributes, "a");
        ASSERT_LE(attributes.next, length);
    }
}

// Checks the table of a successful parse against the text.
void CheckTable(const CXmlDoc& doc, const std::string& text)
{
    const auto length = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 1; i < doc.UsedEntries(); ++i) {
        const ElementEntry* entry = doc.EntryAt(i);
        ASSERT_NE(entry, nullptr);
        ASSERT_GE(entry->offset, 0);
        ASSERT_GT(entry->length, 0);
        ASSERT_LE(entry->offset + entry->length, length);
        EXPECT_EQ(text[static_cast<size_t>(entry->offset)], '<');
        EXPECT_EQ(text[static_cast<size_t>(entry->offset + entry->length - 1)], '>');
        ASSERT_GE(entry->parent, 0);
        ASSERT_LT(entry->parent, i) << "parents come before their children";
    }
}

// Walks the whole tree with every navigation operation and checks the window after each step.
void WalkEverything(CXmlDoc& doc)
{
    auto checkWindow = [&doc] {
        if (doc.CurrentIndex() != 0) {
            ASSERT_EQ(doc.EntryAt(doc.CurrentIndex())->parent, doc.ParentIndex());
        }
        if (doc.ChildIndex() != 0) {
            ASSERT_EQ(doc.EntryAt(doc.ChildIndex())->parent, doc.CurrentIndex());
        }
    };
    if (!doc.FindElement()) {
        return;
    }
    int depth = 0;
    for (int steps = 0; steps < 100000; ++steps) {
        checkWindow();
        for (int i = 0; i < 50; ++i) {
            const std::string name = doc.AttributeName(i);
            if (name.empty()) {
                break;
            }
            doc.AttributeValue(name.c_str());
        }
        if (doc.FindChild()) {
            doc.ChildName();
            doc.FindChild("a");
            ASSERT_TRUE(doc.EnterElement());
            ++depth;
            continue;
        }
        if (depth == 0) {
            return;
        }
        ASSERT_TRUE(doc.LeaveElement());
        --depth;
    }
    FAIL() << "the walk did not end";
}

void LoadAndWalk(const std::string& text)
{
    CXmlDoc doc;
    const bool ok = doc.LoadText(text.c_str());
    EXPECT_NE(ok, !doc.ErrorText().empty())
        << "a verdict comes with a message exactly when it fails";
    if (ok) {
        CheckTable(doc, text);
    } else {
        EXPECT_FALSE(doc.FindElement());
    }
    WalkEverything(doc);
}

TEST(MalformedInputTest, RichDocumentParsesAndWalks)
{
    CXmlDoc doc;
    ASSERT_TRUE(doc.LoadText(kRichDocument)) << doc.ErrorText();
    EXPECT_EQ(doc.UsedEntries(), 5);
    ASSERT_TRUE(doc.FindElement("ROOT"));
    EXPECT_EQ(doc.AttributeValue("v"), "<A\xD6\xD0&bogus;&#0;");
    EXPECT_EQ(doc.AttributeValue("w"), "\xD6\xD0\xB1\x5C");
    LoadAndWalk(kRichDocument);
}

TEST(MalformedInputTest, EveryPrefixOfRichDocument)
{
    const std::string full = kRichDocument;
    for (size_t n = 0; n <= full.size(); ++n) {
        const std::string prefix = full.substr(0, n);
        SCOPED_TRACE(n);
        LoadAndWalk(prefix);
        ScanEverything(prefix);
        if (HasFatalFailure()) {
            return;
        }
    }
}

TEST(MalformedInputTest, TextEndingInsideEachConstruct)
{
    for (const char* text :
         {"<r a='x", "<r a=\"x", "<r><!-- c", "<!DOCTYPE r [<!ELEMENT r", "<r a='&#6", "<r a='&#x4",
          "<r a='&#", "<r a='&", "<r a='&#65", "<r a='\x81", "<r>\x81", "\x81", "<\x81",
          "<r/><![CDATA[\x81", "<r/><?pi \x81", "<r a='\xB1\x5C", "</\x81"}) {
        SCOPED_TRACE(text);
        CXmlDoc doc;
        EXPECT_FALSE(doc.LoadText(text));
        EXPECT_FALSE(doc.ErrorText().empty());
        ScanEverything(text);
    }
}

TEST(MalformedInputTest, ArbitraryBytes)
{
    // Markup characters, lead and trail bytes, and a few others, in random order.
    static const char kAlphabet[] =
        "<<<>>>//!!?"
        "?--[]]CDEANx#;&&='\"\"'  \t\n0123456789abcP\x81\xB1\x5C\x5B\x5D\xD6\xD0\xFE\x7F\x80";
    std::mt19937 random(20240611);
    std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
    std::uniform_int_distribution<int> size(1, 48);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int n = size(random);
        for (int i = 0; i < n; ++i) {
            text.push_back(kAlphabet[pick(random)]);
        }
        SCOPED_TRACE(text);
        LoadAndWalk(text);
        ScanEverything(text);
        if (HasFatalFailure()) {
            return;
        }
    }
}

TEST(MalformedInputTest, RandomWellFormedTreesParse)
{
    // Random nesting of a few names with attributes: every one must parse and walk fully.
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string text = "<ROOT>";
        std::vector<std::string> open{"ROOT"};
        int elements = 1;
        for (int step = 0; step < 60; ++step) {
            const int action = static_cast<int>(random() % 3);
            if (action == 0 && open.size() > 1) {
                text += "</" + open.back() + ">";
                open.pop_back();
            } else {
                const std::string name =
                    std::string(1, static_cast<char>('a' + random() % 3)) + "\xB1\x5C";
                text += "<" + name + " k='v&amp;" + std::to_string(step) + "'";
                ++elements;
                if (action == 1) {
                    text += "/>";
                } else {
                    text += ">";
                    open.push_back(name);
                }
            }
        }
        while (!open.empty()) {
            text += "</" + open.back() + ">";
            open.pop_back();
        }
        CXmlDoc doc;
        ASSERT_TRUE(doc.LoadText(text.c_str())) << text << "\n" << doc.ErrorText();
        EXPECT_EQ(doc.UsedEntries(), elements + 1);
        CheckTable(doc, text);
        WalkEverything(doc);
    }
}

}  // namespace
