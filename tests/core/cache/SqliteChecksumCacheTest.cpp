#include "core/cache/SqliteChecksumCache.h"

#include "core/checksum/RomHashes.h"
#include "core/header/Detector.h"
#include "core/scan/ScanDriver.h"
#include "tests/support/QuietProgress.h"
#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

#include <sys/stat.h>

using namespace tabula;
using tabula::test::ReadBytes;
using tabula::test::TestDataFile;
using tabula::test::TScratchDirectory;
using tabula::test::WriteBytes;
namespace fs = std::filesystem;

namespace {

// Each row as one line: its cells and all it carries.
struct TLineSink : IRomRowSink {
    std::vector<std::string> Lines;
    void AddRomRow(const TRomTable::TRow&) override {}
    void AddScannedRow(const TRomTable::TRow& row, const TRowExtras& extras) override {
        std::string line;
        for (const std::string& cell : row) {
            line += cell + "|";
        }
        Lines.push_back(line + extras.Md5 + "|" + extras.Sha1 + "|" + extras.Sha256 + "|" +
                        extras.NameOnDisk + "|" + extras.Detector);
    }
};

struct TScanned {
    std::vector<std::string> Lines;
    std::vector<std::string> Failures;
    std::set<std::string> Read; // the files a collector opened, by name
    bool operator==(const TScanned& other) const {
        return Lines == other.Lines && Failures == other.Failures;
    }
};

TScanned Scan(const fs::path& dir, TScanOptions options,
              std::shared_ptr<IChecksumCache> cache = nullptr) {
    test::TQuietProgress progress;
    TLineSink sink;
    TScanned scanned;
    std::mutex mutex;
    TScanDriver driver(progress, sink);
    driver.SetCollectFile([&](const std::string& path, const TCollectorFlags& flags, IZipUi* ui,
                              std::vector<TCrcItem>& items) {
        {
            const std::lock_guard lock(mutex);
            scanned.Read.insert(fs::path(path).filename().string());
        }
        TScanDriver::CollectWithCrc32(path, flags, ui, items);
    });
    options.Cache = std::move(cache);
    const TScanResult result = driver.Scan(dir.string(), options);
    scanned.Lines = sink.Lines;
    for (const TScanFailure& failure : result.Failures) {
        scanned.Failures.push_back(failure.Name + ": " + failure.Message);
    }
    return scanned;
}

std::string PlainBytes() {
    return std::string(70000, 'p');
}

std::string Md5Of(const std::string& bytes) {
    TRomHashes hashes(THashKinds{true, false, false});
    hashes.Update(std::as_bytes(std::span(bytes.data(), bytes.size())));
    return hashes.Finish().Md5;
}

// Zips, 7z and RAR sets, loose ROMs with NES and SNES headers, a text, a
// damaged archive, one folder below; made a moment before the cache may
// keep them.
struct TCorpus {
    TScratchDirectory Dir;
    TScratchDirectory CacheDir;
    std::string CachePath = CacheDir.File("sub/checksums.sqlite");
    static constexpr double MinimumAge = 0.05;

