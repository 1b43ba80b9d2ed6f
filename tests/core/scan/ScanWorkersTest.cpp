#include "core/scan/ScanWorkers.h"
#include "core/scan/ScanDriver.h"

#include "tests/support/EnvironmentOverride.h"
#include "tests/support/QuietProgress.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace tabula;
using tabula::test::TScratchDirectory;
using tabula::test::WriteBytes;
namespace fs = std::filesystem;

namespace {

struct TScanned {
    std::vector<TRomTable::TRow> Rows;
    std::vector<std::string> Digests;
    std::vector<std::string> Failures;
    TScanResult::TOutcome Outcome{};
};

class TKeepingSink : public IRomRowSink {
public:
    explicit TKeepingSink(TScanned& into) : into_(into) {}
    void AddRomRow(const TRomTable::TRow& row) override { into_.Rows.push_back(row); }
    void AddScannedRow(const TRomTable::TRow& row, const TRowExtras& extras) override {
        into_.Rows.push_back(row);
        into_.Digests.push_back(extras.Md5 + extras.Sha1);
    }

private:
    TScanned& into_;
};

// Cancels once the scan has taken a number of files.
class TCancellingProgress : public test::TQuietProgress {
public:
    explicit TCancellingProgress(int after) : after_(after) {}
    bool CancelRequested() override { return ++taken_ >= after_; }

private:
    int after_;
    int taken_ = 0;
};

TScanned Scan(const fs::path& dir, TScanOptions options, unsigned jobs, int cancelAfter = 0) {
    options.Jobs = jobs;
    TScanned scanned;
    TKeepingSink sink(scanned);
    test::TQuietProgress quiet;
    TCancellingProgress cancelling(cancelAfter);
    TScanDriver driver(cancelAfter > 0 ? static_cast<IScanProgress&>(cancelling) : quiet, sink);
    const TScanResult result = driver.Scan(dir.string(), options);
    for (const TScanFailure& failure : result.Failures) {
        scanned.Failures.push_back(failure.Name + ": " + failure.Message);
    }
    scanned.Outcome = result.Outcome;
    return scanned;
}

// 5,000 files: loose ROMs with and without an NES header, zip archives of
// two members (one of them headed), a few that are no archive.
void MakeManyFiles(const fs::path& dir) {
    for (int i = 0; i < 5000; ++i) {
        const std::string n = std::to_string(i);
        const std::string body(64 + i % 200, static_cast<char>('a' + i % 26));
        if (i % 10 == 0) {
            WriteBytes(dir / ("set" + n + ".zip"),
                       test::BuildZip(
                           {{"a" + n + ".nes", "NES\x1a" + body + n}, {"b" + n + ".bin", n + body}})
                           .Bytes);
        } else if (i % 97 == 0) {
            WriteBytes(dir / ("broken" + n + ".zip"), "PK no archive " + n);
        } else {
            WriteBytes(dir / ("rom" + n + (i % 2 == 0 ? ".nes" : ".bin")), body + n);
        }
    }
}

} // namespace

// Many workers on many files, again and again (the sanitized build runs it
// under ThreadSanitizer): every scan gives the rows, digests and failures of
// one worker, in its order, and leaves nothing in the temporary folder.
TEST(ScanWorkers, ManyWorkersOnManyFilesGiveTheRowsOfOne) {
    TScratchDirectory dir;
    TScratchDirectory temp;
    const test::TEnvironmentOverride tmpdir("TMPDIR", temp.Path().string());
    MakeManyFiles(dir.Path());
    TScanOptions trusted;
    trusted.Mode = TRomMode::Nes;
    trusted.TrustZipCrc = true;
    TScanOptions hashes;
    hashes.Mode = TRomMode::Nes;
    hashes.Hashes = {true, true};
    TScanOptions extracted; // through the unzip library, which takes one worker
    extracted.Mode = TRomMode::Nes;
    const TScanOptions kinds[] = {TScanOptions{}, trusted, hashes, extracted};
    TScanned references[4];
    for (int kind = 0; kind < 4; ++kind) {
        references[kind] = Scan(dir.Path(), kinds[kind], 1);
        ASSERT_EQ(references[kind].Rows.size(), 5454u) << kind; // 500 archives of two
        ASSERT_EQ(references[kind].Failures.size(), 46u) << kind;
    }
    for (int run = 0; run < 20; ++run) {
        // The extraction route is the slow one: three runs of it are enough.
        const int kind = run % 7 == 6 ? 3 : run % 3;
        SCOPED_TRACE(run);
        const TScanned scanned = Scan(dir.Path(), kinds[kind], 8);
        EXPECT_EQ(scanned.Rows, references[kind].Rows);
        EXPECT_EQ(scanned.Digests, references[kind].Digests);
        EXPECT_EQ(scanned.Failures, references[kind].Failures);
        EXPECT_EQ(scanned.Outcome, TScanResult::TOutcome::Completed);
    }
    EXPECT_TRUE(fs::is_empty(temp.Path()));
}

