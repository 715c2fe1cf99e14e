#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document/PatientDoc.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs AttrsOf(const CInfoNode& node)
{
    Pairs attrs;
    for (const CInfoAttr& attr : node.Attrs()) {
        attrs.emplace_back(attr.m_strAttrName, attr.m_strAttrValue);
    }
    return attrs;
}

struct SField {
    std::string name;
    std::string value;
    std::int32_t type;
    bool operator==(const SField&) const = default;
    friend void PrintTo(const SField& field, std::ostream* pOut)
    {
        *pOut << field.name << "=" << field.value << " (" << field.type << ")";
    }
};

std::vector<SField> FieldsOf(const CInfoNode& node)
{
    std::vector<SField> fields;
    for (auto* pEntry = node.Fields().Head(); pEntry != nullptr; pEntry = pEntry->Next()) {
        const CInfoField& field = pEntry->Value();
        fields.push_back(
            {std::string(field.m_strFieldName), std::string(field.m_strFieldValue), field.m_nType});
    }
    return fields;
}

std::vector<std::string> ChildTags(const CInfoNode& node)
{
    std::vector<std::string> tags;
    for (auto* pEntry = node.Children().Head(); pEntry != nullptr; pEntry = pEntry->Next()) {
        tags.emplace_back(pEntry->Value()->Tag());
    }
    return tags;
}

bool IsEmptyRoot(const CPatientDoc& doc)
{
    const CInfoNode* pRoot = doc.Root();
    return pRoot != nullptr && pRoot->Tag().empty() && pRoot->Name().empty() &&
           pRoot->Attrs().Count() == 0 && pRoot->Fields().Count() == 0 &&
           pRoot->Children().Count() == 0;
}

class PatientDocLoadTest : public ::testing::Test {
protected:
    // Loads markup that must build; the root node is then that of its first child of ROOT.
    const CInfoNode& Built(const std::string& text)
    {
        EXPECT_TRUE(doc.Load(text.c_str()));
        EXPECT_NE(doc.Root(), nullptr);
        return *doc.Root();
    }

    CPatientDoc doc;
};

TEST_F(PatientDocLoadTest, RootNodeTakesTagNameAndAttributesInStartTagOrder)
{
    const CInfoNode& root = Built(R"(<ROOT a="r"><P Name="A" I="7"/></ROOT>)");
    EXPECT_EQ(root.Tag(), "P");
    EXPECT_EQ(root.Name(), "A");
    EXPECT_EQ(AttrsOf(root), (Pairs{{"Name", "A"}, {"I", "7"}}));
}

TEST_F(PatientDocLoadTest, RepeatedAttributeNamesEachCarryTheFirstValue)
{
    const CInfoNode& root = Built(R"(<ROOT><P Name="A" x="1" Name="B" x="2"/></ROOT>)");
    EXPECT_EQ(root.Name(), "A");
    EXPECT_EQ(AttrsOf(root), (Pairs{{"Name", "A"}, {"x", "1"}, {"Name", "A"}, {"x", "1"}}));
}

TEST_F(PatientDocLoadTest, NodeWithoutNameKeepsItsOtherAttributes)
{
    const CInfoNode& root = Built(R"(<ROOT><P><Study Id="3" Date="x"/></P></ROOT>)");
    const CInfoNode& study = *root.Children().Head()->Value();
    EXPECT_EQ(study.Tag(), "Study");
    EXPECT_EQ(study.Name(), "");
    EXPECT_EQ(AttrsOf(study), (Pairs{{"Id", "3"}, {"Date", "x"}}));
    EXPECT_TRUE(AttrsOf(root).empty());
}

