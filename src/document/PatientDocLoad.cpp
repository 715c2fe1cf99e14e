#include "document/PatientDocLoad.h"

#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "document/PatientDoc.h"

CPatientDocLoad::CPatientDocLoad(std::size_t mostBytes)
    : m_pRoot(std::make_unique<CInfoNode>()),
      m_budget(CBuildBudget::ForText(mostBytes)),
      m_builder(*m_pRoot, m_budget),
      m_parse(m_builder)
{
}

CPatientDocLoad::~CPatientDocLoad() = default;

void CPatientDocLoad::ReadOn(const char* text, std::size_t length)
{
    if (text == nullptr || m_bOutOfMemory || length > static_cast<std::size_t>(INT32_MAX)) {
        return;
    }
    // The text ends at its first NUL: only the bytes before it are a part. Each byte is
    // looked at once over all the parts.
    if (!m_bTextEnded && length > m_nNulFreeBytes) {
        const void* pNul = std::memchr(text + m_nNulFreeBytes, '\0', length - m_nNulFreeBytes);
        if (pNul != nullptr) {
            m_nNulFreeBytes = static_cast<std::size_t>(static_cast<const char*>(pNul) - text);
            m_bTextEnded = true;
        } else {
            m_nNulFreeBytes = length;
        }
    }
    const std::size_t part = m_nNulFreeBytes < length ? m_nNulFreeBytes : length;
    if (m_budget.Used() > CBuildBudget::LimitForText(part)) {
        return;
    }
    try {
        m_parse.ReadOn(text, static_cast<std::int32_t>(part));
    } catch (const std::bad_alloc&) {
        m_bOutOfMemory = true;
    }
}

bool CPatientDocLoad::Finish(const char* pszText, CPatientDoc& doc)
{
    if (pszText == nullptr || *pszText == '\0') {
        return false;
    }
    const std::size_t length = std::strlen(pszText);
    bool bBuilt = false;
    if (!m_bOutOfMemory && length <= static_cast<std::size_t>(INT32_MAX)) {
        try {
            m_budget.LimitTo(CBuildBudget::LimitForText(length));
            std::string strError;
            bBuilt = m_parse.Finish(pszText, static_cast<std::int32_t>(length), strError) ==
                         markup_parse::kWellFormed &&
                     m_builder.BuiltRoot() && !m_budget.Exceeded();
        } catch (const std::bad_alloc&) {
            // Memory ran out while building: a failed load like any other.
            bBuilt = false;
        }
    }
    // A text the parser rejects, or whose tree would take more than the budget or than there
    // is memory for, leaves the empty root: the part built so far goes with its arena.
    return doc.Adopt(bBuilt ? std::move(m_pRoot) : std::make_unique<CInfoNode>()) && bBuilt;
}
