#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "document/PatientDoc.h"

// What the document tests reach of CPatientDoc beyond its public interface: a tree built
// by hand instead of parsed, and the plain depth-first searches the index must agree with.
class CPatientDocTestAccess {
public:
    static void SetRoot(CPatientDoc& doc, std::unique_ptr<CInfoNode> pRoot)
    {
        doc.SetRoot(std::move(pRoot));
    }
    static const CInfoNode* FindNode(const CInfoNode* pNode, std::uintptr_t handle)
    {
        return CPatientDoc::FindNode(pNode, handle);
    }
    static const CInfoNode::ChildList::CEntry* GetChildEntry(const CInfoNode* pNode,
                                                             std::int32_t index)
    {
        return CPatientDoc::GetChildEntry(pNode, index);
    }
    static bool FindField(const CInfoNode* pNode, std::uintptr_t handle, CInfoField& record)
    {
        return CPatientDoc::FindField(pNode, handle, record);
    }
};
