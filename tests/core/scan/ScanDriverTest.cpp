#include "core/scan/ScanDriver.h"

#include "core/romlist/RomTable.h"
#include "core/scan/ScanTree.h"
#include "core/scan/TableRowSink.h"
#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

using namespace tabula;
using tabula::test::TestDataFile;
using tabula::test::TScratchDirectory;
using tabula::test::WriteBytes;
namespace fs = std::filesystem;

namespace {

using TRow = TRomTable::TRow;

// Records what the scan shows; a cancel can be requested from inside a
// collector or a pump, as the progress window's button would.
class TRecordingProgress : public IScanProgress {
public:
    void SetMax(int max) override { maxima.push_back(max); }
    void StepPosition() override { ++position; }
    void SetWaitString(const std::string& text) override { waitStrings.push_back(text); }
    void Pump() override {
        ++pumps;
        if (onPump) {
            onPump(position);
        }
    }
    bool CancelRequested() override {
        ++cancelChecks;
        return cancel;
    }
    void FileFailed(const TScanFailure& failure) override { failed.push_back(failure.Name); }

    std::vector<int> maxima;
    int position = 0;
    std::vector<std::string> waitStrings;
    int pumps = 0;
    int cancelChecks = 0;
    bool cancel = false;
    std::function<void(int)> onPump;
    std::vector<std::string> failed;
};

class TRecordingSink : public IRomRowSink {
public:
    void ListingStarted() override { events.push_back("started"); }
    void AddRomRow(const TRow& row) override { rows.push_back(row); }
    void ListingCompleted() override { events.push_back("completed"); }

    std::vector<TRow> rows;
    std::vector<std::string> events;
};

// A collector that records the paths and flags it is given and answers from
// a script: the items to yield per file name, and the names that throw.
struct TFakeCollector {
    std::vector<std::string> paths;
    std::vector<TCollectorFlags> flags;
    std::function<void(const std::string& name, std::vector<TCrcItem>& items)> behaviour;

    TCollectFile Function() {
        return [this](const std::string& path, const TCollectorFlags& given, IZipUi*,
                      std::vector<TCrcItem>& items) {
            paths.push_back(path);
            flags.push_back(given);
            const std::string name = fs::path(path).filename().string();
            if (behaviour) {
                behaviour(name, items);
            } else {
                items.push_back({path, "0000abcd", 1});
            }
        };
    }
};

void MakeFiles(const TScratchDirectory& dir, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        WriteBytes(dir.Path() / name, "content of " + name);
    }
}

// The directory of the usual first scan: a ROM, a text, the catalogue and an
// archive of two members (Alpha.bin and Sub/Beta.BIN).
void MakeMixedDirectory(const TScratchDirectory& dir) {
    WriteBytes(dir.Path() / "Game.SMC", "GAME-SMC-CONTENT-0123456789");
    WriteBytes(dir.Path() / "readme.txt", "readme text\n");
    WriteBytes(dir.Path() / "catalogix.dat", "catalogue");
    fs::copy_file(TestDataFile("scan/set.zip"), dir.Path() / "set.zip");
}

} // namespace

TEST(ScanDriver, MixedDirectoryGivesOneRowPerRomAndSkipsTextAndCatalogue) {
    TScratchDirectory dir;
    MakeMixedDirectory(dir);
    TRecordingProgress progress;
    TRecordingSink sink;
    TScanDriver driver(progress, sink);

    const TScanResult result = driver.Scan(dir.Path().string(), TScanOptions{});

    const std::vector<TRow> expected = {
        {"game", "Game", "game", "Game", "game.smc", "2E84D73F", "27"},
        {"set", "set", "set", "set", "alpha.bin", "FDE0E860", "16"},
        {"set", "set", "set", "set", "beta.bin", "23AE0BA3", "37"},
    };
    EXPECT_EQ(sink.rows, expected);
    EXPECT_EQ(result.Outcome, TScanResult::TOutcome::Completed);
    EXPECT_TRUE(result.Failures.empty());
    EXPECT_EQ(progress.maxima, std::vector<int>{4});
    EXPECT_EQ(progress.position, 4);
    const std::vector<std::string> waits = {
        "Processing file catalogix.dat ...", "Processing file Game.SMC ...",
        "Processing file readme.txt ...", "Processing file set.zip ..."};
    EXPECT_EQ(progress.waitStrings, waits);
    EXPECT_EQ(progress.pumps, 4);
    EXPECT_EQ(progress.cancelChecks, 2);
    EXPECT_EQ(sink.events, (std::vector<std::string>{"started", "completed"}));
}

