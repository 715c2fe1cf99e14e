#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "TreeBuilder.h"
#include "PatientDocTestAccess.h"
#include "document/PatientDoc.h"

namespace {

// The getters as the plain depth-first searches define them; the document answers through
// its index and must agree with these for every handle and position.
struct SReference {
    const CInfoNode* pRoot;

    std::string ModName(std::uintptr_t h) const
    {
        for (auto* pEntry = pRoot->Children().Head(); pEntry != nullptr; pEntry = pEntry->Next()) {
            if (pEntry->Id() == h) {
                return std::string(pEntry->Value()->Name());
            }
        }
        return {};
    }
    std::int32_t StudyCount(std::uintptr_t h) const
    {
        const CInfoNode* pNode = CPatientDocTestAccess::FindNode(pRoot, h);
        return pNode ? pNode->Children().Count() : 0;
    }
    std::uintptr_t StudyID(std::uintptr_t h, std::int32_t i) const
    {
        auto* pEntry =
            CPatientDocTestAccess::GetChildEntry(CPatientDocTestAccess::FindNode(pRoot, h), i);
        return pEntry ? pEntry->Id() : 0;
    }
    std::string StudyName(std::uintptr_t h) const
    {
        const CInfoNode* pNode = CPatientDocTestAccess::FindNode(pRoot, h);
        return pNode ? std::string(pNode->Name()) : std::string();
    }
    std::int32_t FieldCount(std::uintptr_t h) const
    {
        const CInfoNode* pNode = CPatientDocTestAccess::FindNode(pRoot, h);
        return pNode ? pNode->Fields().Count() : 0;
    }
    std::uintptr_t FieldID(std::uintptr_t h, std::int32_t i) const
    {
        const CInfoNode* pNode = CPatientDocTestAccess::FindNode(pRoot, h);
        auto* pEntry = pNode ? pNode->Fields().At(i) : nullptr;
        return pEntry ? pEntry->Id() : 0;
    }
    CInfoField Field(std::uintptr_t h) const
    {
        CInfoField record;
        CPatientDocTestAccess::FindField(pRoot, h, record);
        return record;
    }
};

// Grows a tree of random shape: each new node hangs under a random earlier one.
std::unique_ptr<CInfoNode> RandomTree(std::mt19937& rng, int nodes,
                                      std::vector<std::uintptr_t>& handles)
{
    auto pRoot = std::make_unique<CInfoNode>();
    std::vector<CInfoNode*> all{pRoot.get()};
    for (int i = 0; i < nodes; ++i) {
        // Favour recent nodes now and then, so that some branches run deep.
        std::size_t parent = (rng() % 3 == 0) ? all.size() - 1 : rng() % all.size();
        SNewNode node =
            AddNode(*all[parent], (i % 4 == 0) ? "Modality" : "Study", "n" + std::to_string(i));
        handles.push_back(node.handle);
        all.push_back(node.pNode);
    }
    for (CInfoNode* pNode : all) {
        int nFields = static_cast<int>(rng() % 4);
        for (int f = 0; f < nFields; ++f) {
            handles.push_back(AddNamedField(*pNode, "f" + std::to_string(f),
                                            "v" + std::to_string(rng()),
                                            static_cast<int>(rng() % 2)));
        }
    }
    return pRoot;
}

void ExpectSameAnswers(const CPatientDoc& doc, const SReference& ref, std::uintptr_t h)
{
    SCOPED_TRACE(::testing::Message() << "handle " << h);
    EXPECT_EQ(doc.GetModName(h), ref.ModName(h));
    EXPECT_EQ(doc.GetStudyName(h), ref.StudyName(h));
    std::int32_t nChildren = ref.StudyCount(h);
    EXPECT_EQ(doc.GetStudyCount(h), nChildren);
    for (std::int32_t i = -1; i <= nChildren; ++i) {
        EXPECT_EQ(doc.GetStudyID(h, i), ref.StudyID(h, i));
    }
    std::int32_t nFields = ref.FieldCount(h);
    EXPECT_EQ(doc.GetFieldCount(h), nFields);
    for (std::int32_t i = -1; i <= nFields; ++i) {
        EXPECT_EQ(doc.GetFieldID(h, i), ref.FieldID(h, i));
    }
    CInfoField field = ref.Field(h);
    EXPECT_EQ(doc.GetFieldName(h), field.m_strFieldName);
    EXPECT_EQ(doc.GetFieldType(h), field.m_nType);
    EXPECT_EQ(doc.GetFieldData(h), field.m_strFieldValue);
}

TEST(DocIndexTest, AnswersAgreeWithDepthFirstSearchOnRandomTrees)
{
    for (unsigned seed = 1; seed <= 8; ++seed) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        std::mt19937 rng(seed);
        std::vector<std::uintptr_t> handles;
        std::vector<std::uintptr_t> foreign;
        RandomTree(rng, 20, foreign);  // freed at once: its handles designate nothing
        CPatientDoc doc;
        CPatientDocTestAccess::SetRoot(doc,
                                       RandomTree(rng, 60 + static_cast<int>(seed) * 10, handles));
        SReference ref{doc.Root()};

        EXPECT_EQ(doc.GetModalityCount(), doc.Root()->Children().Count());
        for (std::int32_t i = -1; i <= doc.GetModalityCount(); ++i) {
            auto* pEntry = CPatientDocTestAccess::GetChildEntry(doc.Root(), i);
            EXPECT_EQ(doc.GetModID(i), pEntry ? pEntry->Id() : 0u);
        }
        handles.insert(handles.end(), foreign.begin(), foreign.end());
        handles.push_back(0);
        handles.push_back(~std::uintptr_t{0});
        for (std::uintptr_t h : handles) {
            ExpectSameAnswers(doc, ref, h);
        }
    }
}

TEST(DocIndexTest, DepthFirstSearchNeverYieldsTheStartingNode)
{
    auto pRoot = std::make_unique<CInfoNode>();
    SNewNode a = AddNode(*pRoot, "A");
    SNewNode b = AddNode(*a.pNode, "B");
    SNewNode c = AddNode(*b.pNode, "C");
    EXPECT_EQ(CPatientDocTestAccess::FindNode(pRoot.get(), c.handle), c.pNode);
    EXPECT_EQ(CPatientDocTestAccess::FindNode(b.pNode, c.handle), c.pNode);
    EXPECT_EQ(CPatientDocTestAccess::FindNode(b.pNode, b.handle), nullptr);
    EXPECT_EQ(CPatientDocTestAccess::FindNode(b.pNode, a.handle), nullptr);
    EXPECT_EQ(CPatientDocTestAccess::FindNode(pRoot.get(), 0), nullptr);
    EXPECT_EQ(CPatientDocTestAccess::FindNode(nullptr, c.handle), nullptr);

    std::uintptr_t f = AddNamedField(*c.pNode, "x", "1", FIELD_IMAGE);
    CDocArena arena;
    CInfoField record{FIELD_IMAGE, arena.CopyText("keep"), arena.CopyText("kept")};
    EXPECT_FALSE(CPatientDocTestAccess::FindField(pRoot.get(), a.handle, record));
    EXPECT_EQ(record.m_strFieldName, "keep");  // a miss leaves the record alone
    EXPECT_TRUE(CPatientDocTestAccess::FindField(a.pNode, f, record));
    EXPECT_EQ(record.m_strFieldName, "x");
    EXPECT_FALSE(CPatientDocTestAccess::FindField(nullptr, f, record));
}

}  // namespace
