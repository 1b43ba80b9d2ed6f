// Members read whole in memory, for their digests: damage is named, and
// nothing is written to the temporary folder.
#include "core/scan/Crc32.h"

#include "tests/support/EnvironmentOverride.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <string>

using namespace tabula;
using tabula::test::ReadBytes;
using tabula::test::TestDataFile;
using tabula::test::TScratchDirectory;

namespace {

struct TMode {
    const char* Name;
    bool Nes;
    bool Snes;
};
constexpr TMode Modes[] = {{"normal", false, false}, {"NES", true, false}, {"SNES", false, true}};

// The message Collect fails with, or "" when it does not; the rows before
// the failure are kept in items.
std::string CollectWithHashes(const std::string& path, const TMode& mode, int& items) {
    TCrc32 collector;
    collector.SetFileName(path);
    collector.ZipMode = true;
    collector.NesMode = mode.Nes;
    collector.SnesMode = mode.Snes;
    collector.TrustZipCrc = true; // no help with digests asked
    collector.Hashes = {true, true};
    std::string failure;
    try {
        collector.Collect();
    } catch (const ECrcZipError& error) {
        failure = error.what();
    }
    items = collector.Count();
    return failure;
}

} // namespace

// The data was changed and the stored CRC kept, or the data no longer
// decompresses: in every mode a failure names the archive and the member,
// and the rows before it stay.
TEST(MemberData, DamagedDataIsANamedFailureInEveryMode) {
    TScratchDirectory roms;
    TScratchDirectory temp;
    const test::TEnvironmentOverride tmpdir("TMPDIR", temp.Path().string());

    test::TBuiltZip stored = test::BuildZip(
        {{"good.nes", test::PatternBytes(4112, 'g')}, {"bad.nes", test::PatternBytes(4112, 'b')}});
    const size_t data = stored.Bytes.find("bad.nes") + 7 + 100;
    stored.Bytes[data] = static_cast<char>(stored.Bytes[data] ^ 0x55);
    test::WriteTestFile(roms, "stored.zip", stored.Bytes);

    // A deflated member made by Info-ZIP, one byte of its stream changed.
    std::string deflated = ReadBytes(TestDataFile("unzip/infozip-deflated.zip"));
    deflated[deflated.find("Hero Quest (E).nes") + 18 + 2000] ^= 0x20;
    test::WriteTestFile(roms, "deflated.zip", deflated);

    const struct {
        const char* Archive;
        std::string Member;
        int ItemsBefore;
    } cases[] = {{"stored.zip", "bad.nes", 1}, {"deflated.zip", "games\\hero quest (e).nes", 0}};
    for (const TMode& mode : Modes) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(mode.Name) + ", " + c.Archive);
            int items = -1;
            const std::string failure = CollectWithHashes(roms.File(c.Archive), mode, items);
            const std::string named =
                std::string("File \"") + c.Archive + "\": member \"" + c.Member + "\": ";
            EXPECT_EQ(failure.rfind(named, 0), 0u) << failure;
            EXPECT_EQ(items, c.ItemsBefore);
        }
    }
    EXPECT_TRUE(temp.Entries().empty());
}

// Digests never come from the directory: a member is read, so one whose
// stored CRC is right gives the CRC the directory states in normal mode.
TEST(MemberData, ReadMembersKeepTheDirectoryCrcAndWriteNothing) {
    TScratchDirectory temp;
    const test::TEnvironmentOverride tmpdir("TMPDIR", temp.Path().string());
    for (const char* archive : {"unzip/7z-deflated.zip", "unzip/python-stored.zip"}) {
        SCOPED_TRACE(archive);
        TCrc32 collector;
        collector.SetFileName(TestDataFile(archive));
        collector.ZipMode = true;
        collector.SkipTxtFiles = true;
        collector.Hashes = {true, false};
        collector.Collect();
        ASSERT_EQ(collector.Count(), 1); // readme.txt is skipped
        EXPECT_EQ(collector.Items(0).CrcText, "7349b07c");
        EXPECT_EQ(collector.Items(0).Md5.size(), 32u);
        EXPECT_TRUE(collector.Items(0).Sha1.empty());
    }
    EXPECT_TRUE(temp.Entries().empty());
}