TEST(ScanDriver, TextFilesAreChecksummedWhenNotSkipped) {
    TScratchDirectory dir;
    MakeMixedDirectory(dir);
    TRecordingProgress progress;
    TRecordingSink sink;
    TScanOptions options;
    options.SkipTxt = false;
    TScanDriver(progress, sink).Scan(dir.Path().string(), options);

    ASSERT_EQ(sink.rows.size(), 4u);
    EXPECT_EQ(sink.rows[1],
              (TRow{"readme", "readme", "readme", "readme", "readme.txt", "C98FA2BC", "12"}));
}

TEST(ScanDriver, NamesWithoutExtensionOrWithOneLetterOnes) {
    TScratchDirectory dir;
    WriteBytes(dir.Path() / "README", "readme text\n");
    WriteBytes(dir.Path() / "a.b", "readme text\n");
    TRecordingProgress progress;
    TRecordingSink sink;
    TScanDriver(progress, sink).Scan(dir.Path().string(), TScanOptions{});

    const std::vector<TRow> expected = {
        {"a", "a", "a", "a", "a.b", "C98FA2BC", "12"},
        {"readme", "README", "readme", "README", "readme", "C98FA2BC", "12"},
    };
    EXPECT_EQ(sink.rows, expected);
}

TEST(ScanDriver, FiltersInTheirOrder) {
    struct {
        const char* name;
        bool scanOther, skipTxt, skipped;
    } cases[] = {
        {".", true, true, true},
        {"..", true, true, true},
        {"catalogix.dat", true, false, true},
        {"Catalogix.Dat", true, false, true},
        {"CATALOGIX.DAT", false, false, true},
        {"catalogix.dat.bak", true, true, false},
        {"game.smc", true, true, false},
        {"game.smc", false, true, true},
        {"ROMS.ZIP", false, true, false},
        {"roms.zip", false, true, false},
        {"notes.txt", true, true, true},
        {"NOTES.TXT", true, true, true},
        {"notes.txt", true, false, false},
        {"notes.txt", false, false, true},
        {"README", true, true, false},
        {"dir.txt/x", true, true, false},
    };
    for (const auto& c : cases) {
        TScanOptions options;
        options.ScanOtherFiles = c.scanOther;
        options.SkipTxt = c.skipTxt;
        EXPECT_EQ(TScanDriver::SkipsFile(c.name, options), c.skipped)
            << c.name << " scanOther=" << c.scanOther << " skipTxt=" << c.skipTxt;
    }
}

TEST(ScanDriver, ZipOnlyOpensOnlyArchivesWhateverTheirCase) {
    TScratchDirectory dir;
    MakeFiles(dir, {"ROMS.ZIP", "game.smc", "b.zip", "notes.txt", "set.zip.bak"});
    TRecordingProgress progress;
    TRecordingSink sink;
    TFakeCollector collector;
    TScanDriver driver(progress, sink);
    driver.SetCollectFile(collector.Function());
    TScanOptions options;
    options.ScanOtherFiles = false;
    const TScanResult result = driver.Scan(dir.Path().string(), options);

    const std::string base = dir.Path().string() + "/";
    EXPECT_EQ(collector.paths, (std::vector<std::string>{base + "b.zip", base + "ROMS.ZIP"}));
    EXPECT_EQ(progress.maxima, std::vector<int>{5});
    EXPECT_EQ(progress.position, 5);
    EXPECT_EQ(result.Collected, 2);
}

