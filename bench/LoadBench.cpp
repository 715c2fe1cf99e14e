// korv-bench-load: CXmlDoc::LoadText and CPatientDoc::Load on the generated documents, timed
// by a plain program (no benchmark library), so that the same code runs natively and in the
// Windows builds under wine (make bench-win). The library code is linked from the build's
// own static libraries, compiled with the build's flags (for the 32-bit Windows build: SSE2).
//
// Usage: korv-bench-load [SECONDS_PER_RUN]
// Prints one line per measurement: "row <tab> operation <tab> bytes <tab> MB/s <tab> loads",
// the best of five runs, each run loading until SECONDS_PER_RUN (default 0.2) have passed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "DocGenerator.h"
#include "document/PatientDoc.h"
#include "markup/XmlDoc.h"

namespace {

constexpr int kRuns = 5;

bool LoadMarkup(const std::string& text)
{
    CXmlDoc doc;
    return doc.LoadText(text.c_str()) && doc.UsedEntries() > 0;
}

bool LoadDocument(const std::string& text)
{
    CPatientDoc doc;
    return doc.Load(text.c_str()) && doc.GetModalityCount() > 0;
}

// Best throughput (MB/s, 10^6 bytes) over the runs; 0 when a load fails.
double Measure(bool (*load)(const std::string&), const std::string& text, double seconds,
               long& loads)
{
    using Clock = std::chrono::steady_clock;
    if (!load(text)) {  // warm-up, and the check that the document is accepted
        return 0.0;
    }
    double best = 0.0;
    for (int run = 0; run < kRuns; ++run) {
        long count = 0;
        const auto start = Clock::now();
        double elapsed = 0.0;
        do {
            if (!load(text)) {
                return 0.0;
            }
            ++count;
            elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        } while (elapsed < seconds);
        const double rate =
            static_cast<double>(text.size()) * static_cast<double>(count) / elapsed / 1e6;
        if (rate > best) {
            best = rate;
            loads = count;
        }
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 0.2;
    if (!(seconds > 0.0)) {
        std::fprintf(stderr, "usage: %s [SECONDS_PER_RUN]\n", argv[0]);
        return 2;
    }
    const std::size_t sizes[] = {50 * 1024, 1024 * 1024, 16 * 1024 * 1024};
    int failures = 0;
    for (const std::size_t size : sizes) {
        const std::string text = CDocGenerator::BySize(size);
        struct {
            const char* name;
            bool (*load)(const std::string&);
        } const operations[] = {{"LoadText", LoadMarkup}, {"CPatientDoc::Load", LoadDocument}};
        for (const auto& operation : operations) {
            long loads = 0;
            const double rate = Measure(operation.load, text, seconds, loads);
            if (rate == 0.0) {
                std::fprintf(stderr, "%s refused the %zu-byte document\n", operation.name, size);
                ++failures;
                continue;
            }
            std::printf("row\t%s\t%zu\t%.1f\t%ld\n", operation.name, size, rate, loads);
            std::fflush(stdout);
        }
    }
    return failures == 0 ? 0 : 1;
}