// 7z, RAR and zip members in the libraries' methods, read in memory on
// many workers (under ThreadSanitizer in the sanitized build): the rows and
// failures of one worker, nothing in the temporary folder.
TEST(ScanWorkers, SevenZipAndRarMembersOnManyWorkers) {
    TScratchDirectory dir;
    TScratchDirectory temp;
    const test::TEnvironmentOverride tmpdir("TMPDIR", temp.Path().string());
    const char* archives[] = {"solid.7z", "nonsolid.7z",  "rar5.rar",   "rar4.rar",
                              "bomb.7z",  "encrypted.7z", "zip-xz.zip", "zip-zstd.zip"};
    for (int copy = 0; copy < 12; ++copy) {
        for (const char* archive : archives) {
            fs::copy_file(test::TestDataFile(std::string("sets/") + archive),
                          dir.Path() / (std::to_string(copy) + archive));
        }
    }
    TScanOptions nes;
    nes.Mode = TRomMode::Nes;
    nes.TrustZipCrc = true; // no zip member is extracted: every worker reads
    TScanOptions detect;
    detect.Mode = TRomMode::Detect;
    detect.Hashes = {true, true};
    for (const TScanOptions& options : {nes, detect}) {
        const TScanned reference = Scan(dir.Path(), options, 1);
        ASSERT_EQ(reference.Failures.size(), 24u); // the bombs and the encrypted
        for (int run = 0; run < 3; ++run) {
            const TScanned scanned = Scan(dir.Path(), options, 8);
            EXPECT_EQ(scanned.Rows, reference.Rows);
            EXPECT_EQ(scanned.Digests, reference.Digests);
            EXPECT_EQ(scanned.Failures, reference.Failures);
        }
    }
    EXPECT_TRUE(fs::is_empty(temp.Path()));
}

// A cancel keeps the rows of the files taken up to it, as one worker does,
// lets the files in hand finish and clean up, and takes none of their rows.
TEST(ScanWorkers, CancelKeepsThePrefixOfOneWorker) {
    TScratchDirectory dir;
    TScratchDirectory temp;
    const test::TEnvironmentOverride tmpdir("TMPDIR", temp.Path().string());
    MakeManyFiles(dir.Path());
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        if (entry.path().filename().string().rfind("set1", 0) != 0) {
            fs::remove(entry.path());
        }
    }
    TScanOptions hashes; // members read in memory, on every worker
    hashes.Mode = TRomMode::Nes;
    hashes.Hashes = {true, true};
    const TScanned one = Scan(dir.Path(), hashes, 1, 40);
    const TScanned four = Scan(dir.Path(), hashes, 4, 40);
    EXPECT_EQ(one.Outcome, TScanResult::TOutcome::Cancelled);
    EXPECT_EQ(four.Outcome, TScanResult::TOutcome::Cancelled);
    EXPECT_EQ(four.Rows, one.Rows);
    EXPECT_EQ(four.Digests, one.Digests);
    EXPECT_GT(one.Rows.size(), 40u);
    EXPECT_TRUE(fs::is_empty(temp.Path()));
}

// Questions from jobs reach the front end on the waiting thread, one at a time.
TEST(ScanWorkers, QuestionsAreAskedOnTheWaitingThreadOneAtATime) {
    class TFrontUi : public IZipUi {
    public:
        void ShowMessage(const std::string& /*text*/) override { Check(); }
        TVolumeAnswer AskForVolume(const std::string& /*text*/, bool /*stopIcon*/) override {
            Check();
            return TVolumeAnswer::Ok;
        }
        void SetBusy(bool /*busy*/) override {}
        void Pump() override {}
        void Check() {
            EXPECT_EQ(std::this_thread::get_id(), Owner);
            EXPECT_EQ(inside_.fetch_add(1), 0);
            std::this_thread::yield();
            inside_.fetch_sub(1);
            ++Asked;
        }
        std::thread::id Owner = std::this_thread::get_id();
        int Asked = 0;

    private:
        std::atomic<int> inside_{0};
    } front;
    std::atomic<int> answeredOk{0};
    {
        TScanWorkers workers(4, 16, 4, &front, [&answeredOk](std::size_t, IZipUi* ui) {
            ui->ShowMessage("message");
            answeredOk += ui->AskForVolume("disk 2", false) == TVolumeAnswer::Ok ? 1 : 0;
        });
        for (std::size_t item = 0; item < 10; ++item) {
            workers.WaitFor(item);
            workers.Release(item);
        }
    } // the items in hand are waited for, their questions answered; no new one starts
    EXPECT_GE(front.Asked, 20);
    EXPECT_EQ(front.Asked % 2, 0);
    EXPECT_EQ(answeredOk * 2, front.Asked);
}