TEST_F(PatientDocLoadTest, EntriesNeedAFieldNameAndMayLackAValue)
{
    const CInfoNode& root = Built(
        R"(<ROOT><P><Fields><Text>)"
        R"(<F FieldName="" FieldValue="x"/><F FieldValue="y"/><F FieldName="a"/>)"
        R"(<G Other="z" FieldValue="vb" FieldName="b"><F FieldName="below" FieldValue="no"/></G>)"
        R"(</Text></Fields></P></ROOT>)");
    EXPECT_EQ(FieldsOf(root),
              (std::vector<SField>{{"a", "", FIELD_TEXT}, {"b", "vb", FIELD_TEXT}}));
    EXPECT_EQ(root.Children().Count(), 0);
}

// An entry is read for its two values alone, on the way to the tag's end where the tag has the
// common shape and by the general reading where it has not: the first of each name counts
// either way, whatever else the tag holds.
TEST_F(PatientDocLoadTest, EntriesOfEveryTagShapeGiveTheFirstValueOfEachName)
{
    std::string many;
    for (int i = 0; i < 20; ++i) {
        many += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    }
    const CInfoNode& root =
        Built(R"(<ROOT><P><Fields><Text  x = 'y' >)"
              R"(<F FieldName="a" FieldName="x" FieldValue="1" FieldValue="y"/>)"
              "<F" +
              many +
              R"( FieldValue="2" FieldName="b"/>)"
              R"(<F x[1="q" FieldName="c" FieldValue="3" FieldName="z"/>)"
              R"(<F FieldNameX="n" FieldValueX="m" FieldName = 'd' FieldValue='4&amp;/>'/>)"
              R"(<F FieldValue="5" FieldName="e"><F FieldName="below" FieldValue="no"/></F>)"
              R"(</Text></Fields></P></ROOT>)");
    EXPECT_EQ(FieldsOf(root), (std::vector<SField>{{"a", "1", FIELD_TEXT},
                                                   {"b", "2", FIELD_TEXT},
                                                   {"c", "3", FIELD_TEXT},
                                                   {"d", "4&/>", FIELD_TEXT},
                                                   {"e", "5", FIELD_TEXT}}));
    EXPECT_EQ(root.Children().Count(), 0);
}

TEST_F(PatientDocLoadTest, GroupNameSetsTheTypeOfItsEntries)
{
    const CInfoNode& root =
        Built(R"(<ROOT><P><Fields Name="ignored">)"
              R"(<Text><F FieldName="a" FieldValue="1"/><F FieldName="b" FieldValue="2"/></Text>)"
              R"(<Image Name="ignored"><F FieldName="c" FieldValue="3"/></Image>)"
              R"(<image><F FieldName="d" FieldValue="4"/></image>)"
              R"(<Other><F FieldName="e" FieldValue="5"/></Other>)"
              R"(</Fields></P></ROOT>)");
    EXPECT_EQ(FieldsOf(root), (std::vector<SField>{{"a", "1", FIELD_TEXT},
                                                   {"b", "2", FIELD_TEXT},
                                                   {"c", "3", FIELD_IMAGE},
                                                   {"d", "4", FIELD_TEXT},
                                                   {"e", "5", FIELD_TEXT}}));
    EXPECT_EQ(root.Name(), "");
    EXPECT_EQ(root.Children().Count(), 0);
}

TEST_F(PatientDocLoadTest, FieldsElementsAroundAChildAllAddToTheNode)
{
    const CInfoNode& root = Built(
        R"(<ROOT><P><Fields><Text><F FieldName="a" FieldValue="1"/></Text></Fields>)"
        R"(<Modality Name="M"><Fields><Text><F FieldName="m" FieldValue="0"/></Text></Fields></Modality>)"
        R"(<Fields><Image><F FieldName="b" FieldValue="2"/></Image></Fields></P></ROOT>)");
    EXPECT_EQ(ChildTags(root), (std::vector<std::string>{"Modality"}));
    EXPECT_EQ(FieldsOf(root),
              (std::vector<SField>{{"a", "1", FIELD_TEXT}, {"b", "2", FIELD_IMAGE}}));
    EXPECT_EQ(FieldsOf(*root.Children().Head()->Value()),
              (std::vector<SField>{{"m", "0", FIELD_TEXT}}));
}

