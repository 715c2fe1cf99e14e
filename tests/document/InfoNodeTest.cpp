#include <gtest/gtest.h>

#include <memory>

#include "TreeBuilder.h"
#include "document/InfoNode.h"

namespace {

TEST(InfoNodeTest, AddReturnsTheIdentityOfTheNewTailEntry)
{
    CInfoNode node;
    node.AddAttr("I", "7");
    std::uintptr_t field = AddNamedField(node, "a", "1", FIELD_IMAGE);
    SNewNode child = AddNode(node, "Modality", "CT");

    EXPECT_EQ(field, node.Fields().Tail()->Id());
    EXPECT_EQ(child.handle, node.Children().Tail()->Id());
    EXPECT_EQ(node.Children().Tail()->Value().get(), child.pNode);
    EXPECT_EQ(node.Fields().Tail()->Value().m_nType, FIELD_IMAGE);
    EXPECT_EQ(node.Attrs().Tail()->m_strAttrValue, "7");
}

TEST(InfoNodeTest, RemoveAllChildrenEmptiesOnlyTheChildList)
{
    CInfoNode node;
    AddNamedField(node, "a", "1");
    node.AddAttr("Name", "P");
    for (int i = 0; i < 12; ++i) {
        SNewNode child = AddNode(node, "Modality");
        AddNode(*AddNode(*child.pNode, "Study").pNode, "Series");
    }
    node.RemoveAllChildren();
    EXPECT_EQ(node.Children().Count(), 0);
    EXPECT_EQ(node.Children().Head(), nullptr);
    EXPECT_EQ(node.Children().BlockCount(), 0);
    EXPECT_EQ(node.Fields().Count(), 1);
    EXPECT_EQ(node.Attrs().Count(), 1);
    // The node can grow again afterwards.
    AddNode(node, "Modality");
    EXPECT_EQ(node.Children().Count(), 1);
}

}  // namespace
