#pragma once

#include <cstdint>

// Entries per segment of the element table. An element index carries its segment number in
// the high 16 bits and its entry within the segment in the low 16 bits.
inline constexpr std::int32_t SEGMENT_ENTRIES = 0x10000;
inline constexpr int SEGMENT_SHIFT = 16;
inline constexpr std::int32_t SEGMENT_MASK = SEGMENT_ENTRIES - 1;

// levelFlags: the nesting level in the low 16 bits, and the first-child mark.
inline constexpr std::uint32_t ELEM_LEVEL_MASK = 0xFFFF;
inline constexpr std::uint32_t ELEM_FIRST_CHILD = 0x80000;
inline constexpr std::int32_t ELEM_MAX_LEVEL = 0xFFFF;

// tagLengths: the start tag's length in the low 20 bits, the end tag's in the top 10 bits.
inline constexpr std::uint32_t ELEM_START_TAG_MAX = 0xFFFFF;
inline constexpr std::uint32_t ELEM_END_TAG_MAX = 0x3FF;
inline constexpr int ELEM_END_TAG_SHIFT = 22;

// One element of a parsed document: where it lies in the text and its links in the tree.
// Index 0 is the document entry (firstChild = root element, length = text length) and also
// means "no element" in every link.
struct ElementEntry {
    std::int32_t offset;  // offset of the element's '<'
    std::int32_t length;  // from the start tag's '<' through the end tag's '>'
    std::uint32_t tagLengths;
    std::uint32_t levelFlags;
    std::int32_t parent;
    std::int32_t firstChild;
    std::int32_t next;  // 0 for the last child
    std::int32_t prev;  // for the first child: the last child (itself when alone)

    std::int32_t StartTagLength() const
    {
        return static_cast<std::int32_t>(tagLengths & ELEM_START_TAG_MAX);
    }
    std::int32_t EndTagLength() const
    {
        return static_cast<std::int32_t>(tagLengths >> ELEM_END_TAG_SHIFT);
    }
    std::int32_t Level() const { return static_cast<std::int32_t>(levelFlags & ELEM_LEVEL_MASK); }
    bool IsFirstChild() const { return (levelFlags & ELEM_FIRST_CHILD) != 0; }
};
