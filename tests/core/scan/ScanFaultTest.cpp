// Faults from outside while a scan runs, played through seams: each ends in
// a failure naming its file, the scan goes on, and nothing stays in the
// temporary folder.
#include "core/platform/SequentialFile.h"
#include "core/scan/ScanDriver.h"
#include "core/text/StringsTools.h"
#include "tests/support/EnvironmentOverride.h"
#include "tests/support/QuietProgress.h"
#include "tests/support/RecordingZipUi.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tabula;
using tabula::test::TScratchDirectory;
using tabula::test::WriteBytes;
namespace fs = std::filesystem;

namespace {

class TRowNames : public IRomRowSink {
public:
    void AddRomRow(const TRomTable::TRow& row) override { Roms.push_back(row[4]); }
    std::vector<std::string> Roms;
};

class ScanFaults : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(temp_.Entries().empty()) << "left in $TMPDIR"; }

    struct TOutcome {
        TScanResult Result;
        std::vector<std::string> Roms;
    };

    TOutcome Scan(TRomMode mode, const TCollectFile& collect = nullptr, IZipUi* ui = nullptr) {
        test::TQuietProgress progress;
        TRowNames rows;
        TScanDriver driver(progress, rows, ui);
        if (collect) {
            driver.SetCollectFile(collect);
        }
        TScanOptions options;
        options.Mode = mode;
        TOutcome outcome{driver.Scan(roms_.Path().string(), options), rows.Roms};
        return outcome;
    }

    // The one failure of outcome: its file and a part of its message.
    static void ExpectOneFailure(const TOutcome& outcome, const std::string& name,
                                 const std::string& says) {
        EXPECT_EQ(outcome.Result.Outcome, TScanResult::TOutcome::Completed);
        ASSERT_EQ(outcome.Result.Failures.size(), 1u);
        EXPECT_EQ(outcome.Result.Failures[0].Name, name);
        EXPECT_NE(outcome.Result.Failures[0].Message.find(says), std::string::npos)
            << outcome.Result.Failures[0].Message;
    }

    TScratchDirectory roms_;
    TScratchDirectory temp_;
    const test::TEnvironmentOverride tmpdir_{"TMPDIR", temp_.Path().string()};
};

} // namespace

TEST_F(ScanFaults, FileRemovedAfterTheListing) {
    for (const char* name : {"a.nes", "b.nes", "c.nes"}) {
        WriteBytes(roms_.Path() / name, test::PatternBytes(100, name[0]));
    }
    const TOutcome outcome =
        Scan(TRomMode::Nes, [](const std::string& path, const TCollectorFlags& flags, IZipUi* ui,
                               std::vector<TCrcItem>& items) {
            if (path.ends_with("b.nes")) {
                fs::remove(path);
            }
            TScanDriver::CollectWithCrc32(path, flags, ui, items);
        });
    ExpectOneFailure(outcome, "b.nes", "not found");
    EXPECT_EQ(outcome.Roms, (std::vector<std::string>{"a.nes", "c.nes"}));
}

TEST_F(ScanFaults, FileThatShrinksOrGrowsWhileRead) {
    for (const bool grows : {false, true}) {
        SCOPED_TRACE(grows ? "grows" : "shrinks");
        const fs::path big = roms_.Path() / "big.nes";
        WriteBytes(big, test::PatternBytes(300000, 'b'));
        WriteBytes(roms_.Path() / "next.nes", test::PatternBytes(100, 'n'));
        bool changed = false;
        const TScopedReadHook hook([&](const std::string& path, uint64_t) {
            if (!changed && path.ends_with("big.nes")) {
                changed = true;
                if (grows) {
                    std::FILE* file = std::fopen(big.c_str(), "ab");
                    std::fputs("more", file);
                    std::fclose(file);
                } else {
                    fs::resize_file(big, 100000);
                }
            }
        });
        const TOutcome outcome = Scan(TRomMode::Nes);
        ExpectOneFailure(outcome, "big.nes", grows ? "size changed" : "ended after");
        EXPECT_EQ(outcome.Roms, std::vector<std::string>{"next.nes"});
    }
}