TEST_F(PatientDocLoadTest, ReservedWordsOutsideTheirPlaceAreOrdinaryNodes)
{
    const CInfoNode& root =
        Built(R"(<ROOT><P><Text Name="T"/><Image/><fields><Text/></fields></P></ROOT>)");
    EXPECT_EQ(ChildTags(root), (std::vector<std::string>{"Text", "Image", "fields"}));
    EXPECT_EQ(root.Children().Head()->Value()->Name(), "T");
    EXPECT_EQ(root.Fields().Count(), 0);
}

TEST_F(PatientDocLoadTest, FieldsAsFirstChildOfRootBecomesTheRootNode)
{
    const CInfoNode& root =
        Built(R"(<ROOT><Fields><Text><F FieldName="a"/></Text></Fields></ROOT>)");
    EXPECT_EQ(root.Tag(), "Fields");
    EXPECT_EQ(root.Fields().Count(), 0);
    ASSERT_EQ(ChildTags(root), (std::vector<std::string>{"Text"}));
    const CInfoNode& entry = *root.Children().Head()->Value()->Children().Head()->Value();
    EXPECT_EQ(AttrsOf(entry), (Pairs{{"FieldName", "a"}}));
}

TEST_F(PatientDocLoadTest, OnlyTheFirstChildOfRootIsBuilt)
{
    const CInfoNode& root =
        Built(R"(<ROOT Name="R" z="1"><P Name="A"/><Q Name="B"><Modality Name="M"/></Q></ROOT>)");
    EXPECT_EQ(root.Tag(), "P");
    EXPECT_EQ(AttrsOf(root), (Pairs{{"Name", "A"}}));
    EXPECT_EQ(root.Children().Count(), 0);
    EXPECT_EQ(doc.GetModalityCount(), 0);
}

TEST_F(PatientDocLoadTest, SiblingsAfterANestedSubtreeKeepTheirPlace)
{
    const CInfoNode& root = Built(R"(<ROOT><P><A><B><C/></B><D/></A><E/></P></ROOT>)");
    EXPECT_EQ(ChildTags(root), (std::vector<std::string>{"A", "E"}));
    const CInfoNode& a = *root.Children().Head()->Value();
    EXPECT_EQ(ChildTags(a), (std::vector<std::string>{"B", "D"}));
    EXPECT_EQ(ChildTags(*a.Children().Head()->Value()), (std::vector<std::string>{"C"}));
}

TEST_F(PatientDocLoadTest, TextThatBuildsNothingLeavesAnEmptyRoot)
{
    const char* const texts[] = {
        "<ROOT></ROOT>",      // no child element
        "<ROOT x=\"1\"/>",    // no child element either
        "<Root><P/></Root>",  // not exactly ROOT
        "<ROOT><P></ROOT>",   // rejected by the parser
        "not markup at all",
    };
    for (const char* pszText : texts) {
        SCOPED_TRACE(pszText);
        ASSERT_TRUE(doc.Load(R"(<ROOT><P Name="A"><Modality/></P></ROOT>)"));
        EXPECT_FALSE(doc.Load(pszText));
        EXPECT_TRUE(IsEmptyRoot(doc));
        EXPECT_EQ(doc.GetModalityCount(), 0);
        EXPECT_EQ(doc.GetModID(0), 0u);
        EXPECT_EQ(doc.GetPatientName(), "");
    }
}

