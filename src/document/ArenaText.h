#pragma once

#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <string_view>

class CDocArena;

// A string of a tree's arena as its entries keep it, in 8 bytes where a string_view takes 16:
// every attribute and field entry holds two, and the blocks of ten entries are most of a
// tree's memory. Like a string_view, it owns nothing.
//
// With 32-bit pointers it is the pointer and a 32-bit length. With 64-bit pointers it is the
// address in the low 48 bits (user space lies below 2^48 on every target; the arena refuses
// memory above it) and the length in the high 16; a text of kLongLength characters or more
// keeps its length in the 8 bytes before its first character, which the arena reserved.
// Only the arena makes texts other than the empty one.
class CArenaText {
public:
    CArenaText() = default;

    std::string_view View() const { return {Chars(), Length()}; }
    operator std::string_view() const { return View(); }
    bool empty() const { return Length() == 0; }

    // Either side may be a string_view (or what converts to one); != follows from ==.
    friend bool operator==(CArenaText a, CArenaText b) { return a.View() == b.View(); }
    friend bool operator==(CArenaText a, std::string_view b) { return a.View() == b; }

#if UINTPTR_MAX > 0xFFFFFFFFu
    static constexpr std::size_t kLongLength = 0xFFFF;
    // Bytes the arena reserves before a long text's characters.
    static constexpr std::size_t kLengthPrefix = sizeof(std::uint64_t);
    static constexpr std::uintptr_t kAddressLimit = std::uintptr_t{1} << 48;
#else
    static constexpr std::size_t kLongLength = static_cast<std::size_t>(-1);
    static constexpr std::size_t kLengthPrefix = 0;
    static constexpr std::uintptr_t kAddressLimit = 0;  // no limit
#endif

private:
    friend class CDocArena;
    // pChars lies below kAddressLimit; a long text has its prefix reserved before it.
    static CArenaText InArena(const char* pChars, std::size_t length);

#if UINTPTR_MAX > 0xFFFFFFFFu
    static constexpr int kLengthShift = 48;
    static constexpr std::uint64_t kAddressMask = (std::uint64_t{1} << kLengthShift) - 1;

    const char* Chars() const
    {
        return reinterpret_cast<const char*>(m_nBits & kAddressMask);
    }
    std::size_t Length() const
    {
        const auto length = static_cast<std::size_t>(m_nBits >> kLengthShift);
        if (length != kLongLength) {
            return length;
        }
        std::uint64_t stored = 0;
        std::memcpy(&stored, Chars() - kLengthPrefix, sizeof stored);
        return static_cast<std::size_t>(stored);
    }

    std::uint64_t m_nBits = reinterpret_cast<std::uintptr_t>("");
#else
    const char* Chars() const
    {
        return m_pChars;
    }
    std::size_t Length() const
    {
        return m_nLength;
    }

    const char* m_pChars = "";
    std::uint32_t m_nLength = 0;
#endif
};

inline CArenaText CArenaText::InArena(const char* pChars, std::size_t length)
{
    CArenaText text;
#if UINTPTR_MAX > 0xFFFFFFFFu
    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pChars));
    if (length < kLongLength) {
        text.m_nBits = address | (static_cast<std::uint64_t>(length) << kLengthShift);
    } else {
        const auto stored = static_cast<std::uint64_t>(length);
        std::memcpy(const_cast<char*>(pChars) - kLengthPrefix, &stored, sizeof stored);
        text.m_nBits = address | (static_cast<std::uint64_t>(kLongLength) << kLengthShift);
    }
#else
    text.m_pChars = pChars;
    text.m_nLength = static_cast<std::uint32_t>(length);
#endif
    return text;
}

static_assert(sizeof(CArenaText) == 8, "two texts fill a 16-byte attribute entry");

// For test failure messages.
std::ostream& operator<<(std::ostream& os, CArenaText text);
