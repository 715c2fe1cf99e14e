#pragma once

#include <cstdint>
#include <unordered_map>

// The chunks of one image received so far, offset to length. The image is complete when
// the chunks, followed from offset 0 by their lengths, reach the total without a gap.
class CChunkMap {
public:
    // Records a chunk; a chunk already recorded at the same offset gets the new length.
    // A zero-length chunk is a gap and is not recorded.
    void Record(int32_t offset, uint16_t length);

    // Continues the coverage walk from where the previous call stopped, so each chunk is
    // visited about once over the whole transfer.
    bool Covers(int32_t total);

    void Clear();
    bool IsEmpty() const { return m_mapChunks.empty(); }

private:
    std::unordered_map<int32_t, uint16_t> m_mapChunks;
    int64_t m_nCovered = 0;  // the walk's position: every byte below it is covered
};
