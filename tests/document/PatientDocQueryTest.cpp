#include <gtest/gtest.h>

#include <memory>

#include "TreeBuilder.h"
#include "PatientDocTestAccess.h"
#include "document/PatientDoc.h"

namespace {

const char kFullName[] = "\xD0\xD5\xC3\xFB";  // the patient-name field, code page 936

// A patient with two modalities and a note:
//   root P (fields: id, sex)
//     Modality "CT": Study "S1" (fields a, b=Image), Study "S2" (field c)
//                    S1 has a child "Series" "X1" with field deep
//     Modality "MR": no children, field m
//     Note "N1"
class PatientDocQueryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto pRoot = std::make_unique<CInfoNode>();
        pRoot->SetTag("Patient");
        rootField = AddNamedField(*pRoot, "id", "42");
        AddNamedField(*pRoot, "sex", "F");

        SNewNode ct = AddNode(*pRoot, "Modality", "CT");
        ctHandle = ct.handle;
        SNewNode s1 = AddNode(*ct.pNode, "Study", "S1");
        s1Handle = s1.handle;
        fieldA = AddNamedField(*s1.pNode, "a", "va");
        fieldB = AddNamedField(*s1.pNode, "b", "vb", FIELD_IMAGE);
        SNewNode x1 = AddNode(*s1.pNode, "Series", "X1");
        x1Handle = x1.handle;
        deepField = AddNamedField(*x1.pNode, "deep", "vdeep", FIELD_IMAGE);
        s2Handle = AddNode(*ct.pNode, "Study", "S2").handle;

        SNewNode mr = AddNode(*pRoot, "Modality", "MR");
        mrHandle = mr.handle;
        AddNamedField(*mr.pNode, "m", "vm");
        noteHandle = AddNode(*pRoot, "Note", "N1").handle;

        CPatientDocTestAccess::SetRoot(doc, std::move(pRoot));
    }

    CPatientDoc doc;
    std::uintptr_t rootField = 0, fieldA = 0, fieldB = 0, deepField = 0;
    std::uintptr_t ctHandle = 0, s1Handle = 0, s2Handle = 0, x1Handle = 0, mrHandle = 0,
                   noteHandle = 0;
};

TEST_F(PatientDocQueryTest, ModalitiesAreEveryChildOfTheRoot)
{
    EXPECT_EQ(doc.GetModalityCount(), 3);
    EXPECT_EQ(doc.GetModID(0), ctHandle);
    EXPECT_EQ(doc.GetModID(1), mrHandle);
    EXPECT_EQ(doc.GetModID(2), noteHandle);
    EXPECT_EQ(doc.GetModName(noteHandle), "N1");
    EXPECT_EQ(doc.GetModID(-1), 0u);
    EXPECT_EQ(doc.GetModID(3), 0u);
}

TEST_F(PatientDocQueryTest, ModNameAcceptsOnlyTheRootsOwnChildren)
{
    EXPECT_EQ(doc.GetModName(ctHandle), "CT");
    EXPECT_EQ(doc.GetModName(mrHandle), "MR");
    EXPECT_EQ(doc.GetModName(s1Handle), "");
    EXPECT_EQ(doc.GetModName(x1Handle), "");
    EXPECT_EQ(doc.GetModName(fieldA), "");
    EXPECT_EQ(doc.GetModName(0), "");
}

TEST_F(PatientDocQueryTest, NodeHandlesAreInterchangeableAtAnyDepth)
{
    EXPECT_EQ(doc.GetStudyName(ctHandle), "CT");
    EXPECT_EQ(doc.GetStudyName(s2Handle), "S2");
    EXPECT_EQ(doc.GetStudyName(x1Handle), "X1");
    EXPECT_EQ(doc.GetStudyCount(ctHandle), 2);
    EXPECT_EQ(doc.GetStudyCount(s1Handle), 1);
    EXPECT_EQ(doc.GetStudyCount(mrHandle), 0);
    EXPECT_EQ(doc.GetStudyID(ctHandle, 1), s2Handle);
    EXPECT_EQ(doc.GetStudyID(s1Handle, 0), x1Handle);
    EXPECT_EQ(doc.GetFieldCount(mrHandle), 1);
    EXPECT_EQ(doc.GetFieldCount(s1Handle), 2);
    EXPECT_EQ(doc.GetFieldCount(x1Handle), 1);
    EXPECT_EQ(doc.GetFieldID(x1Handle, 0), deepField);
}

