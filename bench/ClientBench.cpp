// The library end to end against the sample server on loopback: the getter walk through the
// exports, GetImageData beside a bare frame reader, OpenPatient beside a bare round trip, and
// how long a getter waits while a large document loads.
//
// Every transfer is checked: an image's size and checksum against the bytes of the name
// asked for (the two names of a size hold different bytes, so a stale buffer fails), and the
// server's log must show exactly one request answered per iteration. A document must arrive
// with its modality count; the server's count of answered queries is checked per run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
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
fs::path g_logPath;

struct SPatient {
    const char* id;
    std::size_t bytes;
    int modalities;
};
std::map<std::string, SPatient> g_patients;
std::map<std::string, std::uint64_t> g_imageSums;

std::uint64_t Checksum(const unsigned char* bytes, std::size_t length)
{
    std::uint64_t sum = 1469598103934665603ULL;
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        sum = ((sum << 7) | (sum >> 57)) ^ word;
        sum *= 1099511628211ULL;
    }
    for (; i < length; ++i) {
        sum = (sum ^ bytes[i]) * 1099511628211ULL;
    }
    return sum ^ length;
}

// Counts the server's log lines since the last call that contain `what`.
class CRequestCounter {
public:
    int Since(const std::string& what)
    {
        std::ifstream log(g_logPath, std::ios::binary);
        log.seekg(static_cast<std::streamoff>(m_offset));
        std::string line;
        int count = 0;
        while (std::getline(log, line)) {
            if (log.eof()) {
                break;  // a line still being written: read it next time
            }
            m_offset += line.size() + 1;
            count += line.find(what) != std::string::npos ? 1 : 0;
        }
        return count;
    }

private:
    std::size_t m_offset = 0;
};

CRequestCounter g_counter;

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

void AddPatient(const fs::path& root, const char* id, const std::string& text)
{
    WriteFile(root / "patients" / (std::string(id) + ".xml"), text);
    int modalities = 0;
    for (std::size_t at = text.find("<Modality"); at != std::string::npos;
         at = text.find("<Modality", at + 1)) {
        ++modalities;
    }
    g_patients[id] = SPatient{id, text.size(), modalities};
}

// patients/ with the documents of the latency rows and the getter documents; images/ with
// two names per size holding different bytes.
void FillDataFolder(const fs::path& root)
{
    fs::create_directories(root / "patients");
    fs::create_directories(root / "thumbs");
    fs::create_directories(root / "images");
    AddPatient(root, "P50K", CDocGenerator::BySize(50 * 1024));
    AddPatient(root, "D50K", CDocGenerator::Dense(50 * 1024));
    AddPatient(root, "D1M", CDocGenerator::Dense(1024 * 1024));
    AddPatient(root, "D16M", CDocGenerator::Dense(16 * 1024 * 1024));
    for (int fields : kFieldCounts) {
        WriteFile(root / "patients" / (FieldDocId(fields).append(".xml")),
                  CDocGenerator::ByFieldCount(fields));
    }
    for (int megabytes : kImageSizesMb) {
        for (int copy = 0; copy < 2; ++copy) {
            std::string bytes(static_cast<std::size_t>(megabytes) << 20, '\0');
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                bytes[i] = static_cast<char>(((i * 131) >> 7) ^ (i >> 16) ^
                                             static_cast<std::size_t>(copy * 0x5A));
            }
            WriteFile(root / "images" / ImageName(megabytes, copy), bytes);
            g_imageSums[ImageName(megabytes, copy)] =
                Checksum(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        }
    }
}