// set.z01, set.z02 are read through set.zip: they give no row of their own,
// only a failure that names the set; names that merely look alike are roms.
TEST(ScanDriver, EarlierVolumesOfASplitArchiveAreNamedNotRead) {
    TScratchDirectory dir;
    MakeFiles(dir, {"set.z01", "set.z02", "set.zip", "SET2.Z01", "SET2.ZIP", "lone.z01", "set.z001",
                    "set.z00", "set.zap"});
    TRecordingProgress progress;
    TRecordingSink sink;
    TFakeCollector collector;
    TScanDriver driver(progress, sink);
    driver.SetCollectFile(collector.Function());
    TScanOptions options;
    options.ScanZipArchives = true;
    const TScanResult result = driver.Scan(dir.Path().string(), options);

    const std::string base = dir.Path().string() + "/";
    EXPECT_EQ(collector.paths,
              (std::vector<std::string>{base + "lone.z01", base + "set.z00", base + "set.z001",
                                        base + "set.zap", base + "set.zip", base + "SET2.ZIP"}));
    ASSERT_EQ(result.Failures.size(), 3u);
    EXPECT_EQ(result.Failures[0].Name, "set.z01");
    EXPECT_EQ(result.Failures[0].Message, "File \"set.z01\" is volume 1 of the split archive "
                                          "\"set.zip\"; its members are read with that file");
    EXPECT_EQ(result.Failures[1].Name, "set.z02");
    EXPECT_EQ(result.Failures[2].Name, "SET2.Z01");
    EXPECT_EQ(result.Collected, 9);

    // Without archives every file is a rom.
    options.ScanZipArchives = false;
    collector.paths.clear();
    EXPECT_TRUE(driver.Scan(dir.Path().string(), options).Failures.empty());
    EXPECT_EQ(collector.paths.size(), 9u);
}

TEST(ScanDriver, CollectorFlagsFollowTheOptions) {
    struct {
        TRomMode mode;
        bool zip, removeBad, skipTxt;
        TCollectorFlags expected;
    } cases[] = {
        {TRomMode::Normal, true, false, true, {false, false, true, false, true}},
        {TRomMode::Nes, true, false, false, {false, true, true, false, false}},
        {TRomMode::Snes, false, true, true, {true, false, false, true, true}},
        // The size rule's box is passed on whatever the mode; the collector
        // applies it in SNES mode only.
        {TRomMode::Nes, true, true, true, {false, true, true, true, true}},
    };
    for (const auto& c : cases) {
        TScanOptions options;
        options.Mode = c.mode;
        options.ScanZipArchives = c.zip;
        options.RemoveSnesBadSize = c.removeBad;
        options.SkipTxt = c.skipTxt;

        TScratchDirectory dir;
        MakeFiles(dir, {"a.smc"});
        TRecordingProgress progress;
        TRecordingSink sink;
        TFakeCollector collector;
        TScanDriver driver(progress, sink);
        driver.SetCollectFile(collector.Function());
        driver.Scan(dir.Path().string(), options);

        ASSERT_EQ(collector.flags.size(), 1u);
        const TCollectorFlags& got = collector.flags[0];
        EXPECT_EQ(got.SnesMode, c.expected.SnesMode);
        EXPECT_EQ(got.NesMode, c.expected.NesMode);
        EXPECT_EQ(got.ZipMode, c.expected.ZipMode);
        EXPECT_EQ(got.RemoveBadSize, c.expected.RemoveBadSize);
        EXPECT_EQ(got.SkipTxtFiles, c.expected.SkipTxtFiles);
    }
}

TEST(ScanDriver, MemberNamesLoseTheirFolders) {
    TScratchDirectory dir;
    MakeFiles(dir, {"Pack.zip"});
    TRecordingProgress progress;
    TRecordingSink sink;
    TFakeCollector collector;
    collector.behaviour = [](const std::string&, std::vector<TCrcItem>& items) {
        items.push_back({"disk 1\\sub\\rom.a", "0000000a", 10});
        items.push_back({"top.b", "0000000b", 11});
    };
    TScanDriver driver(progress, sink);
    driver.SetCollectFile(collector.Function());
    driver.Scan(dir.Path().string(), TScanOptions{});

    const std::vector<TRow> expected = {
        {"pack", "Pack", "pack", "Pack", "rom.a", "0000000A", "10"},
        {"pack", "Pack", "pack", "Pack", "top.b", "0000000B", "11"},
    };
    EXPECT_EQ(sink.rows, expected);
}

