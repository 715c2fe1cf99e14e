#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

// A string of a tree's arena as its entries keep it: a pointer and a 32-bit length packed in
// 12 bytes where a string_view takes 16. Every attribute and field entry holds two, and the
// blocks of ten entries are much of a tree's memory. Like a string_view, it owns nothing.
#pragma pack(push, 4)
class CArenaText {
public:
    CArenaText() = default;
    CArenaText(std::string_view text)
        : m_pChars(text.data()), m_nLength(static_cast<std::uint32_t>(text.size()))
    {}
    CArenaText(const char* psz) : CArenaText(std::string_view(psz)) {}
    CArenaText(const std::string& text) : CArenaText(std::string_view(text)) {}

    operator std::string_view() const { return {m_pChars, m_nLength}; }
    std::string_view View() const { return {m_pChars, m_nLength}; }

    // One comparison: either side may be any text a CArenaText is made from.
    friend bool operator==(CArenaText a, CArenaText b) { return a.View() == b.View(); }

private:
    const char* m_pChars = "";
    std::uint32_t m_nLength = 0;
};
#pragma pack(pop)

// For test failure messages.
std::ostream& operator<<(std::ostream& os, CArenaText text);