TEST_F(PatientDocLoadTest, ReloadReplacesTheTreeAndEmptyTextKeepsIt)
{
    const char* pszFirst =
        R"(<ROOT><P><Modality Name="CT"><Study Name="S"><Fields><Text>)"
        R"(<F FieldName="a" FieldValue="1"/></Text></Fields></Study></Modality></P></ROOT>)";
    ASSERT_TRUE(doc.Load(pszFirst));
    std::uintptr_t oldMod = doc.GetModID(0);
    std::uintptr_t oldStudy = doc.GetStudyID(oldMod, 0);
    std::uintptr_t oldField = doc.GetFieldID(oldStudy, 0);
    ASSERT_NE(oldField, 0u);

    // The same text again: same shape, new identities.
    ASSERT_TRUE(doc.Load(pszFirst));
    EXPECT_EQ(doc.GetModName(oldMod), "");
    EXPECT_EQ(doc.GetStudyCount(oldMod), 0);
    EXPECT_EQ(doc.GetStudyName(oldStudy), "");
    EXPECT_EQ(doc.GetFieldName(oldField), "");
    EXPECT_EQ(doc.GetFieldData(oldField), "");

    ASSERT_TRUE(doc.Load(R"(<ROOT><Q><Modality Name="MR"/><Modality Name="US"/></Q></ROOT>)"));
    EXPECT_EQ(doc.Root()->Tag(), "Q");
    std::uintptr_t mod = doc.GetModID(1);
    EXPECT_EQ(doc.GetModName(mod), "US");

    EXPECT_FALSE(doc.Load(""));
    EXPECT_FALSE(doc.Load(nullptr));
    EXPECT_EQ(doc.Root()->Tag(), "Q");
    EXPECT_EQ(doc.GetModalityCount(), 2);
    EXPECT_EQ(doc.GetModID(1), mod);
    EXPECT_EQ(doc.GetModName(mod), "US");
}

TEST_F(PatientDocLoadTest, NullOrEmptyTextBeforeAnyLoadLeavesNoDocument)
{
    EXPECT_FALSE(doc.Load(nullptr));
    EXPECT_FALSE(doc.Load(""));
    EXPECT_EQ(doc.Root(), nullptr);
}

TEST_F(PatientDocLoadTest, PatientDocumentIsWalkedThroughTheGetters)
{
    const std::string text = "<ROOT><Patient Name=\"p\"><Fields><Text>"
                             "<F FieldName=\"ID\" FieldValue=\"H001\"/>"
                             "<F FieldName=\"\xD0\xD5\xC3\xFB\" FieldValue=\"Zhang &amp; Co\"/>"
                             "</Text></Fields>"
                             "<Modality Name=\"CT\"><Study Name=\"2024\"><Fields>"
                             "<Text><F FieldName=\"Finding\" FieldValue=\"clear\"/></Text>"
                             "<Image><F FieldName=\"Thumb\" FieldValue=\"ct1.jpg\"/></Image>"
                             "</Fields></Study></Modality>"
                             "<Modality Name=\"MR\"/></Patient></ROOT>";
    ASSERT_TRUE(doc.Load(text.c_str()));
    EXPECT_EQ(doc.GetPatientName(), "Zhang & Co");
    ASSERT_EQ(doc.GetModalityCount(), 2);
    ModID ct = doc.GetModID(0);
    EXPECT_EQ(doc.GetModName(ct), "CT");
    EXPECT_EQ(doc.GetModName(doc.GetModID(1)), "MR");
    ASSERT_EQ(doc.GetStudyCount(ct), 1);
    StudyID study = doc.GetStudyID(ct, 0);
    EXPECT_EQ(doc.GetStudyName(study), "2024");
    ASSERT_EQ(doc.GetFieldCount(study), 2);
    FieldID thumb = doc.GetFieldID(study, 1);
    EXPECT_EQ(doc.GetFieldName(thumb), "Thumb");
    EXPECT_EQ(doc.GetFieldType(thumb), FIELD_IMAGE);
    EXPECT_EQ(doc.GetFieldData(thumb), "ct1.jpg");
    EXPECT_EQ(doc.GetFieldType(doc.GetFieldID(study, 0)), FIELD_TEXT);
}