TEST_F(PatientDocQueryTest, PositionsOutsideTheListsGiveNoHandle)
{
    EXPECT_EQ(doc.GetStudyID(ctHandle, -1), 0u);
    EXPECT_EQ(doc.GetStudyID(ctHandle, 2), 0u);
    EXPECT_EQ(doc.GetStudyID(ctHandle, 0), s1Handle);
    EXPECT_EQ(doc.GetFieldID(s1Handle, -1), 0u);
    EXPECT_EQ(doc.GetFieldID(s1Handle, 2), 0u);
    EXPECT_EQ(doc.GetFieldID(s1Handle, 1), fieldB);
    EXPECT_EQ(doc.GetFieldID(noteHandle, 0), 0u);
}

TEST_F(PatientDocQueryTest, FieldHandlesAreFoundAtAnyDepth)
{
    EXPECT_EQ(doc.GetFieldName(fieldA), "a");
    EXPECT_EQ(doc.GetFieldData(fieldA), "va");
    EXPECT_EQ(doc.GetFieldType(fieldA), FIELD_TEXT);
    EXPECT_EQ(doc.GetFieldType(fieldB), FIELD_IMAGE);
    EXPECT_EQ(doc.GetFieldName(deepField), "deep");
    EXPECT_EQ(doc.GetFieldData(deepField), "vdeep");
    EXPECT_EQ(doc.GetFieldType(deepField), FIELD_IMAGE);
    // No getter hands out the root's own fields, but their handles still designate them.
    EXPECT_EQ(doc.GetFieldData(rootField), "42");
}

TEST_F(PatientDocQueryTest, HandlesOfTheWrongKindDesignateNothing)
{
    EXPECT_EQ(doc.GetFieldName(s1Handle), "");
    EXPECT_EQ(doc.GetFieldType(s1Handle), 0);
    EXPECT_EQ(doc.GetStudyName(fieldA), "");
    EXPECT_EQ(doc.GetStudyCount(fieldA), 0);
    EXPECT_EQ(doc.GetFieldCount(0), 0);
    EXPECT_EQ(doc.GetStudyID(0, 0), 0u);
    EXPECT_EQ(doc.GetFieldID(0, 0), 0u);
    EXPECT_EQ(doc.GetFieldData(0), "");
    EXPECT_EQ(doc.GetFieldType(~std::uintptr_t{0}), 0);
}

TEST_F(PatientDocQueryTest, HandlesFromAReplacedTreeDesignateNothing)
{
    // The replacement has the same shape, so a handle that were an address or a position
    // would likely land on the new entries.
    const std::uintptr_t oldHandles[] = {ctHandle, s1Handle,  x1Handle, mrHandle,
                                         fieldA,   deepField, rootField};
    SetUp();
    for (std::uintptr_t old : oldHandles) {
        EXPECT_EQ(doc.GetModName(old), "");
        EXPECT_EQ(doc.GetStudyName(old), "");
        EXPECT_EQ(doc.GetStudyCount(old), 0);
        EXPECT_EQ(doc.GetStudyID(old, 0), 0u);
        EXPECT_EQ(doc.GetFieldCount(old), 0);
        EXPECT_EQ(doc.GetFieldID(old, 0), 0u);
        EXPECT_EQ(doc.GetFieldName(old), "");
        EXPECT_EQ(doc.GetFieldData(old), "");
    }
    EXPECT_EQ(doc.GetStudyName(s1Handle), "S1");  // the new handles work
}

