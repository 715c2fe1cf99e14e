// Peak resident memory of one CPatientDoc::Load of a 16 MB document, in a process of its
// own. The argument names the shape: "studies" (the default), "dense" or "name-only". The text is generated first; the kernel's peak mark is then reset (clear_refs 5), so
// the peak read afterwards minus the resident size before the load is what the load added.
// Where the reset is refused, getrusage's lifetime peak is used instead and the figure
// includes the generator's own transient use.
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "DocGenerator.h"
#include "document/PatientDoc.h"

namespace {

// A "VmRSS:" or "VmHWM:" figure from /proc/self/status, in bytes; -1 when missing.
long long StatusBytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t keyLength = std::strlen(key);
    while (std::getline(status, line)) {
        if (line.compare(0, keyLength, key) == 0) {
            return std::stoll(line.substr(keyLength)) * 1024;
        }
    }
    return -1;
}

bool ResetPeak()
{
    std::FILE* file = std::fopen("/proc/self/clear_refs", "w");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fputs("5", file) >= 0;
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string shape = argc > 1 ? argv[1] : "studies";
    constexpr std::size_t kBytes = 16u * 1024 * 1024;
    const std::string text = shape == "dense"       ? CDocGenerator::Dense(kBytes)
                             : shape == "name-only" ? CDocGenerator::NameOnlySiblings(kBytes)
                                                    : CDocGenerator::BySize(kBytes);
    const long long before = StatusBytes("VmRSS:");
    const bool reset = ResetPeak();
    bool built = false;
    int modalities = 0;
    {
        CPatientDoc doc;
        built = doc.Load(text.c_str());
        modalities = doc.GetModalityCount();
    }
    long long peak = StatusBytes("VmHWM:");
    if (!reset || peak < 0) {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        peak = static_cast<long long>(usage.ru_maxrss) * 1024;
    }
    std::printf("{\"shape\": \"%s\", \"text_bytes\": %zu, \"rss_before\": %lld, \"peak\": %lld, "
                "\"peak_reset\": %s, \"built\": %s, \"modalities\": %d}\n",
                shape.c_str(), text.size(), before, peak, reset ? "true" : "false",
                built ? "true" : "false", modalities);
    // A refused document is a result to report, not a failure of the probe.
    return 0;
}