TEST_F(PatientDocLoadTest, CharacterReferenceEndsInsideItsValue)
{
    // The ';' after the value belongs to the next attribute or to the character data.
    EXPECT_EQ(AttrsOf(Built(R"(<ROOT><r a="&#65" b=";"/></ROOT>)")),
              (Pairs{{"a", "&#65"}, {"b", ";"}}));
    EXPECT_EQ(AttrsOf(Built("<ROOT><r a=\"x&#20013\">;</r></ROOT>")), (Pairs{{"a", "x&#20013"}}));
    EXPECT_EQ(AttrsOf(Built(R"(<ROOT><r a="&#65;&#x4e2d;"/></ROOT>)")),
              (Pairs{{"a", "A\xD6\xD0"}}));
}

// The field names of a document repeat and differ from each other in a character or a digit
// (these are those of a report's text groups): a name read again is the stored copy of its
// first reading, not a copy of its own, however the names interleave.
TEST_F(PatientDocLoadTest, RepeatedFieldNamesShareTheirFirstCopy)
{
    const std::vector<std::string> stems = {"\xbc\xec\xb2\xe9\xb2\xbf\xce\xbb",
                                            "\xbc\xec\xb2\xe9\xcb\xf9\xbc\xfb",
                                            "\xd5\xef\xb6\xcf\xd2\xe2\xbc\xfb"};
    std::vector<std::string> names;
    for (int digit = 0; digit < 7; ++digit) {
        for (const std::string& stem : stems) {
            names.push_back(stem + std::to_string(digit));
        }
    }
    std::string text = "<ROOT><P Sex=\"M\"><Fields><Text>";
    for (int round = 0; round < 3; ++round) {
        for (const std::string& name : names) {
            text += "<F FieldName=\"" + name + "\" FieldValue=\"v\"/>";
        }
    }
    text += "</Text></Fields></P></ROOT>";
    const CInfoNode& root = Built(text);
    ASSERT_EQ(root.Fields().Count(), static_cast<std::int32_t>(3 * names.size()));
    std::vector<const char*> first;
    std::size_t i = 0;
    for (auto* pEntry = root.Fields().Head(); pEntry != nullptr; pEntry = pEntry->Next(), ++i) {
        const std::string_view name = pEntry->Value().m_strFieldName;
        ASSERT_EQ(name, names[i % names.size()]);
        if (i < names.size()) {
            first.push_back(name.data());
        } else {
            EXPECT_EQ(static_cast<const void*>(name.data()),
                      static_cast<const void*>(first[i % names.size()]))
                << "field " << i;
        }
    }
}

TEST_F(PatientDocLoadTest, WideStartTagKeepsEveryAttributeInOrder)
{
    std::string text = "<ROOT><P";
    for (int i = 0; i < 60000; ++i) {
        text += " a" + std::to_string(i) + "=\"v" + std::to_string(i) + "&amp;\"";
    }
    text += " Name=\"wide\"/></ROOT>";
    const CInfoNode& root = Built(text);
    ASSERT_EQ(root.Attrs().Count(), 60001);
    EXPECT_EQ(root.Name(), "wide");
    int i = 0;
    for (auto it = root.Attrs().begin(); i < 60000; ++it, ++i) {
        ASSERT_EQ(it->m_strAttrName, "a" + std::to_string(i));
        ASSERT_EQ(it->m_strAttrValue, "v" + std::to_string(i) + "&");
    }
}

// Shapes whose tree takes far more than their text: a bare element with one empty attribute
// is refused, leaving an empty document; the densest shape a server really sends (modalities
// with only a name) still builds.
// The tree keeps short texts' lengths beside their addresses and long ones' in front of their
// characters: every length around the change, and a decoded value that shrinks across it,
// come back whole from the tree and through the getters.
TEST_F(PatientDocLoadTest, TextsOfEveryLengthAroundTheLongOnesComeBackWhole)
{
    // Compared with EXPECT_TRUE: a failure prints the length, not the texts.
    for (const std::size_t length : {0xFFFDu, 0xFFFEu, 0xFFFFu, 0x10000u, 200000u}) {
        const std::string value(length, 'v');
        const std::string name(length, 'n');
        const std::string text = "<ROOT><P " + name + "=\"" + value + "\"><M Name=\"" + value +
                                 "\"><S Name=\"" + value + "\"><Fields><Text><F FieldName=\"" +
                                 name + "\" FieldValue=\"" + value +
                                 "\"/></Text></Fields></S></M></P></ROOT>";
        const CInfoNode& root = Built(text);
        EXPECT_TRUE(AttrsOf(root) == (Pairs{{name, value}})) << length;
        const ModID mod = doc.GetModID(0);
        EXPECT_TRUE(doc.GetModName(mod) == value) << length;
        const StudyID study = doc.GetStudyID(mod, 0);
        EXPECT_TRUE(doc.GetStudyName(study) == value) << length;
        const FieldID field = doc.GetFieldID(study, 0);
        EXPECT_TRUE(doc.GetFieldName(field) == name) << length;
        EXPECT_TRUE(doc.GetFieldData(field) == value) << length;
    }
    // Reserved for a long text, decoded into a short one: "&amp;" gives one character.
    std::string encoded;
    for (int i = 0; i < 20000; ++i) {
        encoded += "&amp;";
    }
    const CInfoNode& root = Built("<ROOT><P a=\"" + encoded + "\"/></ROOT>");
    EXPECT_TRUE(AttrsOf(root) == (Pairs{{"a", std::string(20000, '&')}}));
}

TEST_F(PatientDocLoadTest, TreeOutOfProportionToTheTextIsRefused)
{
    Built(R"(<ROOT><P><Modality Name="CT"/></P></ROOT>)");
    const ModID earlier = doc.GetModID(0);
    ASSERT_NE(earlier, 0u);

    // About 55 times its size as a tree (a node and a block of attributes per 6 bytes): over
    // the bound once the text is large enough for the slack not to cover it.
    std::string text = "<ROOT><P>";
    while (text.size() < 4 * 1024 * 1024) {
        text += "<a b/>";
    }
    text += "</P></ROOT>";
    EXPECT_FALSE(doc.Load(text.c_str()));
    EXPECT_TRUE(IsEmptyRoot(doc));
    EXPECT_EQ(doc.GetModalityCount(), 0);
    EXPECT_EQ(doc.GetModName(earlier), "");

    std::string dense = "<ROOT><P>";
    int modalities = 0;
    while (dense.size() < 1024 * 1024) {
        dense += "<Modality Name=\"m\"/>\n";
        ++modalities;
    }
    dense += "</P></ROOT>";
    EXPECT_TRUE(doc.Load(dense.c_str()));
    EXPECT_EQ(doc.GetModalityCount(), modalities);
    EXPECT_EQ(doc.GetModName(doc.GetModID(modalities - 1)), "m");
}

TEST_F(PatientDocLoadTest, SwapExchangesTreesWithTheirHandles)
{
    Built(R"(<ROOT><P><Modality Name="CT"/></P></ROOT>)");
    const ModID mod = doc.GetModID(0);
    CPatientDoc other;
    ASSERT_TRUE(other.Load(R"(<ROOT><P><Modality Name="MR"/><Modality Name="US"/></P></ROOT>)"));
    const ModID otherMod = other.GetModID(1);

    doc.Swap(other);
    EXPECT_EQ(doc.GetModalityCount(), 2);
    EXPECT_EQ(doc.GetModName(otherMod), "US");
    EXPECT_EQ(doc.GetModName(mod), "");
    EXPECT_EQ(other.GetModName(mod), "CT");
    CPatientDoc empty;
    other.Swap(empty);
    EXPECT_EQ(other.Root(), nullptr);
    EXPECT_EQ(other.GetModalityCount(), 0);
    EXPECT_EQ(empty.GetModName(mod), "CT");
}

}  // namespace
