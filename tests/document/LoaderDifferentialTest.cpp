// The loader reads each start tag once; these cases hold it to the answers of the plain
// navigator walk (tag by ChildName, attributes by AttributeName index by index, values by
// AttributeValue) over random and mutated documents, query by query.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "NavigatorWalkLoad.h"
#include "PatientDocTestAccess.h"
#include "document/PatientDoc.h"
#include "markup/XmlDoc.h"

namespace {

class CMarkupMaker {
public:
    explicit CMarkupMaker(unsigned seed) : m_rng(seed) {}

    std::string Document()
    {
        // Mostly "ROOT"; sometimes a name that is "ROOT" only by the word reader's rules, or
        // not at all.
        const std::string top =
            Chance(8) ? Pick({"ROOT=1", "ROOT\\", "ROOTX", "Root", "ROOT?", "P"}) : "ROOT";
        std::string text =
            Pick({"", "<?xml version='1.0'?>", " ", "<!-- c -->"}) + "<" + top + Attributes() + ">";
        if (!Chance(12)) {
            Element(text, 0);
        }
        // Later children of "ROOT" and what lies below them are not read.
        while (Chance(3)) {
            Element(text, 1);
        }
        return text + "</" + top + ">";
    }

    // Deletes, repeats or replaces bytes with ones that matter to the markup.
    std::string Mutate(std::string text)
    {
        const int edits = 1 + Below(4);
        for (int i = 0; i < edits && !text.empty(); ++i) {
            const auto at = static_cast<std::size_t>(Below(static_cast<int>(text.size())));
            static const char kBytes[] = "<>\"'=/&;# ?![\\\xD6\xD0\x81";
            const char byte = kBytes[Below(static_cast<int>(sizeof kBytes) - 1)];
            switch (Below(3)) {
            case 0: text.erase(at, 1); break;
            case 1: text.insert(at, 1, byte); break;
            default: text[at] = byte; break;
            }
        }
        return text;
    }

private:
    int Below(int n) { return static_cast<int>(m_rng() % static_cast<unsigned>(n)); }
    bool Chance(int n) { return Below(n) == 0; }
    std::string Pick(std::initializer_list<const char*> words)
    {
        return *(words.begin() + Below(static_cast<int>(words.size())));
    }

    // A value's parts; in a quoted value, never its own quote.
    std::string Value(char quote)
    {
        std::string value;
        const int parts = Below(4);
        for (int i = 0; i < parts; ++i) {
            std::string part = Pick({"v",         "\xD6\xD0\xCE\xC4",
                                     "&lt;",      "&amp;",
                                     "&quot;",    "&#65;",
                                     "&#65",      "&#x4e2d;",
                                     "&",         "a;b",
                                     "&#20013",   " ",
                                     "\xB1\x5C",  "&bogus;",
                                     ">",         "/>",
                                     "'",         "\"",
                                     "=",         "&#0;",
                                     "&#x42;",    "&apos;&gt;",
                                     "&#x10000;", "&#12345678;"});
            if (quote == 0 ? part.find_first_of(" \"'>/=") != std::string::npos
                           : part.find(quote) != std::string::npos) {
                part = "w";
            }
            value += part;
        }
        return value;
    }

