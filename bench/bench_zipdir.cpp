// Lists the central directory of a 10,000-member archive made by
// bench/make_zip10k.sh; the archive is named by TABULA_BENCH_ZIP.

#include "core/platform/DriveInfo.h"
#include "core/zip/ZipComponent.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

using namespace tabula;

namespace {

std::string BenchZip() {
    const char* path = std::getenv("TABULA_BENCH_ZIP");
    return path != nullptr ? path : "";
}

// The whole listing as the checksum collector runs it.
void BM_ListZip10k(benchmark::State& state) {
    const std::string path = BenchZip();
    TZipComponent zip;
    for (auto _ : state) {
        zip.SetErrCode(0);
        zip.SetZipFilename(path);
        if (zip.ErrCode() != 0 || zip.Count() != 10000) {
            state.SkipWithError(
                ("no 10,000-member archive in TABULA_BENCH_ZIP: " + zip.Message()).c_str());
            break;
        }
        benchmark::DoNotOptimize(zip.DirEntries().data());
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_ListZip10k)->Unit(benchmark::kMillisecond);

// The drive look-up that every listing starts with, on its own.
void BM_DriveQuery(benchmark::State& state) {
    const std::string path = BenchZip();
    for (auto _ : state) {
        const std::string root = DriveRootOf(path);
        benchmark::DoNotOptimize(QueryDrive(root));
    }
}
BENCHMARK(BM_DriveQuery)->Unit(benchmark::kMicrosecond);

} // namespace
