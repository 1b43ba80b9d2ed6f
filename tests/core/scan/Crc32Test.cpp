#include "core/scan/Crc32.h"

#include "core/checksum/CrcUpdate.h"
#include "core/text/StringsTools.h"
#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

using namespace tabula;
using tabula::test::TScratchDirectory;
namespace fs = std::filesystem;

namespace {

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

// The checksum of bytes from skip to the end, by the byte-wise table loop.
std::string ExpectedCrc(const std::string& bytes, size_t skip) {
    uint32_t crc = CrcInit;
    CrcUpdateReference(bytes.data(), skip, bytes.size(), crc);
    return HexText(~crc);
}

struct TOptions {
    bool Snes = false;
    bool Nes = false;
    bool RemoveBadSize = false;
    bool SkipTxt = false;
    bool Zip = false;
};

std::vector<TCrcItem> Collected(const std::string& path, const TOptions& options) {
    TCrc32 collector;
    collector.SetFileName(path);
    collector.SnesMode = options.Snes;
    collector.NesMode = options.Nes;
    collector.RemoveBadSize = options.RemoveBadSize;
    collector.SkipTxtFiles = options.SkipTxt;
    collector.ZipMode = options.Zip;
    collector.Collect();
    return collector.ItemList();
}

} // namespace

TEST(Crc32, SnesHeaderSizeRoundsToTheNearestBlockTiesToEven) {
    const struct {
        int32_t size;
        int32_t header;
    } cases[] = {
        {1048576, 0},  {1049088, 512}, {1048776, 200}, {1052672, 4096}, // k = 128, even
        {12288, 0},                                                     // k = 1, odd tie
        {20480, 4096},                                                  // k = 2, even tie
        {28672, 0},    {36864, 4096},  {4096, 4096},                    // k = 3, 4, 0
        {4000, 4000},  {8191, 0},      {8192, 0},      {4097, 0},
        {0, 0},        {1, 1},         {-100, 0},      {INT32_MAX, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TCrc32::SnesHeaderSize(c.size), c.header) << c.size;
    }
}

TEST(Crc32, MissingFileRaisesNotFoundWithTheFullPath) {
    TScratchDirectory dir;
    const std::string path = dir.File("absent.smc");
    TCrc32 collector;
    collector.SetFileName(path);
    try {
        collector.Collect();
        FAIL() << "no exception";
    } catch (const ECrcFileNotFound& error) {
        EXPECT_EQ(std::string(error.what()), "File \"" + path + "\" not found.");
    }
    EXPECT_EQ(collector.Count(), 0);

    fs::create_symlink(dir.File("nowhere"), dir.File("dangling.smc"));
    collector.SetFileName(dir.File("dangling.smc"));
    EXPECT_THROW(collector.Collect(), ECrcFileNotFound);
}

TEST(Crc32, SnesRuleCutsTheInferredHeaderAndDropsBadSizes) {
    const struct {
        size_t size;
        bool removeBadSize;
        bool kept;
        size_t header;
    } cases[] = {
        {1049088, false, true, 512}, {1049088, true, true, 512}, {1048776, false, true, 200},
        {1048776, true, false, 0},   {8191, false, true, 0},     {8191, true, false, 0},
        {8192, false, true, 0},      {8192, true, true, 0},      {4000, false, true, 4000},
        {4000, true, false, 0},      {20480, false, true, 4096}, {20480, true, false, 0},
        {12288, false, true, 0},     {12288, true, true, 0},     {0, false, true, 0},
        {0, true, false, 0},
    };
    TScratchDirectory dir;
    for (const auto& c : cases) {
        const std::string bytes = RandomBytes(c.size, static_cast<unsigned>(c.size));
        const std::string path = dir.File("Rom " + std::to_string(c.size) + ".SMC");
        test::WriteBytes(path, bytes);
        const auto items = Collected(path, {.Snes = true, .RemoveBadSize = c.removeBadSize});
        const std::string label = std::to_string(c.size) + (c.removeBadSize ? " remove" : " keep");
        if (!c.kept) {
            EXPECT_EQ(std::ssize(items), 0) << label;
            continue;
        }
        ASSERT_EQ(std::ssize(items), 1) << label;
        EXPECT_EQ(items[0].Name, path) << label;
        EXPECT_EQ(items[0].CrcText, ExpectedCrc(bytes, c.header)) << label;
        EXPECT_EQ(items[0].Size, static_cast<int32_t>(c.size - c.header)) << label;
    }
}

