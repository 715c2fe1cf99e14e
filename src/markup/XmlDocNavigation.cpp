// CXmlDoc: moving the navigation window and reading names and values from the text.
#include "markup/XmlDoc.h"

#include "markup/ScanCursor.h"
#include "markup/TextDecoder.h"
#include "markup/WordReader.h"

ScanCursor CXmlDoc::TagCursor(std::int32_t index) const
{
    ScanCursor cursor;
    cursor.text = m_pText;
    cursor.next = Entry(index).offset + 1;
    return cursor;
}

std::int32_t CXmlDoc::FindSibling(std::int32_t parent, std::int32_t pos, const char* name) const
{
    std::int32_t index = pos != 0 ? Entry(pos).next : Entry(parent).firstChild;
    if (name == nullptr || *name == '\0') {
        return index;
    }
    for (; index != 0; index = Entry(index).next) {
        ScanCursor cursor = TagCursor(index);
        ScanWord(cursor);
        if (NameMatches(cursor.Word(), cursor.WordLength(), name)) {
            return index;
        }
    }
    return 0;
}

bool CXmlDoc::FindElement(const char* name)
{
    if (!HasTable()) {
        return false;
    }
    const std::int32_t found = FindSibling(m_nParent, m_nCurrent, name);
    if (found == 0) {
        return false;
    }
    m_nCurrent = found;
    m_nParent = Entry(found).parent;
    m_nChild = 0;
    return true;
}

bool CXmlDoc::FindNamedChild(const char* name)
{
    if (!HasTable()) {
        return false;
    }
    if (m_nCurrent == 0) {
        FindElement();
    }
    const std::int32_t found = FindSibling(m_nCurrent, m_nChild, name);
    if (found == 0) {
        return false;
    }
    m_nChild = found;
    return true;
}

std::string CXmlDoc::ChildName() const
{
    if (m_nChild == 0) {
        return std::string();
    }
    ScanCursor cursor = TagCursor(m_nChild);
    ScanWord(cursor);
    return std::string(cursor.Word(), static_cast<size_t>(cursor.WordLength()));
}

std::string CXmlDoc::AttributeValue(const char* name) const
{
    // An empty name would take the first attribute name for a value; it asks for nothing.
    if (m_nCurrent == 0 || name == nullptr || *name == '\0') {
        return std::string();
    }
    ScanCursor cursor = TagCursor(m_nCurrent);
    if (!FindAttribute(cursor, name)) {
        return std::string();
    }
    return DecodeText(cursor.text, cursor.wordStart, cursor.WordLength());
}

std::string CXmlDoc::AttributeName(int index) const
{
    if (m_nCurrent == 0 || index < 0) {
        return std::string();
    }
    // Each run starts where the previous one stopped, so run k stops at the k-th name.
    ScanCursor cursor = TagCursor(m_nCurrent);
    for (long long run = 0; run <= index; ++run) {
        if (!FindAttribute(cursor, nullptr)) {
            return std::string();
        }
    }
    return std::string(cursor.Word(), static_cast<size_t>(cursor.WordLength()));
}