TEST(PatientDocEmptyTest, WithoutRootEveryQueryGivesNothing)
{
    CPatientDoc source;
    auto pRoot = std::make_unique<CInfoNode>();
    AddNamedField(*pRoot, kFullName, "Li");
    SNewNode mod = AddNode(*pRoot, "Modality", "CT");
    std::uintptr_t field = AddNamedField(*mod.pNode, "f", "v", FIELD_IMAGE);
    CPatientDocTestAccess::SetRoot(source, std::move(pRoot));

    CPatientDoc doc;
    EXPECT_EQ(doc.Root(), nullptr);
    EXPECT_EQ(doc.GetPatientName(), "");
    EXPECT_EQ(doc.GetModalityCount(), 0);
    EXPECT_EQ(doc.GetModID(0), 0u);
    EXPECT_EQ(doc.GetModName(mod.handle), "");
    EXPECT_EQ(doc.GetStudyCount(mod.handle), 0);
    EXPECT_EQ(doc.GetStudyID(mod.handle, 0), 0u);
    EXPECT_EQ(doc.GetStudyName(mod.handle), "");
    EXPECT_EQ(doc.GetFieldCount(mod.handle), 0);
    EXPECT_EQ(doc.GetFieldID(mod.handle, 0), 0u);
    EXPECT_EQ(doc.GetFieldName(field), "");
    EXPECT_EQ(doc.GetFieldType(field), 0);
    EXPECT_EQ(doc.GetFieldData(field), "");

    source.Free();
    EXPECT_EQ(source.Root(), nullptr);
    EXPECT_EQ(source.GetModalityCount(), 0);
    EXPECT_EQ(source.GetFieldType(field), 0);
}

// The patient's name: the root's own field first, else the first "Modality" (in child
// order) whose first child is a "Study" holding the field.
class PatientNameTest : public ::testing::Test {
protected:
    CInfoNode& Root() { return *m_pRoot; }
    std::string Name()
    {
        CPatientDocTestAccess::SetRoot(doc, std::move(m_pRoot));
        return doc.GetPatientName();
    }

    std::unique_ptr<CInfoNode> m_pRoot = std::make_unique<CInfoNode>();
    CPatientDoc doc;
};

TEST_F(PatientNameTest, RootFieldComesFirst)
{
    SNewNode mod = AddNode(Root(), "Modality");
    AddNamedField(*AddNode(*mod.pNode, "Study").pNode, kFullName, "FromStudy");
    AddNamedField(Root(), "id", "1");
    AddNamedField(Root(), kFullName, "FromRoot");
    EXPECT_EQ(Name(), "FromRoot");
}

TEST_F(PatientNameTest, FirstQualifyingModalityWins)
{
    // Not a "Modality" tag.
    AddNamedField(*AddNode(*AddNode(Root(), "modality").pNode, "Study").pNode, kFullName, "Case");
    // A modality without children, and one whose first child is not a "Study".
    AddNode(Root(), "Modality");
    AddNamedField(*AddNode(*AddNode(Root(), "Modality").pNode, "Series").pNode, kFullName, "S");
    // A "Study" that lacks the field, then the one that holds it as its last field.
    AddNamedField(*AddNode(*AddNode(Root(), "Modality").pNode, "Study").pNode, "x", "1");
    CInfoNode& study = *AddNode(*AddNode(Root(), "Modality").pNode, "Study").pNode;
    AddNamedField(study, "a", "1");
    AddNamedField(study, "b", "2");
    AddNamedField(study, kFullName, "Wang");
    // A later modality is not consulted.
    AddNamedField(*AddNode(*AddNode(Root(), "Modality").pNode, "Study").pNode, kFullName, "Late");
    EXPECT_EQ(Name(), "Wang");
}

TEST_F(PatientNameTest, SecondStudyOfAModalityIsNotSearched)
{
    CInfoNode& mod = *AddNode(Root(), "Modality").pNode;
    AddNamedField(*AddNode(mod, "Study").pNode, "x", "1");
    AddNamedField(*AddNode(mod, "Study").pNode, kFullName, "Hidden");
    EXPECT_EQ(Name(), "");
}

TEST_F(PatientNameTest, FieldNameIsComparedByteForByte)
{
    AddNamedField(Root(), "\xE5\xA7\x93\xE5\x90\x8D", "Utf8");  // the same word in UTF-8
    AddNamedField(Root(), "\xD0\xD5\xC3\xFB ", "Trailing");
    EXPECT_EQ(Name(), "");
}

}  // namespace
