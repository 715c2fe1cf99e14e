#pragma once

#include <cstdint>

// Hands out the identity of a new list entry. Identities come from one process-wide counter
// and are never 0, so a handle kept from a destroyed tree cannot designate an entry of a
// later one (raw addresses could: the allocator hands them out again).
std::uintptr_t NextEntryIdentity();
// Takes `count` consecutive identities at once and returns the first; the run never holds 0.
std::uintptr_t TakeEntryIdentities(std::uintptr_t count);