    TCorpus() {
        for (const char* file :
             {"zip/7zip.zip", "zip/infozip.zip", "zip/python-utf8.zip", "zip/padded-512.zip",
              "sets/solid.7z", "sets/rar5.rar", "sets/zip-xz.zip", "sets/truncated.rar"}) {
            fs::copy_file(TestDataFile(file), Dir.Path() / fs::path(file).filename());
        }
        // Loose files large enough to be cached.
        WriteBytes(Dir.Path() / "game.nes", std::string("NES\x1a\x02\x01", 6) +
                                                std::string(10, '\0') + std::string(70000, 'g'));
        WriteBytes(Dir.Path() / "snes.smc", std::string(512, 'h') + std::string(9 * 8192, 's'));
        WriteBytes(Dir.Path() / "plain.bin", PlainBytes());
        WriteBytes(Dir.Path() / "readme.txt", "read me");
        fs::create_directory(Dir.Path() / "More");
        WriteBytes(Dir.Path() / "More" / "deep.bin", std::string(70000, 'd'));
        WriteBytes(Dir.Path() / "tiny.bin", "read sooner than looked up");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::shared_ptr<TSqliteChecksumCache> Cache() const {
        auto cache = std::make_shared<TSqliteChecksumCache>(CachePath);
        cache->SetMinimumAge(MinimumAge);
        return cache;
    }
};

TScanOptions Options(TRomMode mode, THashKinds hashes = {}) {
    TScanOptions options;
    options.Mode = mode;
    options.Hashes = hashes;
    options.Jobs = 2;
    return options;
}

const std::set<std::string> Archives = {"7zip.zip",       "infozip.zip",  "python-utf8.zip",
                                        "padded-512.zip", "solid.7z",     "rar5.rar",
                                        "zip-xz.zip",     "truncated.rar"};
const std::set<std::string> Zips = {"7zip.zip", "infozip.zip", "python-utf8.zip", "padded-512.zip",
                                    "zip-xz.zip"};

} // namespace

// A second scan gives the bytes of a scan without cache and reads only what
// the cache does not keep: failures, and archives whose rows come from their
// directory (in normal mode; zips with trusted CRCs); on one worker and two,
// in every mode.
TEST(SqliteChecksumCache, SecondScanGivesTheSameRowsAndReadsOnlyWhatIsNotKept) {
    struct TCase {
        const char* Name;
        TScanOptions Options;
        std::set<std::string> ArchivesReadAgain;
    };
    TScanOptions oneWorker = Options(TRomMode::Nes, {true, true, false});
    oneWorker.Jobs = 1;
    TScanOptions trusted = Options(TRomMode::Nes);
    trusted.TrustZipCrc = true;
    TScanOptions badSize = Options(TRomMode::Snes, {false, false, true});
    badSize.RemoveSnesBadSize = true;
    TScanOptions tree = Options(TRomMode::Detect, {true, false, false});
    tree.Recursive = true;
    TScanOptions files = Options(TRomMode::Normal, {true, false, false});
    files.ScanZipArchives = false;
    const TCase cases[] = {
        {"normal", Options(TRomMode::Normal), Archives},
        {"normal, digests", Options(TRomMode::Normal, {true, true, true}), {}},
        {"nes, one worker", oneWorker, {}},
        {"nes, trusted CRCs", trusted, Zips},
        {"snes, bad sizes", badSize, {}},
        {"detect, tree", tree, {}},
        {"archives as files", files, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TCorpus corpus;
        const TScanned uncached = Scan(corpus.Dir.Path(), c.Options);
        const TScanned first = Scan(corpus.Dir.Path(), c.Options, corpus.Cache());
        const TScanned second = Scan(corpus.Dir.Path(), c.Options, corpus.Cache());
        EXPECT_EQ(first, uncached);
        EXPECT_EQ(second, uncached);
        // The truncated RAR fails, unless the SNES size rule ends it first.
        // Loose files smaller than a look-up costs are read again (tiny.bin in
        // every mode; the small archives too when read as files).
        std::set<std::string> readAgain = c.ArchivesReadAgain;
        const uintmax_t small = c.Options.Hashes.Any() ? 8192 : 65536;
        for (const fs::directory_entry& file : fs::directory_iterator(corpus.Dir.Path())) {
            const std::string name = file.path().filename().string();
            if (file.is_regular_file() && file.file_size() < small && name != "readme.txt" &&
                (!c.Options.ScanZipArchives || !Archives.contains(name))) {
                readAgain.insert(name);
            }
        }
        for (const std::string& failure : uncached.Failures) {
            readAgain.insert(failure.substr(0, failure.find(':')));
        }
        EXPECT_EQ(second.Read, readAgain);
    }
}

// The stamp decides: a file rewritten with its size and its old modification
// time has a new status-change time and is read again, alone.
TEST(SqliteChecksumCache, AFileRewrittenWithItsOldTimesIsReadAgainAlone) {
    TCorpus corpus;
    const TScanOptions options = Options(TRomMode::Nes, {true, false, false});
    Scan(corpus.Dir.Path(), options, corpus.Cache());
    const fs::path game = corpus.Dir.Path() / "game.nes";
    const auto written = fs::last_write_time(game);
    std::string bytes = ReadBytes(game);
    bytes.back() = 'X';
    WriteBytes(game, bytes);
    fs::last_write_time(game, written);
    const TScanned again = Scan(corpus.Dir.Path(), options, corpus.Cache());
    EXPECT_EQ(again, Scan(corpus.Dir.Path(), options));
    EXPECT_EQ(again.Read, (std::set<std::string>{"game.nes", "tiny.bin", "truncated.rar"}));
}

// Whatever decides a file's rows keys its entry: each of these reads every
// file again, and each is kept beside the first.
TEST(SqliteChecksumCache, AnotherModeDigestOrDetectorReadsAgain) {
    TCorpus corpus;
    const TScanOptions base = Options(TRomMode::Nes, {true, false, false});
    TScanOptions sha1 = base;
    sha1.Hashes.Sha1 = true;
    TScanOptions ownDetector = Options(TRomMode::Detect);
    TDetector own = ReadDetector(R"(<detector><name>own</name><version>1</version>
        <rule start_offset="2" end_offset="EOF" operation="none">
        <data offset="0" value="4E45" result="true"/></rule></detector>)",
                                 "own.xml");
    ownDetector.Detectors = std::make_shared<const TDetectorSet>(std::vector<TDetector>{own});
    const TScanOptions builtIn = Options(TRomMode::Detect);
    Scan(corpus.Dir.Path(), base, corpus.Cache());
    for (const TScanOptions& changed : {Options(TRomMode::Snes), sha1, builtIn, ownDetector}) {
        const TScanned first = Scan(corpus.Dir.Path(), changed, corpus.Cache());
        EXPECT_EQ(first, Scan(corpus.Dir.Path(), changed));
        EXPECT_EQ(first.Read.size(), 12u); // every file but the text
        EXPECT_EQ(Scan(corpus.Dir.Path(), changed, corpus.Cache()).Read,
                  (std::set<std::string>{"tiny.bin", "truncated.rar"}));
    }
    EXPECT_EQ(Scan(corpus.Dir.Path(), base, corpus.Cache()).Read,
              (std::set<std::string>{"tiny.bin", "truncated.rar"}));
}

// A damaged cache, or one of another version, gives one warning and is set
// aside; the rows are those of a scan without it, and the next scan makes a
// new one.
TEST(SqliteChecksumCache, DamageGivesOneWarningCorrectRowsAndIsSetAside) {
    struct TCase {
        const char* Name;
        std::function<void(std::string& bytes)> Damage;
        const char* Warning;
        const char* Aside;
    };
    const TCase cases[] = {
        {"header overwritten", [](std::string& b) { b.replace(0, 16, 16, 'x'); }, "is damaged",
         ".damaged"},
        {"pages overwritten",
         [](std::string& b) { b.replace(4096, b.size() - 4096, b.size() - 4096, '\xA5'); },
         "is damaged", ".damaged"},
        {"a digest changed in place",
         [](std::string& b) {
             // The MD5 of plain.bin's bytes, as the cache keeps it.
             const size_t at = b.find(Md5Of(PlainBytes()));
             ASSERT_NE(at, std::string::npos);
             b[at] = 'e';
         },
         "is damaged", ".damaged"},
        {"another version", [](std::string& b) { b[63] = 7; }, "is of another version (7)", ".old"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TCorpus corpus;
        const TScanOptions options = Options(TRomMode::Normal, {true, false, false});
        Scan(corpus.Dir.Path(), options, corpus.Cache());
        std::string bytes = ReadBytes(corpus.CachePath);
        c.Damage(bytes);
        WriteBytes(corpus.CachePath, bytes);
        const auto cache = corpus.Cache();
        EXPECT_EQ(Scan(corpus.Dir.Path(), options, cache), Scan(corpus.Dir.Path(), options));
        cache->Close();
        const std::vector<std::string> warnings = cache->TakeWarnings();
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find(c.Warning), std::string::npos) << warnings[0];
        EXPECT_TRUE(fs::exists(corpus.CachePath + c.Aside));
        EXPECT_FALSE(fs::exists(corpus.CachePath));
        Scan(corpus.Dir.Path(), options, corpus.Cache());
        EXPECT_EQ(Scan(corpus.Dir.Path(), options, corpus.Cache()).Read,
                  (std::set<std::string>{"tiny.bin", "truncated.rar"}));
    }
}

// Entries of files gone go at the end of a scan of their folder: a flat scan
// forgets its own files only, a tree scan those beneath too. The folder and
// file are the owner's alone, and the last scan's hits are counted.
TEST(SqliteChecksumCache, FilesGoneAreForgottenUnderTheFolderScanned) {
    TCorpus corpus;
    TScanOptions tree = Options(TRomMode::Nes);
    tree.Recursive = true;
    Scan(corpus.Dir.Path(), tree, corpus.Cache());
    const auto files = [&] { return corpus.Cache()->Stats().value().Files; };
    const int64_t all = files();
    EXPECT_EQ(all, 11); // every file but the text, the tiny one and the failed one
    fs::remove(corpus.Dir.Path() / "plain.bin");
    fs::remove(corpus.Dir.Path() / "More" / "deep.bin");
    Scan(corpus.Dir.Path(), Options(TRomMode::Nes), corpus.Cache());
    EXPECT_EQ(files(), all - 1);
    const auto cache = corpus.Cache();
    Scan(corpus.Dir.Path(), tree, cache);
    cache->Flush();
    const TSqliteChecksumCache::TStats stats = cache->Stats().value();
    EXPECT_EQ(stats.Files, all - 2);
    EXPECT_EQ(stats.LastLookups, 10);
    EXPECT_EQ(stats.LastHits, 9);
    EXPECT_GT(stats.Bytes, 0u);
    // A folder found empty keeps nothing.
    for (const std::string& name : corpus.Dir.Entries()) {
        fs::remove(corpus.Dir.Path() / name);
    }
    Scan(corpus.Dir.Path(), Options(TRomMode::Nes), corpus.Cache());
    EXPECT_EQ(files(), 0);
    struct stat info {};
    ASSERT_EQ(::stat(fs::path(corpus.CachePath).parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(corpus.CachePath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// A file changed a moment ago, or one that cannot hold a cache, keeps
// nothing; the rows are the same.
TEST(SqliteChecksumCache, NothingIsKeptOfAFreshFileOrInAnUnusableCache) {
    TCorpus corpus;
    const TScanOptions options = Options(TRomMode::Nes);
    auto fresh = corpus.Cache();
    fresh->SetMinimumAge(3600);
    Scan(corpus.Dir.Path(), options, fresh);
    fresh->Close();
    EXPECT_EQ(Scan(corpus.Dir.Path(), options, corpus.Cache()).Read.size(), 12u);

    const auto unusable = std::make_shared<TSqliteChecksumCache>("/dev/null/cache.sqlite");
    EXPECT_EQ(Scan(corpus.Dir.Path(), options, unusable), Scan(corpus.Dir.Path(), options));
    const std::vector<std::string> warnings = unusable->TakeWarnings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("cannot be used"), std::string::npos) << warnings[0];
}

// A zip whose end record makes it the last volume of a set is read again
// each time (its other volumes are read with it); a name that only ends in
// digits, beside another, is kept.
TEST(SqliteChecksumCache, TheLastVolumeOfASetIsReadAgainAndNumberedNamesAreKept) {
    TCorpus corpus;
    for (const char* file : {"set001.zip", "set002.zip", "set003.zip"}) {
        fs::copy_file(TestDataFile(std::string("span/") + file), corpus.Dir.Path() / file);
    }
    for (const char* name : {"Game 001.zip", "Game 002.zip"}) {
        fs::copy_file(TestDataFile("zip/infozip.zip"), corpus.Dir.Path() / name);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const TScanOptions options = Options(TRomMode::Nes, {true, false, false});
    const TScanned first = Scan(corpus.Dir.Path(), options, corpus.Cache());
    const TScanned second = Scan(corpus.Dir.Path(), options, corpus.Cache());
    EXPECT_EQ(second, first);
    // The first two volumes fail on their own, as scanned alone they do.
    EXPECT_EQ(second.Read, (std::set<std::string>{"set001.zip", "set002.zip", "set003.zip",
                                                  "tiny.bin", "truncated.rar"}));
}
