#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "KorvanelleClient.h"
#include "document/DocIndex.h"
#include "document/InfoNode.h"

// The current patient document: the tree built from the server's markup and the queries
// behind the getter exports. The tree is written only by Load (and destruction) and only
// read by the queries; the caller keeps the two from overlapping, the document has no lock.
class CPatientDoc {
public:
    CPatientDoc() = default;
    ~CPatientDoc();
    CPatientDoc(const CPatientDoc&) = delete;
    CPatientDoc& operator=(const CPatientDoc&) = delete;

    // Rebuilds the tree from markup text. Null or empty text changes nothing; any other
    // text replaces the tree, which stays an empty root when nothing could be built. A text
    // whose tree would take more than CBuildBudget::kTimesText times its size (plus a little)
    // builds nothing either: it leaves the empty root and gives false.
    bool Load(const char* pszText);
    void Free();
    // Exchanges the whole state (tree and index) with another document; the handles of each
    // tree keep designating its entries, now in the other document.
    void Swap(CPatientDoc& other) noexcept;
    const CInfoNode* Root() const { return m_pRoot.get(); }

    std::string GetPatientName() const;
    std::int32_t GetModalityCount() const;
    ModID GetModID(std::int32_t index) const;
    std::string GetModName(ModID mod) const;
    std::int32_t GetStudyCount(ModID mod) const;
    StudyID GetStudyID(ModID mod, std::int32_t index) const;
    std::string GetStudyName(StudyID study) const;
    std::int32_t GetFieldCount(StudyID study) const;
    FieldID GetFieldID(StudyID study, std::int32_t index) const;
    std::string GetFieldName(FieldID field) const;
    std::int32_t GetFieldType(FieldID field) const;
    std::string GetFieldData(FieldID field) const;

private:
    // The tests' one way in (tests/document/PatientDocTestAccess.h): it reaches SetRoot and
    // the reference searches below, which the library itself does not call.
    friend class CPatientDocTestAccess;

    // Replaces the tree with one built elsewhere; every earlier handle designates nothing.
    void SetRoot(std::unique_ptr<CInfoNode> pRoot);

    // The plain depth-first searches that define what a handle designates; the queries
    // answer the same through the index built at load.
    static const CInfoNode* FindNode(const CInfoNode* pNode, std::uintptr_t handle);
    static const CInfoNode::ChildList::CEntry* GetChildEntry(const CInfoNode* pNode,
                                                             std::int32_t index);
    static bool FindField(const CInfoNode* pNode, std::uintptr_t handle, CInfoField& record);

    const CInfoField* LookUpField(FieldID field) const;

    std::unique_ptr<CInfoNode> m_pRoot;
    CDocIndex m_index;
};
