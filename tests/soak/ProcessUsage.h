// What this process holds, read from /proc/self: threads, open descriptors, resident memory.
#pragma once

#include <cstdint>
#include <string>

struct ProcessUsage {
    int threads = -1;
    int descriptors = -1;
    std::int64_t residentKb = -1;

    // Returns freed memory to the system first (the sanitizers' quarantine included), so
    // that what is left is memory still in use.
    static ProcessUsage Sample();
    std::string Describe() const;
};
