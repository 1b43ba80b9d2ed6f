// CrcUpdate against the byte-wise table loop it replaces, and against ISA-L
// alone (its route on processors without 256-bit carry-less multiply), on
// buffers of 4 KiB, 1 MiB and 64 MiB of random bytes.
#include "core/checksum/CrcUpdate.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <random>
#include <vector>

namespace {

const std::vector<unsigned char>& Buffer(std::size_t size) {
    static std::map<std::size_t, std::vector<unsigned char>> buffers;
    auto& buffer = buffers[size];
    if (buffer.size() != size) {
        std::mt19937 random(static_cast<std::mt19937::result_type>(size));
        buffer.resize(size);
        for (auto& b : buffer) {
            b = static_cast<unsigned char>(random());
        }
    }
    return buffer;
}

using TUpdate = void (*)(const void*, std::size_t, std::size_t, std::uint32_t&);
constexpr TUpdate Reference = tabula::CrcUpdateReference;
constexpr TUpdate Fast = tabula::CrcUpdate; // the pointer overload
constexpr TUpdate IsalOnly = tabula::detail::CrcUpdateIsal;

template <TUpdate Update> void BM_Crc(benchmark::State& state) {
    const auto& buffer = Buffer(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::uint32_t crc = tabula::CrcInit;
        Update(buffer.data(), 0, buffer.size(), crc);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Arg(4 << 10)->Arg(1 << 20)->Arg(64 << 20);
}

} // namespace

BENCHMARK(BM_Crc<Reference>)->Name("Reference")->Apply(Sizes);
BENCHMARK(BM_Crc<IsalOnly>)->Name("IsalOnly")->Apply(Sizes);
BENCHMARK(BM_Crc<Fast>)->Name("CrcUpdate")->Apply(Sizes);
