// Extracting one 16 MiB deflated member: the zip component through the unzip
// library (load, inflate, write, CRC check, unload) against its two parts
// alone (inflating the same data to memory, writing 16 MiB to a new file) and
// against Info-ZIP's `unzip -p ARCHIVE MEMBER > FILE` on the same archive.
#include "core/zip/ZipComponent.h"

#include <benchmark/benchmark.h>
#include <isa-l/igzip_lib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr size_t MemberSize = 16 * 1024 * 1024;
const char* const MemberName = "big.rom";

// A private directory holding the archive, built once with Info-ZIP zip.
struct TBenchArchive {
    fs::path Dir;
    fs::path Archive;
    fs::path OutDir;
    std::vector<uint8_t> Compressed; // the member's deflate stream

    TBenchArchive() {
        char pattern[] = "/tmp/unzip-bench-XXXXXX";
        Dir = mkdtemp(pattern);
        Archive = Dir / "bench.zip";
        OutDir = Dir / "out";
        fs::create_directory(OutDir);
        // ROM-like bytes: a small alphabet, so deflate gets about 2:1.
        std::mt19937 random(16);
        const char alphabet[] = "\x00\x01\x02\x20\x40\x80\xff\xea\x4c\x60\xa9";
        std::string data(MemberSize, '\0');
        for (char& c : data)
            c = alphabet[random() % (sizeof alphabet - 1)];
        std::ofstream(Dir / MemberName, std::ios::binary) << data;
        const std::string command = "cd '" + Dir.string() + "' && zip -q -X bench.zip " +
                                    MemberName + " && rm " + MemberName;
        if (std::system(command.c_str()) != 0)
            std::abort();
        // The raw deflate stream for the inflate-only reference.
        std::ifstream in(Archive, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        const size_t start = 30 + std::strlen(MemberName);
        const size_t size = static_cast<uint8_t>(bytes[18]) | static_cast<uint8_t>(bytes[19]) << 8 |
                            static_cast<uint8_t>(bytes[20]) << 16 |
                            static_cast<size_t>(static_cast<uint8_t>(bytes[21])) << 24;
        Compressed.assign(bytes.begin() + start, bytes.begin() + start + size);
    }
    ~TBenchArchive() { fs::remove_all(Dir); }
};

TBenchArchive& Bench() {
    static TBenchArchive bench;
    return bench;
}

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_ComponentExtract(benchmark::State& state) {
    TBenchArchive& bench = Bench();
    const fs::path previous = fs::current_path();
    fs::current_path(bench.OutDir);
    tabula::TZipComponent zip;
    zip.SetZipFilename(bench.Archive.string());
    for (auto _ : state) {
        zip.SetErrCode(0);
        zip.FileSpecs() = {MemberName};
        zip.Extract();
        if (zip.ErrCode() != 0) {
            state.SkipWithError(zip.Message().c_str());
            break;
        }
        fs::remove(MemberName);
    }
    fs::current_path(previous);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * MemberSize));
}

void BM_InflateToMemory(benchmark::State& state) {
    TBenchArchive& bench = Bench();
    std::vector<uint8_t> out(256 * 1024);
    for (auto _ : state) {
        inflate_state inflate;
        isal_inflate_init(&inflate);
        inflate.next_in = bench.Compressed.data();
        inflate.avail_in = static_cast<uint32_t>(bench.Compressed.size());
        size_t total = 0;
        do {
            inflate.next_out = out.data();
            inflate.avail_out = static_cast<uint32_t>(out.size());
            if (isal_inflate(&inflate) < 0)
                std::abort();
            total += out.size() - inflate.avail_out;
        } while (inflate.block_state != ISAL_BLOCK_FINISH);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * MemberSize));
}

// The one write the extraction cannot avoid: 16 MiB into a new file.
void BM_WriteFile(benchmark::State& state) {
    TBenchArchive& bench = Bench();
    const std::string data(MemberSize, '\x4c');
    const fs::path path = bench.OutDir / "written.rom";
    for (auto _ : state) {
        std::ofstream(path, std::ios::binary)
            .write(data.data(), static_cast<std::streamsize>(data.size()));
        fs::remove(path);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * MemberSize));
}

void BM_UnzipPipe(benchmark::State& state) {
    TBenchArchive& bench = Bench();
    const std::string command = "unzip -p '" + bench.Archive.string() + "' " + MemberName + " > '" +
                                (bench.OutDir / "piped.rom").string() + "'";
    // The work happens in child processes, whose CPU time the CPU column
    // does not see: count it separately.
    const double before = ChildCpuSeconds();
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("unzip -p failed");
    state.counters["child_cpu_ms"] =
        (ChildCpuSeconds() - before) * 1000.0 / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * MemberSize));
}

BENCHMARK(BM_ComponentExtract)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_InflateToMemory)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_WriteFile)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_UnzipPipe)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace
