// Runs the checksum collector over files the way a scan does, one fresh
// collector per file, and reports the time taken. Whole-program timings
// (bench/collector_bench.sh) and the peak-memory check run it.
//
// Usage: collect_dir [--nes] [--snes] [--remove-bad-size] [--zip] [--list] PATH...
// A PATH that is a directory stands for its top-level regular files in name
// order. --list prints one "CRC size name" line per result.
#include "core/scan/Crc32.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    bool nes = false, snes = false, removeBadSize = false, zip = false, list = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--nes") {
            nes = true;
        } else if (arg == "--snes") {
            snes = true;
        } else if (arg == "--remove-bad-size") {
            removeBadSize = true;
        } else if (arg == "--zip") {
            zip = true;
        } else if (arg == "--list") {
            list = true;
        } else if (fs::is_directory(arg)) {
            std::vector<std::string> names;
            for (const auto& entry : fs::directory_iterator(arg)) {
                if (entry.is_regular_file()) {
                    names.push_back(entry.path().string());
                }
            }
            std::sort(names.begin(), names.end());
            files.insert(files.end(), names.begin(), names.end());
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: collect_dir [--nes] [--snes] [--remove-bad-size] [--zip] "
                             "[--list] PATH...\n");
        return 2;
    }

    const auto wallStart = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    long items = 0, failures = 0;
    int64_t bytes = 0;
    for (const std::string& file : files) {
        tabula::TCrc32 collector;
        collector.SetFileName(file);
        collector.NesMode = nes;
        collector.SnesMode = snes;
        collector.RemoveBadSize = removeBadSize;
        collector.ZipMode = zip;
        try {
            collector.Collect();
        } catch (const std::exception& error) {
            ++failures;
            std::fprintf(stderr, "%s\n", error.what());
        }
        for (const auto& item : collector.ItemList()) {
            ++items;
            bytes += item.Size;
            if (list) {
                std::printf("%s %d %s\n", item.CrcText.c_str(), item.Size, item.Name.c_str());
            }
        }
    }
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    std::fprintf(
        stderr,
        "collect_dir: %zu files, %ld items, %lld bytes, %ld failures, %.3f s wall, %.3f s cpu\n",
        files.size(), items, static_cast<long long>(bytes), failures, wall, cpu);
    return failures == 0 ? 0 : 1;
}