TEST(ScanDriver, SubdirectoriesAreNeitherCountedNorEntered) {
    TScratchDirectory dir;
    MakeFiles(dir, {"a.smc", ".hidden.smc"});
    fs::create_directory(dir.Path() / "sub");
    MakeFiles(dir, {"sub/inner.smc"});
    fs::create_directory(dir.Path() / "folder.zip");
    TRecordingProgress progress;
    TRecordingSink sink;
    TFakeCollector collector;
    TScanDriver driver(progress, sink);
    driver.SetCollectFile(collector.Function());
    driver.Scan(dir.Path().string(), TScanOptions{});

    const std::string base = dir.Path().string() + "/";
    EXPECT_EQ(collector.paths, (std::vector<std::string>{base + ".hidden.smc", base + "a.smc"}));
    EXPECT_EQ(progress.maxima, std::vector<int>{2});
}

// A walked tree, on one worker or two: the count spans the tree, the
// progress and the failures name each file and folder by its path from the
// scanned folder, and the rows come in the walk's order with their sets
// named by folder, or by the folder set with zip mode off for its files.
TEST(ScanDriver, TreeScansNameByFolderAndKeepTheWalksOrderOnAnyNumberOfWorkers) {
    TScratchDirectory dir;
    MakeFiles(dir, {"top.smc"});
    fs::path deep = dir.Path() / "NES" / "Deep";
    for (int level = 2; level <= MaxFolderDepth; ++level) {
        deep /= "d"; // NES is level 1: the last of these is one level too deep
    }
    fs::create_directories(deep);
    fs::create_directories(dir.Path() / "Disc");
    MakeFiles(dir, {"NES/a.nes", "NES/set.zip", "NES/Deep/b.nes", "Disc/track.bin"});
    const struct {
        bool FolderSets;
        std::vector<std::string> Rows;  // set full name, rom
        std::vector<std::string> Whole; // files read with zip mode off
    } cases[] = {
        {false,
         {"top|top.smc", "Disc\\track|track.bin", "NES\\a|a.nes", "NES\\set|one.bin",
          "NES\\set|two.bin", "NES\\Deep\\b|b.nes"},
         {}},
        {true,
         {"top|top.smc", "Disc|track.bin", "NES|a.nes", "NES|set.zip", "NES|deep\\b.nes"},
         {"Disc/track.bin", "NES/Deep/b.nes", "NES/a.nes", "NES/set.zip"}},
    };
    const std::string base = dir.Path().string() + "/";
    for (const auto& c : cases) {
        for (unsigned jobs : {1u, 2u}) {
            SCOPED_TRACE(std::to_string(jobs) + (c.FolderSets ? " folder sets" : " recursive"));
            std::mutex mutex;
            std::set<std::string> whole;
            TRecordingProgress progress;
            TRecordingSink sink;
            TScanOptions options;
            options.Recursive = !c.FolderSets;
            options.FolderSets = c.FolderSets;
            options.Jobs = jobs;
            TScanDriver driver(progress, sink);
            driver.SetCollectFile([&](const std::string& path, const TCollectorFlags& flags,
                                      IZipUi*, std::vector<TCrcItem>& items) {
                if (!flags.ZipMode) {
                    const std::lock_guard lock(mutex);
                    whole.insert(path.substr(base.size()));
                }
                if (flags.ZipMode && path.ends_with("set.zip")) {
                    items.push_back({"one.bin", "00000001", 1});
                    items.push_back({"two.bin", "00000002", 2});
                } else {
                    items.push_back({path, "00000003", 3});
                }
            });
            const TScanResult result = driver.Scan(dir.Path().string(), options);

            EXPECT_EQ(result.Outcome, TScanResult::TOutcome::Completed);
            EXPECT_EQ(progress.maxima, std::vector<int>{5});
            EXPECT_EQ(progress.position, 5);
            EXPECT_EQ(progress.waitStrings.back(), "Processing file NES/Deep/b.nes ...");
            ASSERT_EQ(result.Failures.size(), 1u);
            EXPECT_EQ(result.Failures[0].Name.rfind("NES/Deep/d/", 0), 0u);
            EXPECT_NE(result.Failures[0].Message.find("64 levels deep"), std::string::npos);
            EXPECT_EQ(progress.failed, std::vector<std::string>{result.Failures[0].Name});
            std::vector<std::string> rows;
            for (const TRow& row : sink.rows) {
                EXPECT_EQ(row[2], row[0]);
                EXPECT_EQ(row[3], row[1]);
                rows.push_back(row[1] + "|" + row[4]);
            }
            EXPECT_EQ(rows, c.Rows);
            EXPECT_EQ(std::vector<std::string>(whole.begin(), whole.end()), c.Whole);
        }
    }
}

