#include "thread/ReplyAssembly.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace {

// The smallest step of the window, so that tiny chunks do not make it grow each time.
constexpr std::uint32_t kMinWindow = 4096;

}  // namespace

CReplyAssembly::CReplyAssembly(Kind kind) : m_kind(kind) {}

std::uint32_t CReplyAssembly::MaxTotal() const
{
    return m_kind == Kind::Text ? kMaxTextTotal : kMaxImageTotal;
}

CReplyAssembly::Result CReplyAssembly::Add(std::int32_t total, std::int32_t offset,
                                           const unsigned char* bytes, size_t length)
{
    if (total < 0 || offset < 0 ||
        static_cast<std::uint64_t>(offset) + length > static_cast<std::uint64_t>(total) ||
        static_cast<std::uint32_t>(total) > MaxTotal() || length > UINT16_MAX ||
        (length > 0 && bytes == nullptr))
        return Result::Dropped;
    if (!m_bActive || static_cast<std::uint32_t>(total) != m_nTotal) {
        Clear();
        m_bActive = true;
        m_nTotal = static_cast<std::uint32_t>(total);
    }
    m_nReceived += length + (m_kind == Kind::Text ? kTextMessageCost : kImageMessageCost);

    const auto begin = static_cast<std::uint32_t>(offset);
    const auto end = static_cast<std::uint32_t>(begin + length);
    if (length > 0) {
        if (end > m_nWindow)
            GrowWindow(end, false);
        if (!Keep(begin, bytes, static_cast<std::uint32_t>(length)))
            return Result::Dropped;
    }
    if (m_kind == Kind::Text) {
        // The server sends text in ascending order: the chunk that reaches the total ends it.
        if (end < m_nTotal)
            return Result::Partial;
        Settle();
        return Text() != nullptr ? Result::Complete : Result::Dropped;
    }
    // Everything in the window has come and the log holds what follows it: the window has
    // to move on for the image to complete.
    if (m_nPrefix == m_nWindow && m_nWindow < m_nTotal && !m_log.IsEmpty() &&
        m_log.LowestOffset() == m_nWindow) {
        // Only for a large step: a peer cannot make each chunk cost a pass over the log. Once
        // the whole image has come, the budget always allows such a step.
        if (WindowBudget() >= std::min<std::uint64_t>(m_nTotal, m_nWindow + m_nWindow / 2ull))
            Settle();
    }
    return IsComplete() ? Result::Complete : Result::Partial;
}

bool CReplyAssembly::IsComplete() const
{
    return m_bActive && m_kind == Kind::Image && m_nPrefix >= m_nTotal;
}

const char* CReplyAssembly::Text() const
{
    return m_kind == Kind::Text && m_buffer.Capacity() > m_nWindow
               ? reinterpret_cast<const char*>(m_buffer.Data())
               : nullptr;
}

void CReplyAssembly::Clear()
{
    m_bActive = false;
    m_nTotal = 0;
    m_nReceived = 0;
    m_nWindow = 0;
    m_nPrefix = 0;
    m_pCoverage.reset();
    m_nCoverageWords = 0;
    m_log.Clear();
}

void CReplyAssembly::Release()
{
    Clear();
    m_buffer.Release();
}

size_t CReplyAssembly::HeldBytes() const
{
    return m_buffer.Capacity() + m_nCoverageWords * sizeof(std::uint64_t) + m_log.HeldBytes();
}

// The largest window whose buffer and coverage map, with the log as it is, stay within twice
// the bytes received plus half the slack (the other half covers the log's last block).
std::uint64_t CReplyAssembly::WindowBudget() const
{
    const std::uint64_t allowed = 2 * m_nReceived + kSlack / 2;
    const std::uint64_t log = m_log.HeldBytes();
    if (allowed <= log + 16)
        return 0;
    const std::uint64_t room = allowed - log - 16;
    const std::uint64_t window = m_kind == Kind::Image ? room * 8 / 9 : room - 1;
    return std::min<std::uint64_t>(window, m_nTotal);
}

// Grows the window towards `needed` within the budget, by half its size at the least so that
// the buffer is moved only a few times over a reply; `settle` takes whatever the budget allows.
// Chunks of the log that the new window reaches move into the buffer.
bool CReplyAssembly::GrowWindow(std::uint32_t needed, bool settle)
{
    bool grown = false;
    while (m_nWindow < needed) {
        const std::uint64_t budget = WindowBudget();
        std::uint64_t next = budget;
        // Another pass over the log only for a large step, so that settling costs a few
        // passes over the log, not one per chunk it frees.
        if (settle && grown &&
            next < std::min<std::uint64_t>(m_nTotal, m_nWindow + m_nWindow / 2ull))
            break;
        if (!settle) {
            next = std::min<std::uint64_t>(
                budget, std::max<std::uint64_t>({needed, 2ull * m_nWindow, kMinWindow}));
            if (next < std::min<std::uint64_t>(m_nTotal, m_nWindow + m_nWindow / 2ull))
                break;
        }
        if (next <= m_nWindow || !SetWindow(static_cast<std::uint32_t>(next)))
            break;
        grown = true;
        if (!m_log.IsEmpty() && m_log.LowestOffset() < m_nWindow) {
            m_log.Drain([this](std::uint32_t offset, const unsigned char* bytes,
                               std::uint16_t length) { Keep(offset, bytes, length); });
        }
        if (!settle)
            break;
    }
    return grown;
}

