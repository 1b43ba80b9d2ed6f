// 7z and RAR archives, and zip members in bzip2, LZMA, xz and zstd, against
// the same ROMs read loose (tests/data/sets, see its make.sh).

#include "core/header/Detector.h"
#include "core/scan/Crc32.h"
#include "core/scan/ScanDriver.h"

#include "tests/support/EnvironmentOverride.h"
#include "tests/support/QuietProgress.h"
#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

using namespace tabula;
using tabula::test::TestDataFile;
using tabula::test::TScratchDirectory;

namespace {

struct TMode {
    const char* Name;
    TRomMode Mode;
    bool Hashes;
};

const TMode Modes[] = {
    {"normal", TRomMode::Normal, false}, {"normal+hashes", TRomMode::Normal, true},
    {"nes", TRomMode::Nes, false},       {"nes+hashes", TRomMode::Nes, true},
    {"snes", TRomMode::Snes, false},     {"detect", TRomMode::Detect, true},
};

std::vector<TCrcItem> Collect(const std::string& path, const TMode& mode) {
    TCrc32 collector;
    collector.SetFileName(path);
    collector.ZipMode = true;
    collector.SkipTxtFiles = true;
    collector.NesMode = mode.Mode == TRomMode::Nes;
    collector.SnesMode = mode.Mode == TRomMode::Snes;
    collector.Detectors = mode.Mode == TRomMode::Detect ? &BuiltInDetectorSet() : nullptr;
    collector.Hashes = {mode.Hashes, mode.Hashes, mode.Hashes};
    collector.Collect();
    return collector.TakeItems();
}

// The loose copy of a member: roms/ with the member's folders.
std::string LooseCopy(std::string member) {
    std::replace(member.begin(), member.end(), '\\', '/');
    const std::filesystem::path roms = TestDataFile("sets/roms");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(roms)) {
        std::string relative = entry.path().lexically_relative(roms).string();
        std::transform(relative.begin(), relative.end(), relative.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (relative == member) {
            return entry.path().string();
        }
    }
    return {};
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

// Every archive of the same ROMs gives, in every mode, the rows the loose
// ROMs give: the same members (the text file skipped, folders left out),
// CRC, size and digests.
TEST(StreamedArchive, RowsEqualThoseOfTheLooseRoms) {
    const char* archives[] = {"solid.7z",      "nonsolid.7z",  "plainheader.7z", "bcj.7z",
                              "zip-bzip2.zip", "zip-lzma.zip", "zip-xz.zip",     "zip-zstd.zip",
                              "rar4.rar",      "rar5.rar"};
    const std::vector<std::string> members = {"empty.bin", "game (usa).nes", "plain.bin",
                                              "quest.smc", "sub\\inner.bin"};
    for (const char* archive : archives) {
        for (const TMode& mode : Modes) {
            SCOPED_TRACE(std::string(archive) + " " + mode.Name);
            const std::vector<TCrcItem> rows =
                Collect(TestDataFile(std::string("sets/") + archive), mode);
            std::vector<std::string> names;
            for (const TCrcItem& row : rows) {
                names.push_back(row.Name);
                const std::string loose = LooseCopy(row.Name);
                ASSERT_FALSE(loose.empty()) << row.Name;
                const std::vector<TCrcItem> expected = Collect(loose, mode);
                ASSERT_EQ(expected.size(), 1u) << row.Name;
                EXPECT_EQ(row.CrcText, Lower(expected[0].CrcText)) << row.Name;
                EXPECT_EQ(row.Size, expected[0].Size) << row.Name;
                EXPECT_EQ(row.Md5, expected[0].Md5) << row.Name;
                EXPECT_EQ(row.Sha1, expected[0].Sha1) << row.Name;
                EXPECT_EQ(row.Sha256, expected[0].Sha256) << row.Name;
                EXPECT_EQ(row.Detector, expected[0].Detector) << row.Name;
                std::string stored = Lower(row.NameOnDisk);
                std::replace(stored.begin(), stored.end(), '/', '\\');
                EXPECT_EQ(stored, row.Name) << "the name as stored";
            }
            std::sort(names.begin(), names.end());
            EXPECT_EQ(names, members);
        }
    }
}

// Each archive that cannot be read fails by name and by what is wrong, in
// the modes given, and leaves nothing in the temporary folder.
TEST(StreamedArchive, RefusedArchivesAreNamedWithTheirFault) {
    const struct {
        const char* File;
        TMode Mode;
        const char* Says;
    } cases[] = {
        {"encrypted.7z", Modes[0], "is encrypted"},
        {"encrypted.7z", Modes[2], "is encrypted"},
        {"encrypted-listing.7z", Modes[0], "is encrypted"},
        {"changed.7z", Modes[2], "Bad crc"},
        {"split.7z.001", Modes[0], "multi-volume 7z set"},
        {"split.7z.002", Modes[2], "multi-volume 7z set"},
        {"multivolume.rar", Modes[0], "multi-volume RAR set"},
        {"truncated.rar", Modes[0], "is damaged"},
        {"bomb.7z", Modes[2], "decompression bomb"},
        {"bomb.7z", Modes[1], "decompression bomb"},
    };
    const TScratchDirectory temporary;
    const test::TEnvironmentOverride tmpdir("TMPDIR", temporary.Path().string());
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.File) + " " + c.Mode.Name);
        try {
            Collect(TestDataFile(std::string("sets/") + c.File), c.Mode);
            ADD_FAILURE() << "read without a failure";
        } catch (const ECrcZipError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(std::string("\"") + c.File + "\""), std::string::npos)
                << message;
            EXPECT_NE(message.find(c.Says), std::string::npos) << message;
        }
        EXPECT_TRUE(std::filesystem::is_empty(temporary.Path()));
    }
    // Listing the bomb decompresses nothing: its header says what it holds.
    const std::vector<TCrcItem> listed = Collect(TestDataFile("sets/bomb.7z"), Modes[0]);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].Size, int64_t{8} << 30);
}

