#include "thread/ChunkMap.h"

void CChunkMap::Record(int32_t offset, uint16_t length)
{
    if (length == 0)
        return;
    auto [entry, inserted] = m_mapChunks.try_emplace(offset, length);
    if (!inserted && entry->second != length) {
        entry->second = length;
        // A changed length below the walk's position invalidates the walk so far.
        if (offset < m_nCovered)
            m_nCovered = 0;
    }
}

bool CChunkMap::Covers(int32_t total)
{
    while (m_nCovered < total) {
        auto entry = m_mapChunks.find(static_cast<int32_t>(m_nCovered));
        if (entry == m_mapChunks.end())
            return false;
        m_nCovered += entry->second;
    }
    return true;
}

void CChunkMap::Clear()
{
    m_mapChunks.clear();
    m_nCovered = 0;
}
