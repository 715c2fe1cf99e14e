#pragma once

#include <cstdint>
#include <string>

#include "markup/ElementEntry.h"

struct ScanCursor;

// The library's markup document: parses a text in one pass into a table of its elements and
// walks that table by element and attribute. The text stays as it was; names and attribute
// values are read out of it on demand. One thread at a time.
//
// Navigation keeps a window of three positions (element indices, 0 = none): the parent whose
// children form the level being walked, the current element on that level, and a child of the
// current element being looked at.
class CXmlDoc {
public:
    CXmlDoc();
    ~CXmlDoc();
    CXmlDoc(const CXmlDoc&) = delete;
    CXmlDoc& operator=(const CXmlDoc&) = delete;

    // Replaces the text (null gives empty text) and parses it. True when the text is
    // well-formed with one root element; otherwise ErrorText says why and the document has no
    // root. All three positions are 0 afterwards.
    bool LoadText(const char* text);
    // The same without a copy: the document reads the caller's text, which must stay
    // unchanged and alive until the next load or the document's end.
    bool LoadBorrowedText(const char* text);

    // Next element on the current level: after the current one, or the parent's first child
    // when there is none; with a name, the first such that matches it. Null or empty: any.
    bool FindElement(const char* name = nullptr);
    // Next child of the current element after the child position (or its first child).
    bool FindChild(const char* name = nullptr)
    {
        if (name != nullptr || m_nCurrent == 0) {
            return FindNamedChild(name);
        }
        // The plain walk, inline: a tree builder takes this step for every element.
        const std::int32_t found =
            m_nChild != 0 ? Entry(m_nChild).next : Entry(m_nCurrent).firstChild;
        if (found == 0) {
            return false;
        }
        m_nChild = found;
        return true;
    }
    // Steps down: the current element becomes the parent and the child the current element.
    bool EnterElement()
    {
        if (m_nCurrent == 0) {
            return false;
        }
        m_nParent = m_nCurrent;
        m_nCurrent = m_nChild;
        m_nChild = 0;
        return true;
    }
    // Steps up: the parent becomes the current element and the current one the child.
    bool LeaveElement()
    {
        if (m_nParent == 0) {
            return false;
        }
        m_nChild = m_nCurrent;
        m_nCurrent = m_nParent;
        m_nParent = Entry(m_nCurrent).parent;
        return true;
    }

    std::string ChildName() const;
    // Decoded value of the current element's attribute; empty when it has no quoted value.
    std::string AttributeValue(const char* name) const;
    // Name of the current element's attribute at a 0-based index; empty past the last.
    std::string AttributeName(int index) const;

    std::size_t TextLength() const { return m_nTextLength; }

    const std::string& ErrorText() const { return m_strErrorText; }

    // Read access for checking the element table.
    std::int32_t ParentIndex() const { return m_nParent; }
    std::int32_t CurrentIndex() const { return m_nCurrent; }
    std::int32_t ChildIndex() const { return m_nChild; }
    std::int32_t UsedEntries() const { return m_nUsed; }
    std::int32_t Capacity() const { return m_nCapacity; }
    std::int32_t SegmentCount() const;
    // The entry at index, or null outside the entries in use.
    const ElementEntry* EntryAt(std::int32_t index) const;

private:
    ElementEntry& Entry(std::int32_t index)
    {
        return m_ppSegments[index >> SEGMENT_SHIFT][index & SEGMENT_MASK];
    }
    const ElementEntry& Entry(std::int32_t index) const
    {
        return m_ppSegments[index >> SEGMENT_SHIFT][index & SEGMENT_MASK];
    }
    bool HasTable() const { return m_nCapacity > 0; }
    void ClearEntry(std::int32_t index);

    bool Parse();
    std::int32_t ParseElements(std::int32_t parent, ScanCursor& cursor);
    void GrowTable(std::int32_t n);

    std::int32_t FindSibling(std::int32_t parent, std::int32_t pos, const char* name) const;
    bool FindNamedChild(const char* name);
    ScanCursor TagCursor(std::int32_t index) const;

    std::string m_strText;
    // The text being read: m_strText, or the caller's text after LoadBorrowedText.
    const char* m_pText = "";
    std::size_t m_nTextLength = 0;
    std::string m_strErrorText;
    std::int32_t m_nParent = 0;
    std::int32_t m_nCurrent = 0;
    std::int32_t m_nChild = 0;
    std::int32_t m_nUsed = 0;
    ElementEntry** m_ppSegments = nullptr;
    std::int32_t m_nCapacity = 0;
    std::int32_t m_nSegSlots = 0;
};