    std::string Attributes()
    {
        std::string out;
        // Now and then more than the one-pass reading of a tag takes (16).
        const int count = Chance(30) ? 15 + Below(6) : Below(7);
        bool bAfterQuote = false;
        for (int i = 0; i < count; ++i) {
            // No space at all after a quoted value is still the plain shape.
            out += bAfterQuote && Chance(6) ? "" : Pick({" ", "  ", "\n", "\t"});
            bAfterQuote = false;
            if (Chance(40)) {
                // What ends the attributes ('/', '?') or breaks the plain shape.
                out += Pick({"/ ", "? ", "< ", "! ", "= ", "\"q\"", "a\"b\"", "x'y'"});
                continue;
            }
            out += Chance(8) ? Pick({"a\\b", "a!b", "\xD6\xD0", "n?", "Fields", "FieldName[2",
                                     "\xB1\x5B", "Name=", "a<b"})
                             : Pick({"Name", "FieldName", "FieldValue", "a", "a[b", "x", "Name[1",
                                     "\xD0\xD5\xC3\xFB", "ID"});
            switch (Below(8)) {
            case 0: break;                         // no value
            case 1: out += "=" + Value(0); break;  // unquoted
            case 2:
                out += " = '" + Value('\'') + "'";
                bAfterQuote = true;
                break;
            case 3:
                out += "\t=\n\"" + Value('"') + "\"";
                bAfterQuote = true;
                break;
            default:
                out += "=\"" + Value('"') + "\"";
                bAfterQuote = true;
                break;
            }
        }
        return out;
    }

    // What an element's parent is to the loader: the children of a "Fields" element are
    // mostly groups, and those of a group mostly entries with a field name.
    enum class EUnder { kNode, kFields, kGroup };

    std::string EntryAttributes()
    {
        std::string out = Attributes();
        if (!Chance(4)) {
            const char quote = Chance(3) ? '\'' : '"';
            out += std::string(Pick({" FieldName=", " FieldName = ", "\tFieldName="})) + quote;
            out += Chance(2) ? "\xD0\xD5\xC3\xFB" : Value(quote) + (Chance(6) ? "" : "n");
            out += quote;
        }
        if (Chance(2)) {
            out += " FieldValue=\"" + Value('"') + "\"";
        }
        return out + (Chance(4) ? Attributes() : "");
    }

    void Element(std::string& text, int depth, EUnder under = EUnder::kNode)
    {
        // Tag names as the word reader ends them: "Fields=x" is a "Fields" element to the
        // loader, "Fields[x" is not.
        std::string tag = Pick({"Modality", "Study", "Fields", "Fields", "Text", "Image", "F", "P",
                                "a", "Fields[x", "Fields=x", "Image\\1", "Text!", "\xD6\xD0"});
        if (under == EUnder::kFields && !Chance(4)) {
            tag = Pick({"Text", "Image", "Image", "Text=1", "Image[1", "G", "Fields"});
        }
        text += "<" + tag + (under == EUnder::kGroup ? EntryAttributes() : Attributes());
        if (depth > 5 || Chance(3)) {
            text += "/>";
            return;
        }
        text += ">";
        const EUnder next = under == EUnder::kFields ? EUnder::kGroup
                            : (under == EUnder::kNode && tag.rfind("Fields", 0) == 0)
                                ? EUnder::kFields
                                : EUnder::kNode;
        const int children = Below(5);
        for (int i = 0; i < children; ++i) {
            if (Chance(4)) {
                text += Pick(
                    {"text", "<!-- c -->", " ", "&#65;", "<?pi x?>", "<![CDATA[<a>]]>", "\n  "});
            }
            Element(text, depth + 1, next);
        }
        text += "</" + tag + ">";
    }