TEST(Crc32, NesRuleCutsSixteenBytesAfterTheSnesRule) {
    TScratchDirectory dir;
    const std::string nes = RandomBytes(40976, 7);
    test::WriteBytes(dir.File("game.nes"), nes);
    test::WriteBytes(dir.File("tiny.nes"), "0123456789");

    auto items = Collected(dir.File("game.nes"), {.Nes = true});
    ASSERT_EQ(std::ssize(items), 1);
    EXPECT_EQ(items[0].CrcText, ExpectedCrc(nes, 16));
    EXPECT_EQ(items[0].Size, 40960);

    test::WriteBytes(dir.File("empty.nes"), "");
    for (const char* name : {"tiny.nes", "empty.nes"}) {
        items = Collected(dir.File(name), {.Nes = true});
        ASSERT_EQ(std::ssize(items), 1);
        EXPECT_EQ(items[0].CrcText, "00000000");
        EXPECT_EQ(items[0].Size, 0);
    }

    // Both rules: the SNES size rule still drops, the kept ROM loses 16 bytes.
    const std::string snes = RandomBytes(1049088, 8);
    test::WriteBytes(dir.File("both.smc"), snes);
    items = Collected(dir.File("both.smc"), {.Snes = true, .Nes = true, .RemoveBadSize = true});
    ASSERT_EQ(std::ssize(items), 1);
    EXPECT_EQ(items[0].CrcText, ExpectedCrc(snes, 16));
    EXPECT_EQ(items[0].Size, 1049088 - 16);
    items = Collected(dir.File("game.nes"), {.Snes = true, .Nes = true, .RemoveBadSize = true});
    EXPECT_EQ(std::ssize(items), 0); // 40976 = 5 * 8192 + 16: header 16 is not 0 or 512
}

TEST(Crc32, TxtFilesAreSkippedOnlyWhenAsked) {
    TScratchDirectory dir;
    test::WriteBytes(dir.File("Notes.TXT"), "read me");
    EXPECT_EQ(std::ssize(Collected(dir.File("Notes.TXT"), {.SkipTxt = true})), 0);
    const auto items = Collected(dir.File("Notes.TXT"), {});
    ASSERT_EQ(std::ssize(items), 1);
    EXPECT_EQ(items[0].CrcText, ExpectedCrc("read me", 0));
}

TEST(Crc32, ZipFileWithoutZipModeIsChecksummedAsItIs) {
    TScratchDirectory dir;
    const std::string bytes = "PK\x05\x06" + std::string(18, '\0'); // an empty archive
    test::WriteBytes(dir.File("GAME.ZIP"), bytes);
    const auto items = Collected(dir.File("GAME.ZIP"), {.Nes = true});
    ASSERT_EQ(std::ssize(items), 1);
    EXPECT_EQ(items[0].Name, dir.File("GAME.ZIP"));
    EXPECT_EQ(items[0].CrcText, ExpectedCrc(bytes, 16));
    EXPECT_EQ(items[0].Size, 6);
}

TEST(Crc32, LinkToARegularFileIsFollowed) {
    TScratchDirectory dir;
    const std::string bytes = RandomBytes(3000, 3);
    test::WriteBytes(dir.File("real.bin"), bytes);
    fs::create_symlink(dir.File("real.bin"), dir.File("link.bin"));
    const auto items = Collected(dir.File("link.bin"), {});
    ASSERT_EQ(std::ssize(items), 1);
    EXPECT_EQ(items[0].Name, dir.File("link.bin"));
    EXPECT_EQ(items[0].CrcText, ExpectedCrc(bytes, 0));
}

// Faults a scan must survive: each raises a clear error naming the file,
// instead of blocking, reporting CRC 00000000 or a wrapped size.

TEST(Crc32, FifoDirectoryAndLinkToAFifoAreRefusedWithoutBlocking) {
    TScratchDirectory dir;
    const std::string fifo = dir.File("pipe.nes");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(dir.File("folder.smc"));
    fs::create_symlink(fifo, dir.File("to-pipe.nes"));
    for (const std::string& path : {fifo, dir.File("folder.smc"), dir.File("to-pipe.nes")}) {
        TCrc32 collector;
        collector.SetFileName(path);
        collector.NesMode = true;
        try {
            collector.Collect();
            FAIL() << path << ": no exception";
        } catch (const ECrcFileError& error) {
            EXPECT_EQ(std::string(error.what()), "File \"" + path + "\" is not a regular file");
        }
        EXPECT_EQ(collector.Count(), 0);
    }
}

// An empty file is not opened, but one that may not be read still fails.
TEST(Crc32, UnreadableEmptyFileIsRefused) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    TScratchDirectory dir;
    test::WriteBytes(dir.File("empty.nes"), "");
    fs::permissions(dir.File("empty.nes"), fs::perms::none);
    EXPECT_THROW(Collected(dir.File("empty.nes"), {}), ECrcFileError);
}

TEST(Crc32, FileThatEndsBeforeItsSizeRaisesAnError) {
    // Kernel attribute files announce a page but deliver a few bytes: a file
    // that cannot be read completely.
    const std::string path = "/sys/kernel/uevent_seqnum";
    if (::access(path.c_str(), R_OK) != 0) {
        GTEST_SKIP() << path << " is not readable here";
    }
    TCrc32 collector;
    collector.SetFileName(path);
    try {
        collector.Collect();
        FAIL() << "no exception";
    } catch (const ECrcFileError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("\"" + path + "\""), std::string::npos) << message;
        EXPECT_NE(message.find("of 4096 bytes"), std::string::npos) << message;
    }
    EXPECT_EQ(collector.Count(), 0);
}

