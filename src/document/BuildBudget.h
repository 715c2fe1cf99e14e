#pragma once

#include <cstddef>

#include "document/ArenaText.h"

// What building one tree may take, counted as it is built: nodes, list blocks, strings, and
// the index built afterwards. A document whose tree would need
// more than kTimesText times its text (plus kSlackBytes) is refused rather than allowed to
// take memory out of all proportion to what the server sent. The slack lets every document
// whose tree stays below it through whatever its shape (a chain of 65,535 bare nested
// elements, the deepest the parser admits, takes about 45 times its text); the bound is
// for the large ones.
class CBuildBudget {
public:
    static constexpr std::size_t kTimesText = 48;
    static constexpr std::size_t kSlackBytes = 16 * 1024 * 1024;

    // No limit: for trees built outside a load.
    CBuildBudget() = default;
    static CBuildBudget ForText(std::size_t textBytes)
    {
        CBuildBudget budget;
        budget.m_nLimit = textBytes > (kNoLimit - kSlackBytes) / kTimesText
                              ? kNoLimit
                              : textBytes * kTimesText + kSlackBytes;
        return budget;
    }

    // Counts bytes; false once the total is over the limit.
    bool Charge(std::size_t bytes)
    {
        m_nUsed += bytes;
        return m_nUsed <= m_nLimit;
    }
    // A string's characters, which the tree keeps in its arena.
    bool ChargeString(std::size_t length)
    {
        return Charge(length >= CArenaText::kLongLength ? length + CArenaText::kLengthPrefix
                                                        : length);
    }
    bool Exceeded() const { return m_nUsed > m_nLimit; }
    std::size_t Used() const { return m_nUsed; }
    std::size_t Limit() const { return m_nLimit; }

private:
    static constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

    std::size_t m_nLimit = kNoLimit;
    std::size_t m_nUsed = 0;
};
