#include "document/EntryIdentity.h"

#include <atomic>

namespace {

std::atomic<std::uintptr_t> s_nLast{0};

}  // namespace

std::uintptr_t TakeEntryIdentities(std::uintptr_t count)
{
    std::uintptr_t nFirst = 0;
    // 0 means "no entry": a run that would hold it (the counter wrapped) is passed over.
    do {
        nFirst = s_nLast.fetch_add(count, std::memory_order_relaxed) + 1;
    } while (nFirst == 0 || nFirst + (count - 1) < nFirst);
    return nFirst;
}

std::uintptr_t NextEntryIdentity()
{
    return TakeEntryIdentities(1);
}