TEST_F(ScanFaults, DirectoryThatBecomesUnreadableMidScan) {
    // Made unreadable (no use as root, who reads anyway) or replaced by a file.
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "replaced by a file" : "no access");
        if (!replaced && ::geteuid() == 0) {
            continue;
        }
        for (const char* name : {"a.nes", "b.nes", "c.zip"}) {
            WriteBytes(roms_.Path() / name, test::PatternBytes(100, name[0]));
        }
        const fs::path moved = roms_.Path().string() + ".moved";
        const TOutcome outcome =
            Scan(TRomMode::Nes, [&](const std::string& path, const TCollectorFlags& flags,
                                    IZipUi* ui, std::vector<TCrcItem>& items) {
                TScanDriver::CollectWithCrc32(path, flags, ui, items);
                if (path.ends_with("a.nes")) {
                    if (replaced) {
                        fs::rename(roms_.Path(), moved);
                        WriteBytes(roms_.Path(), "no folder any more");
                    } else {
                        fs::permissions(roms_.Path(), fs::perms::none);
                    }
                }
            });
        if (replaced) {
            fs::remove(roms_.Path());
            fs::rename(moved, roms_.Path());
        } else {
            fs::permissions(roms_.Path(), fs::perms::owner_all);
        }
        EXPECT_EQ(outcome.Result.Outcome, TScanResult::TOutcome::Completed);
        ASSERT_EQ(outcome.Result.Failures.size(), 2u);
        for (const TScanFailure& failure : outcome.Result.Failures) {
            EXPECT_NE(failure.Message.find("cannot be reached"), std::string::npos)
                << failure.Name << ": " << failure.Message;
        }
        EXPECT_EQ(outcome.Roms, std::vector<std::string>{"a.nes"});
        for (const std::string& name : roms_.Entries()) {
            fs::remove(roms_.Path() / name);
        }
    }
}

TEST_F(ScanFaults, ArchiveReplacedBetweenItsListingAndItsExtraction) {
    const std::string listed = test::BuildZip({{"one.nes", test::PatternBytes(5000, '1')},
                                               {"two.nes", test::PatternBytes(5000, '2')}})
                                   .Bytes;
    const std::string other = test::BuildZip({{"one.nes", test::PatternBytes(5000, 'x')},
                                              {"two.nes", test::PatternBytes(5000, 'y')}})
                                  .Bytes;
    const fs::path archive = roms_.Path() / "set.zip";
    WriteBytes(archive, listed);
    WriteBytes(roms_.Path() / "z.nes", test::PatternBytes(100, 'z'));
    test::TRecordingZipUi ui;
    // While the first member is extracted, another archive takes its name.
    ui.OnPump = [&](int pump) {
        if (pump == 1) {
            WriteBytes(roms_.Path() / "new.tmp", other);
            fs::rename(roms_.Path() / "new.tmp", archive);
        }
    };
    const TOutcome outcome = Scan(TRomMode::Nes, nullptr, &ui);
    ExpectOneFailure(outcome, "set.zip", "replaced or changed while it was read");
    EXPECT_EQ(outcome.Roms, std::vector<std::string>{"z.nes"});
}

TEST_F(ScanFaults, ExtractionFolderRenamedMidExtractionKeepsTheMemberInside) {
    const std::string rom = test::PatternBytes(5000, 'r');
    WriteBytes(roms_.Path() / "set.zip", test::BuildZip({{"rom.nes", rom}}).Bytes);
    test::TRecordingZipUi ui;
    std::string original;
    ui.OnPump = [&](int pump) {
        if (pump == 1) {
            original = temp_.Path() / temp_.Entries().front();
            fs::rename(original, temp_.Path() / "moved");
            fs::create_directory(original);
        }
    };
    const TOutcome outcome = Scan(TRomMode::Nes, nullptr, &ui);
    EXPECT_TRUE(outcome.Result.Failures.empty());
    EXPECT_EQ(outcome.Roms, std::vector<std::string>{"rom.nes"});
    // Nothing went to the path's new owner, and ours was emptied.
    ASSERT_FALSE(original.empty());
    EXPECT_TRUE(fs::is_empty(original));
    EXPECT_TRUE(fs::is_empty(temp_.Path() / "moved"));
    fs::remove(original);
    fs::remove(temp_.Path() / "moved");
}

TEST_F(ScanFaults, TemporaryFileSystemFullWhileAMemberIsExtracted) {
    // A child process whose files may not grow past 64 KiB: the member's
    // copy hits the limit as it would a full disk.
    WriteBytes(roms_.Path() / "big.zip",
               test::BuildZip({{"big.nes", test::PatternBytes(1 << 20, 'b')}}).Bytes);
    WriteBytes(roms_.Path() / "small.nes", test::PatternBytes(100, 's'));
    const auto fullDisk = [this] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 << 10, 64 << 10};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const TOutcome outcome = Scan(TRomMode::Nes);
        const bool named =
            outcome.Result.Failures.size() == 1 && outcome.Result.Failures[0].Name == "big.zip";
        const bool clean = temp_.Entries().empty();
        const bool goesOn = outcome.Roms == std::vector<std::string>{"small.nes"};
        if (!outcome.Result.Failures.empty()) {
            std::fprintf(stderr, "%s\n", outcome.Result.Failures[0].Message.c_str());
        }
        std::exit(named && clean && goesOn ? 0 : 1);
    };
    EXPECT_EXIT(fullDisk(), ::testing::ExitedWithCode(0), "error writing big.nes");
}
