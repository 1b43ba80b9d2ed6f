#include "core/scan/Crc32.h"

#include "core/text/StringsTools.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace tabula;
using tabula::test::BuildZip;
using tabula::test::TScratchDirectory;
using tabula::test::TTestMember;

namespace {

struct TOptions {
    bool Snes = false;
    bool Nes = false;
    bool RemoveBadSize = false;
    bool SkipTxt = false;
};

std::vector<TCrcItem> CollectArchive(const std::string& path, const TOptions& options) {
    TCrc32 collector;
    collector.SetFileName(path);
    collector.ZipMode = true;
    collector.SnesMode = options.Snes;
    collector.NesMode = options.Nes;
    collector.RemoveBadSize = options.RemoveBadSize;
    collector.SkipTxtFiles = options.SkipTxt;
    collector.Collect();
    return collector.ItemList();
}

std::string Crc(const std::string& data) {
    return LowerCase(HexText(test::TestCrc32(data)));
}

std::vector<std::string> Names(const std::vector<TCrcItem>& items) {
    std::vector<std::string> names;
    for (const auto& item : items) {
        names.push_back(item.Name);
    }
    return names;
}

// Central header field offsets.
constexpr size_t CrcField = 16;
constexpr size_t UncompressedSizeField = 24;

} // namespace

TEST(Crc32Archive, NormalModeTakesCrcAndSizeFromTheDirectory) {
    TScratchDirectory dir;
    test::TBuiltZip zip = BuildZip({{"Sub/Game One.NES", std::string(3000, 'a')},
                                    {"two.bin", "second member"},
                                    {"Three.SMC", std::string(8192, 'c')}});
    // The directory's word is taken as it is: nothing is decompressed to check it.
    test::PutU32(zip.Bytes, zip.CentralHeaders[1] + CrcField, 0x00ABCDEF);
    const std::string path = test::WriteTestFile(dir, "GAME.ZIP", zip.Bytes);

    const auto items = CollectArchive(path, {});
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(Names(items),
              (std::vector<std::string>{"sub\\game one.nes", "two.bin", "three.smc"}));
    EXPECT_EQ(items[0].CrcText, Crc(std::string(3000, 'a')));
    EXPECT_EQ(items[0].Size, 3000);
    EXPECT_EQ(items[1].CrcText, "00abcdef");
    EXPECT_EQ(items[1].Size, 13);
    EXPECT_EQ(items[2].CrcText, Crc(std::string(8192, 'c')));
    EXPECT_EQ(items[2].Size, 8192);
}

TEST(Crc32Archive, ArchiveWithoutMembersYieldsNothing) {
    TScratchDirectory dir;
    const std::string path = test::WriteTestFile(dir, "empty.zip", BuildZip({}).Bytes);
    EXPECT_TRUE(CollectArchive(path, {}).empty());
    EXPECT_TRUE(CollectArchive(path, {.Nes = true}).empty());
}

TEST(Crc32Archive, TxtMemberIsSkippedAndLaterMembersAreRead) {
    TScratchDirectory dir;
    const std::string path = test::WriteTestFile(
        dir, "set.zip",
        BuildZip({{"a.bin", "a"}, {"docs\\ReadMe.TXT", "notes"}, {"b.bin", "b"}}).Bytes);
    EXPECT_EQ(Names(CollectArchive(path, {.SkipTxt = true})),
              (std::vector<std::string>{"a.bin", "b.bin"}));
    EXPECT_EQ(Names(CollectArchive(path, {})),
              (std::vector<std::string>{"a.bin", "docs\\readme.txt", "b.bin"}));
}

TEST(Crc32Archive, SnesSizeRuleStopsTheWholeArchive) {
    TScratchDirectory dir;
    const std::string path = test::WriteTestFile(dir, "snes.zip",
                                                 BuildZip({{"first.smc", std::string(8192, '1')},
                                                           {"short.smc", std::string(4000, '2')},
                                                           {"third.smc", std::string(16384, '3')}})
                                                     .Bytes);
    const auto items = CollectArchive(path, {.Snes = true, .RemoveBadSize = true});
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].Name, "first.smc");
    EXPECT_EQ(items[0].Size, 8192);
}

TEST(Crc32Archive, FolderEntriesYieldNothingAndStopNothing) {
    TScratchDirectory dir;
    const std::string path = test::WriteTestFile(
        dir, "folders.zip",
        BuildZip({{"roms/", ""}, {"roms/game.smc", std::string(8192, 'g')}, {"roms/more\\", ""}})
            .Bytes);
    // A folder has size 0: taken for a ROM it would end the archive here.
    const auto items = CollectArchive(path, {.Snes = true, .RemoveBadSize = true});
    EXPECT_EQ(Names(items), std::vector<std::string>{"roms\\game.smc"});
    EXPECT_EQ(Names(CollectArchive(path, {})), std::vector<std::string>{"roms\\game.smc"});

    // Nor is a folder extracted in NES mode.
    const std::string only =
        test::WriteTestFile(dir, "only.zip", BuildZip({{"a/", ""}, {"a/b/", ""}}).Bytes);
    EXPECT_TRUE(CollectArchive(only, {.Nes = true}).empty());
}

TEST(Crc32Archive, UnreadableDirectoryRaisesAnErrorNamingTheArchive) {
    TScratchDirectory dir;
    const std::string path = test::WriteTestFile(dir, "Broken.zip", std::string(300, 'x'));
    TCrc32 collector;
    collector.SetFileName(path);
    collector.ZipMode = true;
    try {
        collector.Collect();
        FAIL() << "no exception";
    } catch (const ECrcZipError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "File \"Broken.zip\": This archive is not a valid Zip archive");
    }
    EXPECT_EQ(collector.Count(), 0);
}

TEST(Crc32Archive, MemberOfTwoGibibytesGivesItsStatedSize) {
    TScratchDirectory dir;
    test::TBuiltZip zip = BuildZip({{"ok.bin", "fine"}, {"huge.bin", "x"}, {"late.bin", "z"}});
    test::PutU32(zip.Bytes, zip.CentralHeaders[1] + UncompressedSizeField, 0xC0000000u);
    const std::string path = test::WriteTestFile(dir, "big.zip", zip.Bytes);
    TCrc32 collector;
    collector.SetFileName(path);
    collector.ZipMode = true;
    collector.Collect();
    ASSERT_EQ(collector.Count(), 3);
    EXPECT_EQ(collector.Items(1).Size, int64_t{3} << 30);
}
