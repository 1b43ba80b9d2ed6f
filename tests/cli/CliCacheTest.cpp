#include "tests/cli/CliCapture.h"
#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

using namespace tabula;
using tabula::test::ReadBytes;
using tabula::test::RunTool;
using tabula::test::TestDataFile;
using tabula::test::TRun;
using tabula::test::TScratchDirectory;
using tabula::test::WriteBytes;
namespace fs = std::filesystem;

namespace {

// Archives and loose ROMs old enough for the cache to keep (two seconds).
void MakeCorpus(const fs::path& dir) {
    for (const char* file : {"zip/7zip.zip", "zip/infozip.zip", "sets/solid.7z", "sets/rar5.rar"}) {
        fs::copy_file(TestDataFile(file), dir / fs::path(file).filename());
    }
    WriteBytes(dir / "game.nes", std::string(16, 'H') + std::string(70000, 'g'));
    WriteBytes(dir / "other.bin", std::string(70000, 'o'));
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
}

} // namespace

// Two runs at once on one cache, while it is made and once it is full, both
// print the rows of a run without it; the cache's folder and file are the
// owner's alone, and --cache-stats counts what the last scan found.
TEST(CliCache, TwoRunsAtOnceOnOneCacheBothPrintTheRowsOfARunWithout) {
    TScratchDirectory dir;
    TScratchDirectory cacheDir;
    MakeCorpus(dir.Path());
    const std::string cache = cacheDir.File("new/checksums.sqlite");
    const std::string options = "-q --nes --md5 --sha1 '" + dir.Path().string() + "'";
    const TRun without =
        RunTool({"-q", "--nes", "--md5", "--sha1", "--no-cache", dir.Path().string()});
    ASSERT_EQ(without.status, 0) << without.err;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const std::string program =
            "'" + std::string(TABULA_CLI_PROGRAM) + "' --cache '" + cache + "' " + options;
        const std::string a = cacheDir.File("a.txt");
        const std::string b = cacheDir.File("b.txt");
        ASSERT_EQ(
            std::system((program + " > '" + a + "' & " + program + " > '" + b + "'; wait").c_str()),
            0);
        EXPECT_EQ(ReadBytes(a), without.out);
        EXPECT_EQ(ReadBytes(b), without.out);
    }
    struct stat info {};
    ASSERT_EQ(::stat(cacheDir.File("new").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(cache.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    const TRun stats = RunTool({"--cache-stats", "--cache", cache});
    EXPECT_EQ(stats.status, 0);
    EXPECT_EQ(stats.out.substr(0, stats.out.find("size on disk")),
              "cache: " + cache + "\nentries: 6 files, 16 roms\n");
    EXPECT_NE(stats.out.find("\nlast scan: 6 of 6 files from the cache (100.0%)\n"),
              std::string::npos)
        << stats.out;
}

// A cache that cannot be made is one warning line; the rows and the status
// are those of a run without it. --cache-stats of no cache makes none.
TEST(CliCache, AnUnusableCacheIsOneWarningLineAndChangesNothingElse) {
    TScratchDirectory dir;
    MakeCorpus(dir.Path());
    const TRun without = RunTool({"-q", "--no-cache", dir.Path().string()});
    const TRun unusable =
        RunTool({"-q", "--cache", "/dev/null/checksums.sqlite", dir.Path().string()});
    EXPECT_EQ(unusable.status, without.status);
    EXPECT_EQ(unusable.out, without.out);
    EXPECT_EQ(unusable.err.rfind("tabula-cli: warning: The checksum cache "
                                 "\"/dev/null/checksums.sqlite\" cannot be used (",
                                 0),
              0u)
        << unusable.err;
    EXPECT_EQ(std::count(unusable.err.begin(), unusable.err.end(), '\n'), 1);

    const std::string none = dir.File("none.sqlite");
    EXPECT_EQ(RunTool({"--cache-stats", "--cache", none}).out, "cache: " + none + " (none yet)\n");
    EXPECT_FALSE(fs::exists(none));
}