std::string Text(int (*getter)(std::uintptr_t, char*, unsigned int*), std::uintptr_t handle,
                 std::vector<char>& buffer)
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
    // The patient's own fields hang off the root, outside the modality walk.
    const long long expected = (wanted - CDocGenerator::kPatientFields) /
                               CDocGenerator::kFieldsPerStudy * CDocGenerator::kFieldsPerStudy;
    std::vector<char> buffer(256);
    long long fields = 0;
    for (auto _ : state) {
        fields = WalkDocument(buffer);
        if (fields != expected) {
            state.SkipWithError("walk did not see every field");
            break;
        }
    }
    state.counters["fields"] = static_cast<double>(fields);
    state.counters["per_field"] = benchmark::Counter(static_cast<double>(fields),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

// Checked outside the timing: the bytes of the name asked for, and one request answered.
bool ImageArrived(benchmark::State& state, const std::string& name,
                  const std::vector<unsigned char>& image, std::uint64_t size)
{
    state.PauseTiming();
    const bool sizeOk = size == image.size();
    const bool sumOk = sizeOk && Checksum(image.data(), image.size()) == g_imageSums[name];
    const int requests = g_counter.Since(" image \"" + name + "\"");
    state.ResumeTiming();
    if (!sizeOk || !sumOk || requests != 1) {
        const std::string why = !sizeOk  ? "wrong size"
                                : !sumOk ? "wrong bytes"
                                         : "not one request answered";
        state.SkipWithError(("image " + name + ": " + why).c_str());
        return false;
    }
    return true;
}

// The name alternates across every run of the benchmark (not only within one), so a call
// never asks for the name asked last, which the library answers from its own copy.
int g_nextCopy = 0;

void BM_GetImageData(benchmark::State& state)
{
    const int megabytes = static_cast<int>(state.range(0));
    std::vector<unsigned char> image(static_cast<std::size_t>(megabytes) << 20);
    g_counter.Since("");
    for (auto _ : state) {
        const std::string name = ImageName(megabytes, g_nextCopy);
        g_nextCopy ^= 1;
        unsigned int size = static_cast<unsigned int>(image.size());
        if (!GetImageData(name.c_str(), image.data(), &size)) {
            state.SkipWithError("GetImageData failed");
            break;
        }
        if (!ImageArrived(state, name, image, size)) {
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(image.size()));
}

void BM_BareImage(benchmark::State& state)
{
    const int megabytes = static_cast<int>(state.range(0));
    CBareClient client;
    if (!client.Connect(g_port)) {
        state.SkipWithError("connect failed");
        return;
    }
    std::vector<unsigned char> image(static_cast<std::size_t>(megabytes) << 20);
    int copy = 0;
    g_counter.Since("");
    for (auto _ : state) {
        const std::string name = ImageName(megabytes, copy);
        copy ^= 1;
        const std::uint64_t got = client.FetchImage(name, image.data(), image.size());
        if (!ImageArrived(state, name, image, got)) {
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(image.size()));
}

bool QueriesAnswered(benchmark::State& state, const std::string& id)
{
    const int requests = g_counter.Since(" query ");
    if (requests != static_cast<int>(state.iterations())) {
        state.SkipWithError(("server answered " + std::to_string(requests) + " queries for " +
                             std::to_string(state.iterations()) + " iterations of " + id)
                                .c_str());
        return false;
    }
    return true;
}

const char* PatientOf(const benchmark::State& state)
{
    static const char* const kIds[] = {"P50K", "D50K", "D1M"};
    return kIds[state.range(0)];
}

void BM_OpenPatient(benchmark::State& state)
{
    const SPatient& patient = g_patients[PatientOf(state)];
    g_counter.Since("");
    for (auto _ : state) {
        if (!OpenPatient(patient.id) || GetModalityCount() != patient.modalities) {
            state.SkipWithError("OpenPatient failed");
            break;
        }
    }
    QueriesAnswered(state, patient.id);
    state.counters["text_bytes"] = static_cast<double>(patient.bytes);
}

void BM_BarePatient(benchmark::State& state)
{
    const SPatient& patient = g_patients[PatientOf(state)];
    CBareClient client;
    if (!client.Connect(g_port)) {
        state.SkipWithError("connect failed");
        return;
    }
    g_counter.Since("");
    for (auto _ : state) {
        if (client.FetchPatient(patient.id) != patient.bytes) {
            state.SkipWithError("bare fetch failed");
            break;
        }
    }
    QueriesAnswered(state, patient.id);
    state.counters["text_bytes"] = static_cast<double>(patient.bytes);
}

// A second host thread calls a getter in a loop while OpenPatient loads the 16 MB dense
// document; the longest single call is what a host's user interface would stall for.
void BM_GetterDuringLoad(benchmark::State& state)
{
    const SPatient& patient = g_patients["D16M"];
    std::atomic<bool> stop{false};
    std::atomic<long long> worstNs{0};
    std::atomic<long long> calls{0};
    std::thread reader([&] {
        while (!stop.load(std::memory_order_relaxed)) {
            const auto start = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(GetModalityCount());
            const long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count();
            if (ns > worstNs.load(std::memory_order_relaxed)) {
                worstNs.store(ns, std::memory_order_relaxed);
            }
            calls.fetch_add(1, std::memory_order_relaxed);
        }
    });
    bool ok = true;
    for (auto _ : state) {
        if (!OpenPatient(patient.id) || GetModalityCount() != patient.modalities) {
            ok = false;
            break;
        }
    }
    stop = true;
    reader.join();
    if (!ok) {
        state.SkipWithError("OpenPatient failed");
    }
    state.counters["worst_getter_us"] = static_cast<double>(worstNs.load()) / 1000.0;
    state.counters["getter_calls"] = static_cast<double>(calls.load());
}

void Register()
{
    for (int fields : kFieldCounts) {
        benchmark::RegisterBenchmark("BM_GetterWalk", BM_GetterWalk)
            ->Arg(fields)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    for (int megabytes : kImageSizesMb) {
        benchmark::RegisterBenchmark("BM_GetImageData", BM_GetImageData)
            ->Arg(megabytes)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark("BM_BareImage", BM_BareImage)
            ->Arg(megabytes)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    for (int patient = 0; patient < 3; ++patient) {
        benchmark::RegisterBenchmark("BM_OpenPatient", BM_OpenPatient)
            ->Arg(patient)
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark("BM_BarePatient", BM_BarePatient)
            ->Arg(patient)
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("BM_GetterDuringLoad", BM_GetterDuringLoad)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

}  // namespace

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
    g_logPath = dataDir / "server.log";
    int result = 1;
    {
        FillDataFolder(dataDir);
        CServerProcess server;
        std::string error;
        // 65535 asks for the largest chunk a frame can carry; the server trims it to fit.
        if (!server.Start(KORV_SERVER_PROGRAM, dataDir.string(), {"--chunk-size", "65535"},
                          g_logPath.string(), error)) {
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
