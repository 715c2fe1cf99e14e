#include "ProcessUsage.h"

#include <dirent.h>
#include <malloc.h>

#include <fstream>
#include <sstream>

// Present only in sanitizer builds.
extern "C" void __sanitizer_purge_allocator() __attribute__((weak));

namespace {

int CountDescriptors()
{
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(dir);
    return count - 1;  // the directory stream's own descriptor
}

}  // namespace

ProcessUsage ProcessUsage::Sample()
{
    if (__sanitizer_purge_allocator != nullptr)
        __sanitizer_purge_allocator();
    ::malloc_trim(0);

    ProcessUsage usage;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "Threads:")
            fields >> usage.threads;
        else if (key == "VmRSS:")
            fields >> usage.residentKb;
    }
    usage.descriptors = CountDescriptors();
    return usage;
}

std::string ProcessUsage::Describe() const
{
    return std::to_string(threads) + " threads, " + std::to_string(descriptors) + " descriptors, " +
           std::to_string(residentKb) + " kB resident";
}
