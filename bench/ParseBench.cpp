// Markup and document throughput beside the peer parsers, on the same bytes in one process.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <pugixml.hpp>

#include <cstdio>
#include <map>
#include <string>

#include "DocGenerator.h"
#include "document/PatientDoc.h"
#include "markup/XmlDoc.h"

namespace {

const std::string& Document(std::size_t bytes)
{
    static std::map<std::size_t, std::string> cache;
    auto it = cache.find(bytes);
    if (it == cache.end()) {
        it = cache.emplace(bytes, CDocGenerator::BySize(bytes)).first;
    }
    return it->second;
}

void Account(benchmark::State& state, const std::string& text)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["text_bytes"] = static_cast<double>(text.size());
}

void BM_LoadText(benchmark::State& state)
{
    const std::string& text = Document(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        CXmlDoc doc;
        if (!doc.LoadText(text.c_str())) {
            state.SkipWithError(doc.ErrorText().c_str());
            break;
        }
        benchmark::DoNotOptimize(doc.UsedEntries());
    }
    Account(state, text);
}

void Pugi(benchmark::State& state, unsigned options)
{
    const std::string& text = Document(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        pugi::xml_document doc;
        // The bytes are code page 936; read as UTF-8 they pass through unchanged.
        const pugi::xml_parse_result result = doc.load_buffer(text.data(), text.size(), options, pugi::encoding_utf8);
        if (!result) {
            state.SkipWithError(result.description());
            break;
        }
        benchmark::DoNotOptimize(doc.first_child());
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

void BM_Expat(benchmark::State& state)
{
    const std::string& text = Document(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        // The parser has no code page 936 tables; a single-byte encoding given here overrides
        // the declaration and passes every byte.
        XML_Parser parser = XML_ParserCreate("ISO-8859-1");
        const XML_Status status = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1);
        if (status != XML_STATUS_OK) {
            state.SkipWithError(XML_ErrorString(XML_GetErrorCode(parser)));
            XML_ParserFree(parser);
            break;
        }
        XML_ParserFree(parser);
    }
    Account(state, text);
}

void BM_PatientDocLoad(benchmark::State& state)
{
    const std::string& text = Document(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        CPatientDoc doc;
        if (!doc.Load(text.c_str())) {
            state.SkipWithError("document not built");
            break;
        }
        benchmark::DoNotOptimize(doc.GetModalityCount());
    }
    Account(state, text);
}

constexpr int64_t k50K = 50 * 1024;
constexpr int64_t k1M = 1024 * 1024;
constexpr int64_t k16M = 16 * 1024 * 1024;

BENCHMARK(BM_LoadText)->Arg(k50K)->Arg(k1M)->Arg(k16M)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PugiDefault)->Arg(k50K)->Arg(k1M)->Arg(k16M)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PugiMinimal)->Arg(k50K)->Arg(k1M)->Arg(k16M)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Expat)->Arg(k50K)->Arg(k1M)->Arg(k16M)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PatientDocLoad)->Arg(k50K)->Arg(k1M)->Arg(k16M)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