    std::mt19937 m_rng;
};

// Every query on every handle, the two documents walked by position side by side.
void ExpectSameNode(const CPatientDoc& ours, std::uintptr_t a, const CPatientDoc& reference,
                    std::uintptr_t b, int depth)
{
    EXPECT_EQ(ours.GetModName(a), reference.GetModName(b));
    EXPECT_EQ(ours.GetStudyName(a), reference.GetStudyName(b));
    ASSERT_EQ(ours.GetFieldCount(a), reference.GetFieldCount(b));
    for (int f = -1; f <= ours.GetFieldCount(a); ++f) {
        const FieldID fa = ours.GetFieldID(a, f);
        const FieldID fb = reference.GetFieldID(b, f);
        ASSERT_EQ(fa == 0, fb == 0);
        EXPECT_EQ(ours.GetFieldName(fa), reference.GetFieldName(fb));
        EXPECT_EQ(ours.GetFieldType(fa), reference.GetFieldType(fb));
        EXPECT_EQ(ours.GetFieldData(fa), reference.GetFieldData(fb));
    }
    ASSERT_EQ(ours.GetStudyCount(a), reference.GetStudyCount(b));
    for (int s = 0; s < ours.GetStudyCount(a) && depth < 8; ++s) {
        ExpectSameNode(ours, ours.GetStudyID(a, s), reference, reference.GetStudyID(b, s),
                       depth + 1);
    }
}

// Tags, names, attributes and fields (the root's too), node by node.
void ExpectSameTree(const CInfoNode& a, const CInfoNode& b)
{
    EXPECT_EQ(a.Tag(), b.Tag());
    EXPECT_EQ(a.Name(), b.Name());
    ASSERT_EQ(a.Attrs().Count(), b.Attrs().Count());
    for (auto ia = a.Attrs().begin(), ib = b.Attrs().begin(); ia != a.Attrs().end(); ++ia, ++ib) {
        EXPECT_EQ(ia->m_strAttrName, ib->m_strAttrName);
        EXPECT_EQ(ia->m_strAttrValue, ib->m_strAttrValue);
    }
    ASSERT_EQ(a.Fields().Count(), b.Fields().Count());
    for (auto *pa = a.Fields().Head(), *pb = b.Fields().Head(); pa != nullptr;
         pa = pa->Next(), pb = pb->Next()) {
        EXPECT_EQ(pa->Value().m_nType, pb->Value().m_nType);
        EXPECT_EQ(pa->Value().m_strFieldName, pb->Value().m_strFieldName);
        EXPECT_EQ(pa->Value().m_strFieldValue, pb->Value().m_strFieldValue);
    }
    ASSERT_EQ(a.Children().Count(), b.Children().Count());
    for (auto *pa = a.Children().Head(), *pb = b.Children().Head(); pa != nullptr;
         pa = pa->Next(), pb = pb->Next()) {
        ExpectSameTree(*pa->Value(), *pb->Value());
    }
}

// What the documents of one run reached, so that a run that stopped reaching a rule fails.
struct SReached {
    int built = 0;       // a tree was built
    int refused = 0;     // non-empty text that built nothing
    int fields = 0;      // fields in built trees
    int children = 0;    // nodes below the root
    int attributes = 0;  // attributes in built trees