// Disc images pass 2 and 4 GiB: a size is neither refused nor wrapped, and
// the SNES rule sees the whole of it (one file: reading its hole costs the
// kernel about a second a gibibyte).
TEST(Crc32, FilesPastFourGibibytesKeepTheirSizes) {
    TScratchDirectory dir;
    const std::string path = dir.File("disc.iso");
    test::WriteBytes(path, "");
    fs::resize_file(path, (uint64_t{4} << 30) + 512); // sparse: takes no disk space
    TCrc32 collector;
    collector.SetFileName(path);
    collector.SnesMode = true;
    collector.Collect();
    ASSERT_EQ(collector.Count(), 1);
    EXPECT_EQ(collector.Items(0).Size, int64_t{4} << 30);
    EXPECT_EQ(collector.Items(0).CrcText.size(), 8u);
}

namespace {

// A container of members given by hand: records what the collector asks of it.
class TFakeSource final : public IMemberSource {
public:
    struct TEntry {
        std::string Name;
        std::string Bytes;
        bool HoldsRom = true;
    };
    explicit TFakeSource(std::vector<TEntry> entries, bool upperCase = false)
        : entries_(std::move(entries)), upperCase_(upperCase) {}
    bool Next(TMember& member) override {
        if (handedOut >= entries_.size()) {
            return false;
        }
        const TEntry& entry = entries_[handedOut++];
        member = {entry.Name, "On Disk/" + entry.Name, entry.Bytes.size(), entry.HoldsRom};
        return true;
    }
    TMemberResult Read(const TMember& member, const TCut& cut, TRomHashes* hashes) override {
        reads.push_back(member.Name + "@" + std::to_string(cut.Start));
        const std::string& bytes = entries_[handedOut - 1].Bytes;
        const std::string rest = bytes.substr(std::min<size_t>(cut.Start, bytes.size()));
        if (hashes != nullptr) {
            hashes->Update(std::as_bytes(std::span(rest.data(), rest.size())));
        }
        uint32_t crc = CrcInit;
        CrcUpdateReference(rest.data(), 0, rest.size(), crc);
        return {~crc, static_cast<int64_t>(rest.size()), "rules.xml"};
    }
    bool UpperCaseCrc() const override { return upperCase_; }

    size_t handedOut = 0;
    std::vector<std::string> reads;

private:
    std::vector<TEntry> entries_;
    bool upperCase_;
};

} // namespace

// Every source's members take the same steps in the collector: the .txt
// rule, the mode's cut, the size rule that ends the source, no row for an
// entry that holds no ROM, the CRC's case, digests of the cut bytes.
TEST(Crc32, EveryMemberSourceTakesTheSameSteps) {
    const std::string rom = RandomBytes(8192 + 512, 7);
    const struct {
        const char* what;
        TCollectorFlags flags;
        std::vector<TFakeSource::TEntry> entries;
        bool upperCase;
        std::vector<std::string> reads;
        size_t handedOut;
    } cases[] = {
        {"txt skipped when asked",
         {.SkipTxtFiles = true},
         {{"notes.TXT", "x"}, {"a.nes", "abc"}},
         false,
         {"a.nes@0"},
         2},
        {"txt read otherwise", {}, {{"notes.txt", "x"}}, false, {"notes.txt@0"}, 1},
        {"nes cut", {.NesMode = true}, {{"a.nes", rom}}, false, {"a.nes@16"}, 1},
        {"snes cut", {.SnesMode = true}, {{"a.smc", rom}}, false, {"a.smc@512"}, 1},
        {"bad size ends the source",
         {.SnesMode = true, .RemoveBadSize = true},
         {{"a.smc", rom}, {"short.smc", "abc"}, {"never.smc", rom}},
         false,
         {"a.smc@512"},
         2},
        {"no rom, no read", {}, {{"link", "", false}, {"b.bin", "b"}}, true, {"b.bin@0"}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TCrc32 collector;
        collector.SetFlags(c.flags);
        TFakeSource source(c.entries, c.upperCase);
        collector.Take(source);
        EXPECT_EQ(source.reads, c.reads);
        EXPECT_EQ(source.handedOut, c.handedOut);
        ASSERT_EQ(collector.Count(), static_cast<int>(c.reads.size()));
        const TCrcItem& item = collector.Items(collector.Count() - 1);
        EXPECT_EQ(item.Detector, "rules.xml");
        EXPECT_EQ(item.NameOnDisk, "On Disk/" + item.Name);
        const std::string crc = item.CrcText;
        EXPECT_EQ(crc, c.upperCase ? UpperCase(crc) : LowerCase(crc));
    }

    TCrc32 hashing;
    hashing.Hashes.Md5 = true;
    hashing.NesMode = true;
    TFakeSource source({{"a.nes", std::string(16, 'h') + "abc"}});
    hashing.Take(source);
    ASSERT_EQ(hashing.Count(), 1);
    EXPECT_EQ(hashing.Items(0).Md5, "900150983cd24fb0d6963f7d28e17f72")
        << "digests of the cut bytes";
    EXPECT_EQ(hashing.Items(0).Size, 3);
}
