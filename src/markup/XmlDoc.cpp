#include "markup/XmlDoc.h"

#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include "markup/MarkupMessage.h"
#include "markup/MarkupParser.h"
#include "markup/MarkupScanner.h"
#include "markup/MarkupToken.h"
#include "markup/ScanCursor.h"
#include "markup/WordReader.h"

namespace {

// The first table: one entry per 64 bytes of text plus 8.
constexpr std::int32_t kTextBytesPerEntry = 64;
constexpr std::int32_t kExtraEntries = 8;

std::uint32_t StartTagBits(std::int32_t length)
{
    // A longer tag keeps the largest length that fits rather than spilling into the end-tag bits.
    const auto bits = static_cast<std::uint32_t>(length);
    return bits > ELEM_START_TAG_MAX ? ELEM_START_TAG_MAX : bits;
}

std::uint32_t EndTagBits(std::int32_t length)
{
    auto bits = static_cast<std::uint32_t>(length);
    if (bits > ELEM_END_TAG_MAX) {
        bits = ELEM_END_TAG_MAX;
    }
    return bits << ELEM_END_TAG_SHIFT;
}

}  // namespace

CXmlDoc::CXmlDoc() = default;

CXmlDoc::~CXmlDoc()
{
    if (m_ppSegments != nullptr) {
        for (std::int32_t i = 0; i < m_nSegSlots; ++i) {
            delete[] m_ppSegments[i];
        }
        delete[] m_ppSegments;
    }
}

std::int32_t CXmlDoc::SegmentCount() const
{
    return m_nCapacity == 0 ? 0 : ((m_nCapacity - 1) >> SEGMENT_SHIFT) + 1;
}

const ElementEntry* CXmlDoc::EntryAt(std::int32_t index) const
{
    if (index < 0 || index >= m_nUsed || !HasTable()) {
        return nullptr;
    }
    return &Entry(index);
}

void CXmlDoc::ClearEntry(std::int32_t index)
{
    std::memset(&Entry(index), 0, sizeof(ElementEntry));
}

bool CXmlDoc::LoadText(const char* text)
{
    if (text == nullptr) {
        m_strText.clear();
    } else {
        m_strText.assign(text);
    }
    m_pText = m_strText.c_str();
    m_nTextLength = m_strText.size();
    m_strErrorText.clear();
    return Parse();
}

bool CXmlDoc::LoadBorrowedText(const char* text)
{
    m_strText.clear();
    m_strText.shrink_to_fit();
    m_pText = text != nullptr ? text : "";
    m_nTextLength = std::strlen(m_pText);
    m_strErrorText.clear();
    return Parse();
}

bool CXmlDoc::Parse()
{
    m_nParent = 0;
    m_nCurrent = 0;
    m_nChild = 0;
    m_nUsed = 1;

    // Offsets are signed 32-bit; a text they cannot address is refused whole.
    const size_t textLength = m_nTextLength;
    const bool tooLarge = textLength > static_cast<size_t>(INT32_MAX);
    const auto length = tooLarge ? 0 : static_cast<std::int32_t>(textLength);
    GrowTable(length / kTextBytesPerEntry + kExtraEntries);
    m_strErrorText.clear();
    ClearEntry(0);

    bool result = false;
    if (tooLarge) {
        m_strErrorText = MSG_DOCUMENT_TOO_LARGE;
    } else if (length == 0) {
        m_strErrorText = MSG_EMPTY_DOCUMENT;
    } else {
        ScanCursor cursor;
        cursor.text = m_pText;
        cursor.next = 0;
        cursor.length = length;
        const std::int32_t root = ParseElements(0, cursor);
        if (root > 0) {
            Entry(0).firstChild = root;
            Entry(0).length = length;
            result = true;
        } else {
            ClearEntry(0);
            m_nUsed = 1;
        }
    }

    m_nParent = 0;
    m_nCurrent = 0;
    m_nChild = 0;
    return result;
}