// A symbolic link stored in a 7z holds its target, not a ROM: no row, in
// any mode.
TEST(StreamedArchive, ALinkIsNoRom) {
    for (const TMode& mode : Modes) {
        const std::vector<TCrcItem> rows = Collect(TestDataFile("sets/links.7z"), mode);
        ASSERT_EQ(rows.size(), 1u) << mode.Name;
        EXPECT_EQ(rows[0].Name, "game (usa).nes") << mode.Name;
    }
}

// A zip member in a library's method whose data was changed fails by name
// instead of giving a wrong CRC.
TEST(StreamedArchive, ADamagedMemberInALibraryMethodFails) {
    for (const char* archive : {"zip-bzip2.zip", "zip-lzma.zip", "zip-xz.zip", "zip-zstd.zip"}) {
        SCOPED_TRACE(archive);
        const TScratchDirectory dir;
        const std::filesystem::path copy = dir.Path() / archive;
        std::filesystem::copy_file(TestDataFile(std::string("sets/") + archive), copy);
        {
            // Into the first member's data, past its local header.
            std::fstream file(copy, std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(400);
            file.put('\x5A');
        }
        EXPECT_THROW(Collect(copy.string(), Modes[2]), ECrcZipError);
    }
}

// ".7z" and ".rar" are archives when zip archives are scanned, plain files
// otherwise, and left out with "Scan other files" unchecked. An archive's
// rows name the set after it.
TEST(StreamedArchive, WhichFilesAreArchives) {
    const TScratchDirectory dir;
    std::filesystem::copy_file(TestDataFile("sets/solid.7z"), dir.Path() / "Solid.7z");
    std::filesystem::copy_file(TestDataFile("sets/rar5.rar"), dir.Path() / "rar5.rar");
    // One volume that holds the whole archive: a set like any other.
    std::filesystem::copy_file(TestDataFile("sets/nonsolid.7z"), dir.Path() / "Lone.7z.001");
    std::map<std::string, int> sets;
    const auto rows = [&](bool archives, bool others) {
        struct TCount : IRomRowSink {
            explicit TCount(std::map<std::string, int>& sets) : Sets(sets) {}
            void AddRomRow(const TRomTable::TRow& row) override {
                ++Rows;
                ++Sets[row[0] + "|" + row[1]];
            }
            std::map<std::string, int>& Sets;
            int Rows = 0;
        } sink(sets);
        test::TQuietProgress quiet;
        TScanDriver driver(quiet, sink);
        TScanOptions options;
        options.ScanZipArchives = archives;
        options.ScanOtherFiles = others;
        const TScanResult result = driver.Scan(dir.Path().string(), options);
        EXPECT_TRUE(result.Failures.empty());
        return sink.Rows;
    };
    EXPECT_EQ(rows(true, true), 15);
    EXPECT_EQ(sets,
              (std::map<std::string, int>{{"solid|Solid", 5}, {"rar5|rar5", 5}, {"lone|Lone", 5}}));
    EXPECT_EQ(rows(false, true), 3);
    EXPECT_EQ(rows(true, false), 0);
}
