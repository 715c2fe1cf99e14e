#include "document/HandleTable.h"

namespace {

// An array slot costs 4 bytes and a hash entry several times that: an array of up to this
// many slots per identity, plus a little, is the better choice.
constexpr std::size_t kSlotsPerIdentity = 4;
constexpr std::size_t kSlack = 1024;

}  // namespace

void CHandleTable::Clear()
{
    m_dense.clear();
    m_dense.shrink_to_fit();
    m_sparse.clear();
    m_nBase = 0;
}

void CHandleTable::Reset(std::uintptr_t lo, std::uintptr_t hi, std::size_t count)
{
    Clear();
    if (count == 0 || hi < lo) {
        return;
    }
    const std::uintptr_t span = hi - lo;
    if (span < count * kSlotsPerIdentity + kSlack) {
        m_nBase = lo;
        m_dense.assign(span + 1, 0);
    } else {
        m_sparse.reserve(count);
    }
}
