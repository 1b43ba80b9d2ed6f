#include "core/header/Detector.h"
#include "core/scan/ScanDriver.h"

#include "tests/support/Deflate.h"
#include "tests/support/QuietProgress.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

using namespace tabula;
using tabula::test::TScratchDirectory;
using tabula::test::WriteBytes;

namespace {

struct TRowSeen {
    std::string Crc, Size, Md5, Sha1;
};

class TSeenSink : public IRomRowSink {
public:
    void AddRomRow(const TRomTable::TRow& row) override { AddScannedRow(row, {}); }
    void AddScannedRow(const TRomTable::TRow& row, const TRowExtras& extras) override {
        // Loose files by their name, members by archive and name.
        const std::string key =
            row[0] == row[4].substr(0, row[0].size()) ? row[4] : row[0] + "/" + row[4];
        Rows[key] = {row[5], row[6], extras.Md5, extras.Sha1};
        Detectors[key] = extras.Detector;
    }
    std::map<std::string, TRowSeen> Rows;
    std::map<std::string, std::string> Detectors;
};

// What a user cutting by hand would hash.
TRowSeen ByHand(const std::string& bytes) {
    TRomHashes hashes({true, true});
    hashes.Update(std::as_bytes(std::span(bytes.data(), bytes.size())));
    const TRomHashes::TDigests digests = hashes.Finish();
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08X", test::TestCrc32(bytes));
    return {crc, std::to_string(bytes.size()), digests.Md5, digests.Sha1};
}

TSeenSink Scan(const TScratchDirectory& dir, TScanOptions options) {
    TSeenSink sink;
    test::TQuietProgress quiet;
    TScanDriver driver(quiet, sink);
    const TScanResult result = driver.Scan(dir.Path().string(), options);
    EXPECT_TRUE(result.Failures.empty()) << result.Failures.front().Message;
    return sink;
}

} // namespace

// One scan of a mixed collection, loose and zipped (stored and deflated):
// each file is cut where its header ends, and a file without one is whole;
// CRC, size, MD5 and SHA-1 are those of the bytes a user would cut by hand.
// Trusted CRCs give the same rows.
TEST(DetectHeaders, AMixedCollectionInOneScan) {
    const std::string rom = test::PatternBytes(65536, 'r');
    const std::string swc("\x20\0\0\0\0\0\0\0\xAA\xBB\x04", 11);
    const struct {
        const char* Name;
        std::string Bytes;
        std::size_t Header;
        const char* Detector;
    } files[] = {
        {"headed.nes", "NES\x1a" + std::string(12, '\x01') + rom.substr(0, 40960), 16, "nes.xml"},
        {"bare.nes", rom.substr(1, 40960), 0, ""},
        {"disk.fds", std::string("FDS\x1a\x01", 5) + std::string(11, '\0') + rom, 16, "fds.xml"},
        {"game.lnx", "LYNX" + std::string(60, '\x02') + rom, 64, "lynx.xml"},
        {"game.a78",
         "\x01"
         "ATARI7800" +
             std::string(118, '\x03') + rom.substr(0, 32768),
         128, "atari7800.xml"},
        {"headed.smc", swc + std::string(501, '\0') + rom, 512, "snes.xml"},
        {"bare.sfc", rom, 0, ""},
        {"plain.bin", rom.substr(7, 1000), 0, ""},
    };
    TScratchDirectory dir;
    std::vector<test::TTestMember> stored;
    std::vector<test::TTestMember> deflated;
    for (const auto& file : files) {
        WriteBytes(dir.Path() / file.Name, file.Bytes);
        stored.emplace_back(file.Name, file.Bytes);
        deflated.emplace_back(file.Name, test::Deflated(file.Bytes))
            .Deflated(static_cast<uint32_t>(file.Bytes.size()), test::TestCrc32(file.Bytes));
    }
    WriteBytes(dir.Path() / "stored.zip", test::BuildZip(stored).Bytes);
    WriteBytes(dir.Path() / "packed.zip", test::BuildZip(deflated).Bytes);

    TScanOptions options;
    options.Mode = TRomMode::Detect;
    options.Hashes = {true, true};
    options.Jobs = 2;
    const TSeenSink seen = Scan(dir, options);
    for (const auto& file : files) {
        const TRowSeen wanted = ByHand(file.Bytes.substr(file.Header));
        for (const std::string& key : {std::string(file.Name), "stored/" + std::string(file.Name),
                                       "packed/" + std::string(file.Name)}) {
            ASSERT_TRUE(seen.Rows.contains(key)) << key;
            const TRowSeen& row = seen.Rows.at(key);
            EXPECT_EQ(row.Crc, wanted.Crc) << key;
            EXPECT_EQ(row.Size, wanted.Size) << key;
            EXPECT_EQ(row.Md5, wanted.Md5) << key;
            EXPECT_EQ(row.Sha1, wanted.Sha1) << key;
            EXPECT_EQ(seen.Detectors.at(key), file.Detector) << key;
        }
    }

    // Without digests, trusted CRCs and the full route agree row for row.
    options.Hashes = {};
    const TSeenSink full = Scan(dir, options);
    options.TrustZipCrc = true;
    const TSeenSink trusted = Scan(dir, options);
    ASSERT_EQ(trusted.Rows.size(), full.Rows.size());
    for (const auto& [key, row] : full.Rows) {
        EXPECT_EQ(trusted.Rows.at(key).Crc, row.Crc) << key;
        EXPECT_EQ(trusted.Rows.at(key).Size, row.Size) << key;
        EXPECT_EQ(row.Crc, seen.Rows.at(key).Crc) << key;
    }
}