    void Count(const CInfoNode& node)
    {
        fields += node.Fields().Count();
        attributes += node.Attrs().Count();
        children += node.Children().Count();
        for (auto* p = node.Children().Head(); p != nullptr; p = p->Next()) {
            Count(*p->Value());
        }
    }
};

void ExpectSameDocument(const std::string& text, SReached* pReached = nullptr)
{
    SCOPED_TRACE(text);
    CPatientDoc ours;
    CPatientDoc reference;
    const bool bBuilt = ours.Load(text.c_str());
    ASSERT_EQ(bBuilt, NavigatorWalkLoad(text, reference));
    if (pReached != nullptr && ours.Root() != nullptr) {
        (bBuilt ? pReached->built : pReached->refused) += 1;
        pReached->Count(*ours.Root());
    }
    ASSERT_NE(ours.Root(), nullptr);
    ExpectSameTree(*ours.Root(), *reference.Root());
    EXPECT_EQ(ours.GetPatientName(), reference.GetPatientName());
    ASSERT_EQ(ours.GetModalityCount(), reference.GetModalityCount());
    for (int m = 0; m < ours.GetModalityCount(); ++m) {
        ExpectSameNode(ours, ours.GetModID(m), reference, reference.GetModID(m), 0);
    }
}

// A run whose documents stopped reaching what it is meant to compare proves nothing.
void ExpectReachedEveryRule(const SReached& reached, bool bBuilds = true)
{
    EXPECT_GT(reached.refused, 0);
    if (bBuilds) {
        EXPECT_GT(reached.built, 0);
        EXPECT_GT(reached.fields, 0);
        EXPECT_GT(reached.children, 0);
        EXPECT_GT(reached.attributes, 0);
    }
}

// Each runs a few thousand documents: 10,000 in all, seeds fixed so that a
// failure can be replayed.
TEST(LoaderDifferentialTest, RandomDocumentsGiveTheNavigatorWalksAnswers)
{
    CMarkupMaker maker(15);
    SReached reached;
    for (int i = 0; i < 3500 && !HasFatalFailure(); ++i) {
        ExpectSameDocument(maker.Document(), &reached);
    }
    ExpectReachedEveryRule(reached);
}

TEST(LoaderDifferentialTest, MutatedDocumentsGiveTheNavigatorWalksAnswers)
{
    CMarkupMaker maker(1515);
    SReached reached;
    for (int i = 0; i < 3500 && !HasFatalFailure(); ++i) {
        ExpectSameDocument(maker.Mutate(maker.Document()), &reached);
    }
    ExpectReachedEveryRule(reached);
}

TEST(LoaderDifferentialTest, DocumentsCutShortOrTruncatedGiveTheNavigatorWalksAnswers)
{
    // A rejected text leaves the empty root, however much of it was built before the parse
    // failed: cut at every kind of place, and mutated past the first error.
    CMarkupMaker maker(4242);
    SReached reached;
    for (int i = 0; i < 3000 && !HasFatalFailure(); ++i) {
        std::string text = maker.Document();
        // Never empty: an empty text leaves even the old tree (PatientDocLoadTest).
        text.resize(1 + text.size() * static_cast<std::size_t>(i % 10) / 10);
        if (i % 2 != 0) {
            text = maker.Mutate(text);
        }
        ExpectSameDocument(text.empty() ? std::string("<") : text, &reached);
    }
    ExpectReachedEveryRule(reached, false);
}

TEST(LoaderDifferentialTest, WideStartTagsGiveTheNavigatorWalksAnswers)
{
    // Past the few names that are looked up by a plain scan: repeated names, names that
    // continue with '[', names without values and unquoted values among many.
    std::string text = "<ROOT><P";
    for (int i = 0; i < 300; ++i) {
        text += " n" + std::to_string(i % 97) + "=\"" + std::to_string(i) + "\"";
        if (i % 41 == 0) {
            text += " n5[x='bracket'" + std::string(i % 2 ? " bare" : " u=1");
        }
    }
    text += " Name='last'/></ROOT>";
    ExpectSameDocument(text);
}

TEST(LoaderDifferentialTest, PlainStartTagsGiveTheNavigatorWalksAnswers)
{
    // Tags of the name="value" shape are read in one pass. At that shape's edges they must
    // still give the navigator walk's answers: as many attributes as it takes and one more,
    // repeated names, white space around '=', both kinds of quote, multi-byte names, a name
    // that continues with '[', a value followed by a name without a space.
    std::string text = "<ROOT><P Name='p'>";
    for (const int count : {15, 16, 17}) {
        text += "<Study";
        for (int i = 0; i < count; ++i) {
            text += " n" + std::to_string(i % 7) + (i % 3 ? "=\"" : " =\t'") + std::to_string(i) +
                    (i % 3 ? "\"" : "'");
        }
        text += " Name=\"s" + std::to_string(count) + "\"/>";
    }
    text += "<Study \xD6\xD0=\"2\" \xD6\xD0=\"3\" Name\n=\n\"q\"/>";
    text += "<Study Name=\"x\" Name[1=\"y\"/><Study Name=\"z\"x=\"w\"><Fields><Text>";
    text += "<F FieldValue=\"v\" FieldName=\"n\" FieldName=\"m\"/><F FieldName = 'k'/>";
    text += "</Text></Fields></Study></P></ROOT>";
    CPatientDoc doc;
    ASSERT_TRUE(doc.Load(text.c_str()));
    ExpectSameDocument(text);
}

}  // namespace