TEST(ScanDriver, FailuresAreRecordedAndTheScanGoesOn) {
    TScratchDirectory dir;
    MakeFiles(dir, {"a.smc", "b.zip", "c.smc", "d.smc"});
    TRecordingProgress progress;
    TRecordingSink sink;
    TFakeCollector collector;
    collector.behaviour = [](const std::string& name, std::vector<TCrcItem>& items) {
        if (name == "b.zip") {
            items.push_back({"first.bin", "00000001", 1});
            throw ECrcZipError("Bad crc");
        }
        if (name == "c.smc") {
            throw 42; // not even an exception class
        }
        items.push_back({name, "00000002", 2});
    };
    TScanDriver driver(progress, sink);
    driver.SetCollectFile(collector.Function());
    const TScanResult result = driver.Scan(dir.Path().string(), TScanOptions{});

    EXPECT_EQ(result.Outcome, TScanResult::TOutcome::Completed);
    EXPECT_EQ(result.Collected, 4);
    EXPECT_EQ(result.Rows, 3);
    ASSERT_EQ(result.Failures.size(), 2u);
    EXPECT_EQ(result.Failures[0].Name, "b.zip");
    EXPECT_EQ(result.Failures[0].Path, dir.Path().string() + "/b.zip");
    EXPECT_EQ(result.Failures[0].Message, "Bad crc");
    EXPECT_EQ(result.Failures[1].Name, "c.smc");
    EXPECT_FALSE(result.Failures[1].Message.empty());
    EXPECT_EQ(progress.failed, (std::vector<std::string>{"b.zip", "c.smc"}));
    ASSERT_EQ(sink.rows.size(), 3u);
    EXPECT_EQ(sink.rows[0][4], "a.smc");
    EXPECT_EQ(sink.rows[1][4], "first.bin"); // collected before the failure
    EXPECT_EQ(sink.rows[2][4], "d.smc");
}

TEST(ScanDriver, RealCollectorFailureIsRecordedWithItsMessage) {
    TScratchDirectory dir;
    MakeFiles(dir, {"a.smc", "z.smc"});
    WriteBytes(dir.Path() / "broken.zip", "this is no zip archive at all");
    TRecordingProgress progress;
    TRecordingSink sink;
    const TScanResult result = TScanDriver(progress, sink).Scan(dir.Path().string(), {});

    ASSERT_EQ(result.Failures.size(), 1u);
    EXPECT_EQ(result.Failures[0].Name, "broken.zip");
    EXPECT_NE(result.Failures[0].Message.find("broken.zip"), std::string::npos);
    EXPECT_EQ(sink.rows.size(), 2u);
}

TEST(ScanDriver, CancelTakesEffectAfterTheFileBeingCollected) {
    TScratchDirectory dir;
    MakeFiles(dir, {"a.zip", "b.zip", "c.smc"});
    TRecordingProgress progress;
    TRomTable table;
    TTableRowSink<TRomTable> sink(table);
    TFakeCollector collector;
    collector.behaviour = [&progress](const std::string& name, std::vector<TCrcItem>& items) {
        items.push_back({name + "-1", "00000001", 1});
        items.push_back({name + "-2", "00000002", 2});
        // The click arrives while the first archive is being read.
        progress.cancel = true;
    };
    TScanDriver driver(progress, sink);
    driver.SetCollectFile(collector.Function());
    const TScanResult result = driver.Scan(dir.Path().string(), TScanOptions{});

    EXPECT_EQ(result.Outcome, TScanResult::TOutcome::Cancelled);
    EXPECT_EQ(collector.paths.size(), 1u);
    EXPECT_EQ(progress.cancelChecks, 1);
    // The archive's rows stay, and so does the trailing blank row.
    ASSERT_EQ(table.RowCount(), 4);
    EXPECT_EQ(table.Cell(4, 1), "a.zip-1");
    EXPECT_EQ(table.Cell(4, 2), "a.zip-2");
    EXPECT_EQ(table.Row(3), TRow{});
}