// A user's detector comes before the built-in ones: its byte-swapping rule
// with a test from the end puts the bytes in order before they are hashed,
// loose and in an archive.
TEST(DetectHeaders, AUsersRulesComeFirstAndPutBytesInOrder) {
    const TDetector mine = ReadDetector(R"(<detector><name>swapped</name>
<rule start_offset="10" end_offset="-4" operation="byteswap">
	<data offset="-4" value="454E4421"/>
	<and offset="0" mask="FF00" value="4E00"/>
</rule></detector>)",
                                        "mine.xml");
    // Starts like an NES image, which the built-in rule would cut at 16.
    std::string bytes = "NES\x1a" + std::string(12, '\x05') + test::PatternBytes(4000, 's');
    bytes += "END!";
    TScratchDirectory dir;
    WriteBytes(dir.Path() / "swapped.bin", bytes);
    WriteBytes(dir.Path() / "set.zip", test::BuildZip({{"swapped.bin", bytes}}).Bytes);
    std::string swapped = bytes.substr(0x10, bytes.size() - 4 - 0x10);
    for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) {
        std::swap(swapped[i], swapped[i + 1]);
    }
    std::vector<TDetector> detectors{mine};
    for (TDetector& builtIn : BuiltInDetectors()) {
        detectors.push_back(std::move(builtIn));
    }
    TScanOptions options;
    options.Mode = TRomMode::Detect;
    options.Detectors = std::make_shared<const TDetectorSet>(std::move(detectors));
    options.TrustZipCrc = true; // a swap is never a header alone: the member is read
    const TSeenSink seen = Scan(dir, options);
    const TRowSeen wanted = ByHand(swapped);
    for (const char* key : {"swapped.bin", "set/swapped.bin"}) {
        EXPECT_EQ(seen.Rows.at(key).Crc, wanted.Crc) << key;
        EXPECT_EQ(seen.Rows.at(key).Size, wanted.Size) << key;
        EXPECT_EQ(seen.Detectors.at(key), "mine.xml") << key;
    }
}

// The NES and SNES modes name their cuts as the detectors of the same
// headers do (CommonDetector then decides what a table of them names).
TEST(DetectHeaders, TheModesNameTheirCutsAsTheDetectorsDo) {
    TScratchDirectory dir;
    const std::string rom = test::PatternBytes(8192, 'm');
    WriteBytes(dir.Path() / "a.nes", "NES\x1a" + std::string(12, '\0') + rom);
    WriteBytes(dir.Path() / "b.smc", std::string(512, '\0') + rom);
    WriteBytes(dir.Path() / "c.sfc", rom);
    const struct {
        TRomMode Mode;
        bool Trusted;
        std::map<std::string, std::string> Detectors;
    } cases[] = {
        {TRomMode::Nes, false, {{"a.nes", "nes.xml"}, {"b.smc", "nes.xml"}, {"c.sfc", "nes.xml"}}},
        {TRomMode::Snes, true, {{"a.nes", "snes.xml"}, {"b.smc", "snes.xml"}, {"c.sfc", ""}}},
    };
    for (const auto& c : cases) {
        TScanOptions options;
        options.Mode = c.Mode;
        options.TrustZipCrc = c.Trusted;
        EXPECT_EQ(Scan(dir, options).Detectors, c.Detectors);
    }
}