// The waiting thread is one of the workers: with one, it does every item
// itself (asking the front end directly); with more, no more threads than
// that number do items.
TEST(ScanWorkers, TheWaitingThreadCountsAsAWorker) {
    struct TFront : IZipUi {
        void ShowMessage(const std::string&) override { ++Asked; }
        TVolumeAnswer AskForVolume(const std::string&, bool) override { return {}; }
        void SetBusy(bool) override {}
        void Pump() override {}
        int Asked = 0;
    } front;
    for (const unsigned workers : {1u, 2u, 3u}) {
        std::mutex mutex;
        std::set<std::thread::id> threads;
        {
            TScanWorkers pool(workers, 400, 8, &front, [&](std::size_t, IZipUi* ui) {
                ui->ShowMessage("item");
                std::lock_guard lock(mutex);
                threads.insert(std::this_thread::get_id());
            });
            for (std::size_t item = 0; item < 400; ++item) {
                pool.WaitFor(item);
                pool.Release(item);
            }
        }
        EXPECT_LE(threads.size(), workers) << workers;
        if (workers == 1) {
            EXPECT_EQ(threads, std::set{std::this_thread::get_id()});
        }
    }
    EXPECT_EQ(front.Asked, 1200);
}

// Outcomes are filled into reused memory: files of many rows, of a failure
// with none and of fewer rows follow each other in the same rooms (more
// files than rooms), and no row, digest or failure of an earlier file
// lingers in a later one, with one worker or two.
TEST(ScanWorkers, ReusedRoomsKeepNothingOfTheirEarlierFiles) {
    TScratchDirectory dir;
    for (int i = 0; i < 300; ++i) {
        WriteBytes(dir.Path() / ("f" + std::to_string(1000 + i)), "x");
    }
    // The rows of file i: i % 4 of them, digests on every third file, a
    // failure after them on every seventh.
    const auto collect = [](const std::string& path, const TCollectorFlags&, IZipUi*,
                            std::vector<TCrcItem>& items) {
        const int i = std::stoi(fs::path(path).filename().string().substr(1)) - 1000;
        for (int k = 0; k < i % 4; ++k) {
            TCrcItem item{"m" + std::to_string(k) + ".bin", "0000abcd", 1000 + i};
            if (i % 3 == 0) {
                item.Md5 = "md5-" + std::to_string(i);
            }
            items.push_back(item);
        }
        if (i % 7 == 0) {
            throw std::runtime_error("broken " + std::to_string(i));
        }
    };
    TScanned expected;
    for (int i = 0; i < 300; ++i) {
        const std::string set = "f" + std::to_string(1000 + i);
        for (int k = 0; k < i % 4; ++k) {
            expected.Rows.push_back({set, set, set, set, "m" + std::to_string(k) + ".bin",
                                     "0000ABCD", std::to_string(1000 + i)});
            expected.Digests.push_back(i % 3 == 0 ? "md5-" + std::to_string(i) : "");
        }
        if (i % 7 == 0) {
            expected.Failures.push_back(set + ": broken " + std::to_string(i));
        }
    }
    for (const unsigned jobs : {1u, 2u}) {
        TScanned scanned;
        TKeepingSink sink(scanned);
        test::TQuietProgress quiet;
        TScanDriver driver(quiet, sink);
        driver.SetCollectFile(collect);
        TScanOptions options;
        options.Jobs = jobs;
        for (const TScanFailure& failure : driver.Scan(dir.Path().string(), options).Failures) {
            scanned.Failures.push_back(failure.Name + ": " + failure.Message);
        }
        EXPECT_EQ(scanned.Rows, expected.Rows) << jobs;
        EXPECT_EQ(scanned.Digests, expected.Digests) << jobs;
        EXPECT_EQ(scanned.Failures, expected.Failures) << jobs;
    }
}