TEST(ScanDriver, CancelAfterTheLastCollectedFileGoesUnnoticed) {
    TScratchDirectory dir;
    MakeFiles(dir, {"a.smc", "b.txt", "c.txt"});
    TRecordingProgress progress;
    // The click arrives while a skipped file is shown.
    progress.onPump = [&progress](int position) { progress.cancel = position == 2; };
    TRecordingSink sink;
    TFakeCollector collector;
    TScanDriver driver(progress, sink);
    driver.SetCollectFile(collector.Function());
    const TScanResult result = driver.Scan(dir.Path().string(), TScanOptions{});

    EXPECT_EQ(result.Outcome, TScanResult::TOutcome::Completed);
    EXPECT_EQ(progress.position, 3);
    EXPECT_EQ(sink.events, (std::vector<std::string>{"started", "completed"}));
}

TEST(ScanDriver, EmptyOrMissingDirectory) {
    TScratchDirectory dir;
    fs::create_directory(dir.Path() / "only-a-folder");
    TRecordingProgress progress;
    TRomTable table;
    TTableRowSink<TRomTable> sink(table);
    TScanDriver driver(progress, sink);

    const TScanResult empty = driver.Scan(dir.Path().string(), TScanOptions{});
    EXPECT_EQ(empty.Outcome, TScanResult::TOutcome::Completed);
    EXPECT_TRUE(progress.maxima.empty()); // the range stays as it was
    EXPECT_EQ(progress.position, 0);
    EXPECT_EQ(table.RowCount(), 2); // the trailing blank row stays

    const TScanResult missing = driver.Scan(dir.File("none"), TScanOptions{});
    EXPECT_EQ(missing.Outcome, TScanResult::TOutcome::DirectoryNotFound);
    WriteBytes(dir.Path() / "file.smc", "x");
    EXPECT_EQ(driver.Scan(dir.File("file.smc"), TScanOptions{}).Outcome,
              TScanResult::TOutcome::DirectoryNotFound);
    EXPECT_TRUE(progress.maxima.empty());
    EXPECT_EQ(table.RowCount(), 2);
}

TEST(ScanDriver, TrailingSeparatorMakesNoDifference) {
    TScratchDirectory dir;
    MakeMixedDirectory(dir);
    std::vector<std::vector<TRow>> rows;
    std::vector<std::vector<std::string>> paths;
    for (const std::string& path : {dir.Path().string(), dir.Path().string() + "/"}) {
        TRecordingProgress progress;
        TRecordingSink sink;
        TFakeCollector collector;
        TScanDriver driver(progress, sink);
        driver.SetCollectFile(collector.Function());
        driver.Scan(path, TScanOptions{});
        rows.push_back(sink.rows);
        paths.push_back(collector.paths);
    }
    EXPECT_EQ(rows[0], rows[1]);
    EXPECT_EQ(paths[0], paths[1]);
    EXPECT_EQ(paths[0].front(), dir.Path().string() + "/Game.SMC");
}

TEST(ScanDriver, ErrorsOutsideTheCollectorEndTheScan) {
    TScratchDirectory dir;
    MakeFiles(dir, {"a.smc", "b.smc"});
    struct TFailingSink : IRomRowSink {
        void AddRomRow(const TRow&) override { throw std::runtime_error("table full"); }
    } sink;
    TRecordingProgress progress;
    TFakeCollector collector;
    TScanDriver driver(progress, sink);
    driver.SetCollectFile(collector.Function());
    EXPECT_THROW(driver.Scan(dir.Path().string(), TScanOptions{}), std::runtime_error);
    EXPECT_EQ(collector.paths.size(), 1u);
}
