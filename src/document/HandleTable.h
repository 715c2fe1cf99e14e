#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "markup/AlwaysInline.h"

// Maps entry identities to 32-bit values (0 = none). The identities of one tree come from a
// counter and so mostly lie in a narrow range: then the table is an array indexed by
// identity minus the smallest, and a walk in document order reads it front to back. Where
// other trees took numbers in between and the range is wide, it is a hash map instead.
class CHandleTable {
public:
    // Empties the table and prepares it for `count` identities from lo to hi.
    void Reset(std::uintptr_t lo, std::uintptr_t hi, std::size_t count);
    void Clear();
    // Keeps the first value given for an identity; value must not be 0. True when this one
    // was kept: the identity had none and lies in the prepared range (a dense table's).
    KORV_ALWAYS_INLINE bool Insert(std::uintptr_t handle, std::uint32_t value)
    {
        if (!m_dense.empty()) {
            if (handle < m_nBase || handle - m_nBase >= m_dense.size() ||
                m_dense[handle - m_nBase] != 0) {
                return false;
            }
            m_dense[handle - m_nBase] = value;
            return true;
        }
        return m_sparse.try_emplace(handle, value).second;
    }
    std::uint32_t Find(std::uintptr_t handle) const
    {
        if (!m_dense.empty()) {
            return handle >= m_nBase && handle - m_nBase < m_dense.size()
                       ? m_dense[handle - m_nBase]
                       : 0;
        }
        auto it = m_sparse.find(handle);
        return it == m_sparse.end() ? 0 : it->second;
    }

private:
    std::vector<std::uint32_t> m_dense;
    std::uintptr_t m_nBase = 0;
    std::unordered_map<std::uintptr_t, std::uint32_t> m_sparse;
};