bool CReplyAssembly::SetWindow(std::uint32_t window)
{
    const std::uint32_t extra = m_kind == Kind::Text ? 1 : 0;
    if (!m_buffer.Grow(window + extra))
        return false;
    if (m_kind == Kind::Text) {
        // Bytes never received stay zero, so the text ends at its first gap.
        std::memset(m_buffer.Data() + m_nWindow, 0, window + extra - m_nWindow);
    } else if (m_pCoverage) {
        const size_t words = (static_cast<size_t>(window) + 63) / 64;
        std::unique_ptr<std::uint64_t[]> coverage(new (std::nothrow) std::uint64_t[words]);
        if (!coverage)
            return false;
        std::copy_n(m_pCoverage.get(), m_nCoverageWords, coverage.get());
        std::fill(coverage.get() + m_nCoverageWords, coverage.get() + words, 0);
        m_pCoverage = std::move(coverage);
        m_nCoverageWords = words;
    }
    m_nWindow = window;
    return true;
}

// Puts the part of a chunk below the window into the buffer and logs the rest.
bool CReplyAssembly::Keep(std::uint32_t offset, const unsigned char* bytes, std::uint32_t length)
{
    const std::uint32_t end = offset + length;
    if (offset < m_nWindow) {
        const std::uint32_t inside = std::min(end, m_nWindow) - offset;
        Place(offset, bytes, inside);
        offset += inside;
        bytes += inside;
        length -= inside;
    }
    return length == 0 || m_log.Append(offset, bytes, static_cast<std::uint16_t>(length));
}

void CReplyAssembly::Place(std::uint32_t offset, const unsigned char* bytes, std::uint32_t length)
{
    std::memcpy(m_buffer.Data() + offset, bytes, length);
    if (m_kind == Kind::Image)
        MarkCovered(offset, offset + length);
}

void CReplyAssembly::MarkCovered(std::uint32_t begin, std::uint32_t end)
{
    if (!m_pCoverage) {
        // While the chunks extend the received prefix, the prefix is all there is to know.
        if (begin <= m_nPrefix) {
            m_nPrefix = std::max(m_nPrefix, end);
            return;
        }
        if (!StartCoverageMap())
            return;
    }
    for (std::uint32_t bit = begin; bit < end;) {
        const std::uint32_t word = bit / 64;
        const std::uint32_t first = bit % 64;
        const std::uint32_t count = std::min<std::uint32_t>(64 - first, end - bit);
        const std::uint64_t mask =
            count == 64 ? ~std::uint64_t{0} : ((std::uint64_t{1} << count) - 1) << first;
        m_pCoverage[word] |= mask;
        bit += count;
    }
    if (begin <= m_nPrefix)
        AdvancePrefix();
}

bool CReplyAssembly::StartCoverageMap()
{
    const size_t words = (static_cast<size_t>(m_nWindow) + 63) / 64;
    m_pCoverage.reset(new (std::nothrow) std::uint64_t[words]);
    if (!m_pCoverage)
        return false;
    m_nCoverageWords = words;
    std::fill(m_pCoverage.get(), m_pCoverage.get() + words, 0);
    const std::uint32_t prefix = m_nPrefix;
    m_nPrefix = 0;
    if (prefix > 0)
        MarkCovered(0, prefix);
    return true;
}

void CReplyAssembly::AdvancePrefix()
{
    while (m_nPrefix < m_nWindow) {
        const std::uint64_t word = m_pCoverage[m_nPrefix / 64] >> (m_nPrefix % 64);
        const std::uint32_t run = static_cast<std::uint32_t>(std::countr_one(word));
        const std::uint32_t left = 64 - m_nPrefix % 64;
        m_nPrefix += std::min(run, left);
        if (run < left)
            break;
    }
    m_nPrefix = std::min(m_nPrefix, m_nWindow);
}

// Moves the window as far as the budget allows (a text is then read up to its first gap).
void CReplyAssembly::Settle()
{
    GrowWindow(m_nTotal, true);
    if (m_kind == Kind::Text && m_buffer.Grow(m_nWindow + 1))
        m_buffer.Data()[m_nWindow] = 0;
}
