// The library end to end against the sample server on loopback: the getter walk through the
// exports, GetImageData beside a bare frame reader, and OpenPatient beside a bare round trip.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "BareClient.h"
#include "DocGenerator.h"
#include "KorvanelleClient.h"
#include "ServerProcess.h"

namespace fs = std::filesystem;

namespace {

constexpr int kImageSizesMb[] = {16, 128};
constexpr int kFieldCounts[] = {1000, 10000, 100000};

int g_port = 0;

std::string FieldDocId(int fields)
{
    // Appended piecewise: gcc 12 warns falsely (-Wrestrict) on "literal" + std::string.
    std::string id("F");
    id += std::to_string(fields);
    return id;
}

std::string ImageName(int megabytes, int copy)
{
    std::string name("img");
    name += std::to_string(megabytes);
    name += '_';
    name += std::to_string(copy);
    return name;
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// patients/ with the 50 KB document and the getter documents; images/ with two names per
// size (hard links), since a repeated name is answered from the library's copy.
void FillDataFolder(const fs::path& root)
{
    fs::create_directories(root / "patients");
    fs::create_directories(root / "thumbs");
    fs::create_directories(root / "images");
    WriteFile(root / "patients" / "P50K.xml", CDocGenerator::BySize(50 * 1024));
    for (int fields : kFieldCounts) {
        WriteFile(root / "patients" / (FieldDocId(fields).append(".xml")), CDocGenerator::ByFieldCount(fields));
    }
    for (int megabytes : kImageSizesMb) {
        std::string bytes(static_cast<std::size_t>(megabytes) << 20, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>((i * 131) >> 7);
        }
        WriteFile(root / "images" / ImageName(megabytes, 0), bytes);
        fs::create_hard_link(root / "images" / ImageName(megabytes, 0), root / "images" / ImageName(megabytes, 1));
    }
}

std::string Text(int (*getter)(std::uintptr_t, char*, unsigned int*), std::uintptr_t handle, std::vector<char>& buffer)
{
    unsigned int size = 0;
    if (!getter(handle, nullptr, &size)) {
        return {};
    }
    if (buffer.size() < size) {
        buffer.resize(size);
    }
    getter(handle, buffer.data(), &size);
    return std::string(buffer.data(), size > 0 ? size - 1 : 0);
}

// Every modality, study and field with its name, type and data; returns the fields seen.
long long WalkDocument(std::vector<char>& buffer)
{
    long long fields = 0;
    const int modalities = GetModalityCount();
    for (int m = 0; m < modalities; ++m) {
        const ModID mod = GetModID(m);
        benchmark::DoNotOptimize(Text(GetModName, mod, buffer));
        const int studies = GetStudyCount(mod);
        for (int s = 0; s < studies; ++s) {
            const StudyID study = GetStudyID(mod, s);
            benchmark::DoNotOptimize(Text(GetStudyName, study, buffer));
            const int count = GetFieldCount(study);
            for (int f = 0; f < count; ++f) {
                const FieldID field = GetFieldID(study, f);
                benchmark::DoNotOptimize(Text(GetFieldName, field, buffer));
                benchmark::DoNotOptimize(GetFieldType(field));
                benchmark::DoNotOptimize(Text(GetFieldData, field, buffer));
                ++fields;
            }
        }
    }
    return fields;
}

void BM_GetterWalk(benchmark::State& state)
{
    const int wanted = static_cast<int>(state.range(0));
    if (!OpenPatient(FieldDocId(wanted).c_str())) {
        state.SkipWithError("OpenPatient failed");
        return;
    }
    std::vector<char> buffer(256);
    long long fields = 0;
    for (auto _ : state) {
        fields = WalkDocument(buffer);
    }
    // The patient's own fields hang off the root, outside the modality walk.
    state.counters["fields"] = static_cast<double>(fields);
    state.counters["per_field"] =
        benchmark::Counter(static_cast<double>(fields), benchmark::Counter::kIsIterationInvariantRate |
                                                            benchmark::Counter::kInvert);
}

void BM_GetImageData(benchmark::State& state)
{
    const int megabytes = static_cast<int>(state.range(0));
    std::vector<unsigned char> image(static_cast<std::size_t>(megabytes) << 20);
    int copy = 0;
    for (auto _ : state) {
        // Alternating names so that every call fetches from the server.
        unsigned int size = static_cast<unsigned int>(image.size());
        if (!GetImageData(ImageName(megabytes, copy).c_str(), image.data(), &size) || size != image.size()) {
            state.SkipWithError("GetImageData failed");
            break;
        }
        copy ^= 1;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.size()));
}

void BM_BareImage(benchmark::State& state)
{
    const int megabytes = static_cast<int>(state.range(0));
    CBareClient client;
    if (!client.Connect(g_port)) {
        state.SkipWithError("connect failed");
        return;
    }
    const std::uint64_t expected = static_cast<std::uint64_t>(megabytes) << 20;
    for (auto _ : state) {
        if (client.FetchImage(ImageName(megabytes, 0)) != expected) {
            state.SkipWithError("bare fetch failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(expected));
}

void BM_OpenPatient(benchmark::State& state)
{
    for (auto _ : state) {
        if (!OpenPatient("P50K")) {
            state.SkipWithError("OpenPatient failed");
            break;
        }
    }
}

void BM_BarePatient(benchmark::State& state)
{
    CBareClient client;
    if (!client.Connect(g_port)) {
        state.SkipWithError("connect failed");
        return;
    }
    for (auto _ : state) {
        if (client.FetchPatient("P50K") == 0) {
            state.SkipWithError("bare fetch failed");
            break;
        }
    }
}

void Register()
{
    for (int fields : kFieldCounts) {
        benchmark::RegisterBenchmark("BM_GetterWalk", BM_GetterWalk)->Arg(fields)->Unit(benchmark::kMillisecond)->UseRealTime();
    }
    for (int megabytes : kImageSizesMb) {
        benchmark::RegisterBenchmark("BM_GetImageData", BM_GetImageData)
            ->Arg(megabytes)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark("BM_BareImage", BM_BareImage)
            ->Arg(megabytes)->Unit(benchmark::kMillisecond)->UseRealTime();
    }
    benchmark::RegisterBenchmark("BM_OpenPatient", BM_OpenPatient)->Unit(benchmark::kMicrosecond)->UseRealTime();
    benchmark::RegisterBenchmark("BM_BarePatient", BM_BarePatient)->Unit(benchmark::kMicrosecond)->UseRealTime();
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    char pattern[] = "/tmp/korv-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dataDir(pattern);
    int result = 1;
    {
        FillDataFolder(dataDir);
        CServerProcess server;
        std::string error;
        // 65535 asks for the largest chunk a frame can carry; the server trims it to fit.
        if (!server.Start(KORV_SERVER_PROGRAM, dataDir.string(), {"--chunk-size", "65535"}, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
        } else if (!Connect("127.0.0.1", server.Port())) {
            std::fprintf(stderr, "Connect to the sample server failed\n");
        } else {
            g_port = server.Port();
            Register();
            benchmark::RunSpecifiedBenchmarks();
            Disconnect();
            result = 0;
        }
    }
    fs::remove_all(dataDir);
    benchmark::Shutdown();
    return result;
}
