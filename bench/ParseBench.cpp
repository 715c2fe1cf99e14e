// Markup and document throughput beside the peer parsers, on the same bytes in one process.
//
// Both sides of every comparison run in the same regime: each keeps one document object for
// all its iterations (CXmlDoc, CPatientDoc, pugi::xml_document, the expat parser reset), the
// first iterations warm it up, and the allocator is told to keep freed memory (no trimming,
// no separate mappings for large blocks), so neither side pays fresh page faults per
// iteration. Every iteration checks that the document it built is the expected one.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <malloc.h>
#include <pugixml.hpp>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "DocGenerator.h"
#include "document/PatientDoc.h"
#include "markup/XmlDoc.h"

namespace {

enum EShape { kStudies = 0, kDense = 1 };

const std::string& Document(EShape shape, std::size_t bytes)
{
    static std::map<std::pair<int, std::size_t>, std::string> cache;
    const auto key = std::make_pair(static_cast<int>(shape), bytes);
    auto it = cache.find(key);
    if (it == cache.end()) {
        it = cache
                 .emplace(key, shape == kDense ? CDocGenerator::Dense(bytes)
                                               : CDocGenerator::BySize(bytes))
                 .first;
    }
    return it->second;
}

const std::string& ArgDocument(const benchmark::State& state)
{
    return Document(static_cast<EShape>(state.range(1)), static_cast<std::size_t>(state.range(0)));
}

void Account(benchmark::State& state, const std::string& text)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
    state.counters["text_bytes"] = static_cast<double>(text.size());
}

void BM_LoadText(benchmark::State& state)
{
    const std::string& text = ArgDocument(state);
    CXmlDoc doc;
    doc.LoadText(text.c_str());
    const std::int32_t elements = doc.UsedEntries();
    for (auto _ : state) {
        if (!doc.LoadText(text.c_str()) || doc.UsedEntries() != elements) {
            state.SkipWithError("markup not parsed as expected");
            break;
        }
    }
    Account(state, text);
}

void Pugi(benchmark::State& state, unsigned options)
{
    const std::string& text = ArgDocument(state);
    pugi::xml_document doc;
    for (auto _ : state) {
        // The bytes are code page 936; read as UTF-8 they pass through unchanged.
        const pugi::xml_parse_result result =
            doc.load_buffer(text.data(), text.size(), options, pugi::encoding_utf8);
        if (!result || std::strcmp(doc.first_child().name(), "ROOT") != 0) {
            state.SkipWithError(result ? "unexpected root" : result.description());
            break;
        }
    }
    Account(state, text);
}

void BM_PugiDefault(benchmark::State& state)
{
    Pugi(state, pugi::parse_default);
}

void BM_PugiMinimal(benchmark::State& state)
{
    Pugi(state, pugi::parse_minimal);
}

// pugixml's default parse of the bytes in place, as a host that owns the text would parse it;
// the fresh copy of the text each iteration needs is made outside the timing.
void BM_PugiInPlace(benchmark::State& state)
{
    const std::string& text = ArgDocument(state);
    std::vector<char> copy(text.size());
    pugi::xml_document doc;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(copy.data(), text.data(), text.size());
        state.ResumeTiming();
        const pugi::xml_parse_result result = doc.load_buffer_inplace(
            copy.data(), copy.size(), pugi::parse_default, pugi::encoding_utf8);
        if (!result || std::strcmp(doc.first_child().name(), "ROOT") != 0) {
            state.SkipWithError("pugixml in-place parse failed");
            break;
        }
    }
    Account(state, text);
}

void BM_Expat(benchmark::State& state)
{
    const std::string& text = ArgDocument(state);
    // The parser has no code page 936 tables; a single-byte encoding given here overrides
    // the declaration and passes every byte.
    XML_Parser parser = XML_ParserCreate("ISO-8859-1");
    for (auto _ : state) {
        XML_ParserReset(parser, "ISO-8859-1");
        const XML_Status status = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1);
        if (status != XML_STATUS_OK) {
            state.SkipWithError(XML_ErrorString(XML_GetErrorCode(parser)));
            break;
        }
    }
    XML_ParserFree(parser);
    Account(state, text);
}

void BM_PatientDocLoad(benchmark::State& state)
{
    const std::string& text = ArgDocument(state);
    CPatientDoc doc;
    doc.Load(text.c_str());
    const std::int32_t modalities = doc.GetModalityCount();
    const std::string patient = doc.GetPatientName();
    for (auto _ : state) {
        if (!doc.Load(text.c_str()) || doc.GetModalityCount() != modalities || modalities == 0 ||
            doc.GetPatientName() != patient) {
            state.SkipWithError("document not built as expected");
            break;
        }
    }
    Account(state, text);
}

// One element with a great many attributes: the start tag is read once however wide it is.
void BM_WideElementLoad(benchmark::State& state)
{
    const int attributes = static_cast<int>(state.range(0));
    static const std::string text = CDocGenerator::WideElement(attributes);
    CPatientDoc doc;
    for (auto _ : state) {
        if (!doc.Load(text.c_str()) || doc.Root() == nullptr ||
            doc.Root()->Children().Count() != 1 ||
            doc.Root()->Children().Head()->Value()->Attrs().Count() != attributes) {
            state.SkipWithError("wide element not built as expected");
            break;
        }
    }
    Account(state, text);
}

constexpr std::int64_t k50K = 50 * 1024;
constexpr std::int64_t k1M = 1024 * 1024;
constexpr std::int64_t k16M = 16 * 1024 * 1024;

void Sizes(benchmark::internal::Benchmark* bench)
{
    for (std::int64_t shape : {kStudies, kDense}) {
        for (std::int64_t size : {k50K, k1M, k16M}) {
            bench->Args({size, shape});
        }
    }
    bench->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_LoadText)->Apply(Sizes);
BENCHMARK(BM_PugiDefault)->Apply(Sizes);
BENCHMARK(BM_PugiMinimal)->Apply(Sizes);
BENCHMARK(BM_PugiInPlace)->Apply(Sizes);
BENCHMARK(BM_Expat)->Apply(Sizes);
BENCHMARK(BM_PatientDocLoad)->Apply(Sizes);
BENCHMARK(BM_WideElementLoad)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    // Freed memory stays with the process: large blocks come from the heap rather than
    // separate mappings, and the heap is never trimmed, so repeated builds of a 16 MB
    // document reuse pages instead of faulting new ones in (for every side alike).
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, -1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