std::int32_t CXmlDoc::ParseElements(std::int32_t parent, ScanCursor& cursor)
{
    // The table is the parse's consumer: one entry per start tag, appended as the last child
    // of the innermost open element, and its lengths completed by the end tag.
    struct STableBuilder {
        static constexpr bool ReadsAttributes() { return false; }
        CXmlDoc& doc;
        std::int32_t current;
        std::int32_t level = 0;  // of the elements below current
        std::int32_t root = 0;

        void OnStartTag(const MarkupToken& token, CStartTagReader&)
        {
            if (doc.m_nUsed == doc.m_nCapacity) {
                doc.GrowTable(0);
            }
            const std::int32_t index = doc.m_nUsed++;
            if (root == 0) {
                root = index;
            }
            ElementEntry& entry = doc.Entry(index);
            ElementEntry& owner = doc.Entry(current);
            entry.parent = current;
            entry.next = 0;
            entry.firstChild = 0;
            // The parse refuses a level the level bits cannot hold before it reports the tag.
            entry.levelFlags = static_cast<std::uint32_t>(level);
            if (owner.firstChild == 0) {
                owner.firstChild = index;
                entry.prev = index;
                entry.levelFlags |= ELEM_FIRST_CHILD;
            } else {
                // The first child's prev is the last child: append after it.
                ElementEntry& first = doc.Entry(owner.firstChild);
                const std::int32_t last = first.prev;
                doc.Entry(last).next = index;
                entry.prev = last;
                first.prev = index;
            }
            entry.offset = token.offset;
            entry.tagLengths = StartTagBits(token.length);
            if (token.flags & TOKEN_EMPTY_TAG) {
                entry.length = token.length;
            } else {
                current = index;
                ++level;
            }
        }

        void OnEndTag(const MarkupToken& token)
        {
            ElementEntry& element = doc.Entry(current);
            element.length = token.offset + token.length - element.offset;
            element.tagLengths =
                (element.tagLengths & ELEM_START_TAG_MAX) | EndTagBits(token.length);
            current = element.parent;
            --level;
        }
    };
    STableBuilder table{*this, parent};
    const std::int32_t result = markup_parse::ParseElements(cursor, table, m_strErrorText);
    return result > 0 ? table.root : result;
}

void CXmlDoc::GrowTable(std::int32_t n)
{
    if (n == 0) {
        n = m_nUsed + m_nUsed / 2;
    }
    if (m_nCapacity >= n) {
        return;
    }
    const std::int32_t lastSeg = m_nCapacity == 0 ? 0 : (m_nCapacity - 1) >> SEGMENT_SHIFT;
    std::int32_t newSeg = (n - 1) >> SEGMENT_SHIFT;
    // At most one new segment per call, so growth never copies more than one partial segment.
    if (newSeg > lastSeg + 1) {
        newSeg = lastSeg + 1;
        n = (lastSeg + 2) * SEGMENT_ENTRIES;
    }

    if (m_nSegSlots <= newSeg) {
        const std::int32_t slots = 2 * newSeg + 4;
        auto** segments = new ElementEntry*[static_cast<size_t>(slots)]();
        for (std::int32_t i = 0; i < m_nSegSlots; ++i) {
            segments[i] = m_ppSegments[i];
        }
        delete[] m_ppSegments;
        m_ppSegments = segments;
        m_nSegSlots = slots;
    }

    const std::int32_t inLast = m_nCapacity - lastSeg * SEGMENT_ENTRIES;
    if (newSeg > lastSeg && inLast < SEGMENT_ENTRIES) {
        // The last segment is filled up before the next one starts.
        auto* full = new ElementEntry[SEGMENT_ENTRIES];
        if (inLast > 0) {
            std::memcpy(full, m_ppSegments[lastSeg],
                        sizeof(ElementEntry) * static_cast<size_t>(inLast));
        }
        delete[] m_ppSegments[lastSeg];
        m_ppSegments[lastSeg] = full;
    }

    const std::int32_t entries = n - newSeg * SEGMENT_ENTRIES;
    auto* segment = new ElementEntry[static_cast<size_t>(entries)];
    if (newSeg == lastSeg && inLast > 0) {
        std::memcpy(segment, m_ppSegments[newSeg],
                    sizeof(ElementEntry) * static_cast<size_t>(inLast));
    }
    delete[] m_ppSegments[newSeg];
    m_ppSegments[newSeg] = segment;
    m_nCapacity = n;
}
