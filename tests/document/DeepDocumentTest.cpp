#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "SmallStack.h"
#include "TreeBuilder.h"
#include "PatientDocTestAccess.h"
#include "document/PatientDoc.h"

namespace {

// The markup parser admits 65,535 levels of nesting; a 1 MiB stack cannot hold that many
// frames of a recursive walk.
constexpr int kDepth = 65535;

TEST(DeepDocumentTest, HandBuiltChainIsQueriedAndFreedOnASmallStack)
{
    bool bRan = false;
    ASSERT_TRUE(RunOnSmallStack([&] {
        auto pRoot = std::make_unique<CInfoNode>();
        CInfoNode* pNode = pRoot.get();
        std::uintptr_t firstHandle = 0;
        std::uintptr_t deepHandle = 0;
        for (int i = 0; i < kDepth; ++i) {
            SNewNode child = AddNode(*pNode, "Level", std::to_string(i));
            firstHandle = firstHandle ? firstHandle : child.handle;
            deepHandle = child.handle;
            pNode = child.pNode;
        }
        std::uintptr_t deepField = AddNamedField(*pNode, "bottom", "reached", FIELD_IMAGE);
        const CInfoNode* pDeepest = pNode;

        CPatientDoc doc;
        CPatientDocTestAccess::SetRoot(doc, std::move(pRoot));
        EXPECT_EQ(doc.GetModalityCount(), 1);
        EXPECT_EQ(doc.GetModName(firstHandle), "0");
        EXPECT_EQ(doc.GetStudyName(deepHandle), std::to_string(kDepth - 1));
        EXPECT_EQ(doc.GetFieldID(deepHandle, 0), deepField);
        EXPECT_EQ(doc.GetFieldData(deepField), "reached");
        EXPECT_EQ(CPatientDocTestAccess::FindNode(doc.Root(), deepHandle), pDeepest);
        CInfoField record;
        EXPECT_TRUE(CPatientDocTestAccess::FindField(doc.Root(), deepField, record));
        EXPECT_EQ(record.m_nType, FIELD_IMAGE);
        EXPECT_FALSE(CPatientDocTestAccess::FindField(doc.Root(), deepHandle, record));
        bRan = true;
    }));
    EXPECT_TRUE(bRan);
}

// ROOT, the patient, the chain, then "Fields", a group and an entry at the bottom: the
// deepest nesting the parser admits.
std::string DeepMarkup(int chainLength)
{
    std::string text = "<ROOT><P>";
    for (int i = 0; i < chainLength; ++i) {
        text += "<L>";
    }
    text += R"(<Fields><Image><F FieldName="bottom" FieldValue="reached"/></Image></Fields>)";
    for (int i = 0; i < chainLength; ++i) {
        text += "</L>";
    }
    return text + "<E/></P></ROOT>";
}

TEST(DeepDocumentTest, DeepMarkupIsLoadedQueriedAndFreedOnASmallStack)
{
    const int kChain = kDepth - 5;
    const std::string text = DeepMarkup(kChain);
    bool bRan = false;
    ASSERT_TRUE(RunOnSmallStack([&] {
        CPatientDoc doc;
        ASSERT_TRUE(doc.Load(text.c_str()));
        ASSERT_EQ(doc.GetModalityCount(), 2);
        EXPECT_EQ(doc.Root()->Children().Tail()->Value()->Tag(), "E");
        std::uintptr_t node = doc.GetModID(0);
        int nLevels = 1;
        while (doc.GetStudyCount(node) == 1) {
            node = doc.GetStudyID(node, 0);
            ++nLevels;
        }
        EXPECT_EQ(nLevels, kChain);
        FieldID field = doc.GetFieldID(node, 0);
        EXPECT_EQ(doc.GetFieldName(field), "bottom");
        EXPECT_EQ(doc.GetFieldType(field), FIELD_IMAGE);
        // A reload frees the deep tree too.
        EXPECT_TRUE(doc.Load("<ROOT><P/></ROOT>"));
        EXPECT_EQ(doc.GetFieldName(field), "");
        ASSERT_TRUE(doc.Load(text.c_str()));
        bRan = true;
    }));
    EXPECT_TRUE(bRan);
}

}  // namespace
