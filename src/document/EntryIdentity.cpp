#include "document/EntryIdentity.h"

#include <atomic>

std::uintptr_t NextEntryIdentity()
{
    static std::atomic<std::uintptr_t> s_nLast{0};
    std::uintptr_t nId = 0;
    // 0 means "no entry"; skip it when the counter wraps.
    while (nId == 0) {
        nId = s_nLast.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    return nId;
}
