#include "document/PatientDoc.h"

#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "document/BuildBudget.h"
#include "document/DocBuilder.h"
#include "document/TreeWalk.h"
#include "markup/MarkupParser.h"

namespace {

// The patient-name field, "full name" in code page 936.
constexpr const char* kPatientNameField = "\xD0\xD5\xC3\xFB";

const CArenaText* FindNamedValue(const CInfoNode& node, const char* pszFieldName)
{
    for (auto* pEntry = node.Fields().Head(); pEntry != nullptr; pEntry = pEntry->Next()) {
        if (pEntry->Value().m_strFieldName == pszFieldName) {
            return &pEntry->Value().m_strFieldValue;
        }
    }
    return nullptr;
}

}  // namespace

CPatientDoc::~CPatientDoc()
{
    Free();
}

void CPatientDoc::Free()
{
    m_index.Clear();
    m_pRoot.reset();
}

void CPatientDoc::SetRoot(std::unique_ptr<CInfoNode> pRoot)
{
    Free();
    m_pRoot = std::move(pRoot);
    m_index.Build(m_pRoot.get());
}

void CPatientDoc::Swap(CPatientDoc& other) noexcept
{
    // The index refers to nodes, not to the owning pointer, so it stays valid with its tree.
    m_pRoot.swap(other.m_pRoot);
    std::swap(m_index, other.m_index);
}

bool CPatientDoc::Load(const char* pszText)
{
    if (pszText == nullptr || *pszText == '\0') {
        return false;
    }
    Free();
    m_pRoot = std::make_unique<CInfoNode>();
    // The tree is built while the text is parsed, in one reading. The caller's text outlives
    // the build, which copies what the tree keeps.
    const std::size_t length = std::strlen(pszText);
    CBuildBudget budget = CBuildBudget::ForText(length);
    CDocBuilder builder(*m_pRoot, budget);
    std::string strError;
    bool bBuilt = false;
    try {
        const bool bParsed = ParseMarkup(pszText, length, builder, strError);
        bBuilt = bParsed && builder.BuiltRoot() && !budget.Exceeded();
        if (bBuilt) {
            m_index.Build(m_pRoot.get());
        }
    } catch (const std::bad_alloc&) {
        // Memory ran out while building or indexing: a failed load like any other.
        bBuilt = false;
        m_index.Clear();
    }
    if (!bBuilt) {
        // A text the parser rejects, or whose tree would take more than the budget or than
        // there is memory for, leaves the empty root: the part built so far goes with its
        // arena.
        m_pRoot = std::make_unique<CInfoNode>();
        m_index.Build(m_pRoot.get());
    }
    return bBuilt;
}

std::string CPatientDoc::GetPatientName() const
{
    if (!m_pRoot) {
        return {};
    }
    if (const CArenaText* pValue = FindNamedValue(*m_pRoot, kPatientNameField)) {
        return std::string(*pValue);
    }
    // Otherwise the first study of each modality, in modality order; later studies of a
    // modality are not searched.
    for (auto* pEntry = m_pRoot->Children().Head(); pEntry != nullptr; pEntry = pEntry->Next()) {
        const CInfoNode* pModality = pEntry->Value().get();
        if (pModality == nullptr || pModality->Tag() != "Modality") {
            continue;
        }
        auto* pFirst = pModality->Children().Head();
        if (pFirst == nullptr) {
            continue;
        }
        const CInfoNode* pStudy = pFirst->Value().get();
        if (pStudy == nullptr || pStudy->Tag() != "Study") {
            continue;
        }
        if (const CArenaText* pValue = FindNamedValue(*pStudy, kPatientNameField)) {
            return std::string(*pValue);
        }
    }
    return {};
}

std::int32_t CPatientDoc::GetModalityCount() const
{
    return m_pRoot ? m_pRoot->Children().Count() : 0;
}

ModID CPatientDoc::GetModID(std::int32_t index) const
{
    return m_pRoot ? m_index.RootChildAt(index) : 0;
}

std::string CPatientDoc::GetModName(ModID mod) const
{
    const CInfoNode* pNode = m_pRoot ? m_index.FindRootChild(mod) : nullptr;
    return pNode ? std::string(pNode->Name()) : std::string();
}

std::int32_t CPatientDoc::GetStudyCount(ModID mod) const
{
    const CInfoNode* pNode = m_pRoot ? m_index.FindNode(mod) : nullptr;
    return pNode ? pNode->Children().Count() : 0;
}

StudyID CPatientDoc::GetStudyID(ModID mod, std::int32_t index) const
{
    return m_pRoot ? m_index.ChildAt(mod, index) : 0;
}

std::string CPatientDoc::GetStudyName(StudyID study) const
{
    const CInfoNode* pNode = m_pRoot ? m_index.FindNode(study) : nullptr;
    return pNode ? std::string(pNode->Name()) : std::string();
}

std::int32_t CPatientDoc::GetFieldCount(StudyID study) const
{
    const CInfoNode* pNode = m_pRoot ? m_index.FindNode(study) : nullptr;
    return pNode ? pNode->Fields().Count() : 0;
}

FieldID CPatientDoc::GetFieldID(StudyID study, std::int32_t index) const
{
    return m_pRoot ? m_index.FieldAt(study, index) : 0;
}

const CInfoField* CPatientDoc::LookUpField(FieldID field) const
{
    return m_pRoot ? m_index.FindField(field) : nullptr;
}

std::string CPatientDoc::GetFieldName(FieldID field) const
{
    const CInfoField* pField = LookUpField(field);
    return pField ? std::string(pField->m_strFieldName) : std::string();
}

std::int32_t CPatientDoc::GetFieldType(FieldID field) const
{
    const CInfoField* pField = LookUpField(field);
    return pField ? pField->m_nType : FIELD_TEXT;
}

std::string CPatientDoc::GetFieldData(FieldID field) const
{
    const CInfoField* pField = LookUpField(field);
    return pField ? std::string(pField->m_strFieldValue) : std::string();
}

const CInfoNode* CPatientDoc::FindNode(const CInfoNode* pNode, std::uintptr_t handle)
{
    const CInfoNode* pFound = nullptr;
    WalkTree(pNode, [&](const CInfoNode*, const CInfoNode::ChildList::CEntry* pEntry,
                        const CInfoNode* pVisited) {
        // The starting node itself has no entry and is never a result.
        if (pEntry == nullptr || pEntry->Id() != handle) {
            return false;
        }
        pFound = pVisited;
        return true;
    });
    return pFound;
}

const CInfoNode::ChildList::CEntry* CPatientDoc::GetChildEntry(const CInfoNode* pNode,
                                                               std::int32_t index)
{
    return pNode ? pNode->Children().At(index) : nullptr;
}

bool CPatientDoc::FindField(const CInfoNode* pNode, std::uintptr_t handle, CInfoField& record)
{
    return WalkTree(pNode, [&](const CInfoNode*, const CInfoNode::ChildList::CEntry*,
                               const CInfoNode* pVisited) {
        if (pVisited == nullptr) {
            return false;
        }
        for (auto* pEntry = pVisited->Fields().Head(); pEntry != nullptr; pEntry = pEntry->Next()) {
            if (pEntry->Id() == handle) {
                record = pEntry->Value();
                return true;
            }
        }
        return false;
    });
}
