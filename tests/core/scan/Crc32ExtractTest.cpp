// Members whose header must be cut: extracted into the collector's own
// directory, checksummed there and removed again.
#include "core/scan/Crc32.h"

#include "core/text/StringsTools.h"
#include "tests/support/EnvironmentOverride.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace tabula;
using tabula::test::BuildZip;
using tabula::test::TScratchDirectory;

namespace fs = std::filesystem;

namespace {

std::string Crc(const std::string& data) {
    return LowerCase(HexText(test::TestCrc32(data)));
}

// Every test runs with $TMPDIR in a scratch directory of its own, so that
// anything left behind shows, and checks the current directory is restored.
class Crc32Extract : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(fs::current_path(), before_);
        EXPECT_EQ(temp_.Entries(), keep_) << "left behind in the temporary directory";
    }

    std::string Archive(const std::string& name, const std::vector<test::TTestMember>& members) {
        return test::WriteTestFile(roms_, name, BuildZip(members).Bytes);
    }

    TScratchDirectory roms_;
    TScratchDirectory temp_;
    const test::TEnvironmentOverride tmpdir_{"TMPDIR", temp_.Path().string()};
    const fs::path before_ = fs::current_path();
    std::vector<std::string> keep_; // what the test itself put there
};

} // namespace

TEST_F(Crc32Extract, NesModeExtractsEveryMemberAndCutsSixteenBytes) {
    const std::string one = test::PatternBytes(40976, 'a');
    const std::string two = test::PatternBytes(24592, 'b');
    const std::string path =
        Archive("Set.zip",
                {{"Games/Hero Quest (E).NES", one}, {"tiny.nes", "0123456789"}, {"Two.nes", two}});
    TCrc32 collector;
    collector.SetFileName(path);
    collector.ZipMode = true;
    collector.NesMode = true;
    collector.Collect();
    ASSERT_EQ(collector.Count(), 3);
    EXPECT_EQ(collector.Items(0).Name, "games\\hero quest (e).nes");
    EXPECT_EQ(collector.Items(0).CrcText, Crc(one.substr(16)));
    EXPECT_EQ(collector.Items(0).Size, 40960);
    EXPECT_EQ(collector.Items(1).CrcText, "00000000");
    EXPECT_EQ(collector.Items(1).Size, 0);
    EXPECT_EQ(collector.Items(2).CrcText, Crc(two.substr(16)));
    EXPECT_EQ(collector.Items(2).Size, 24576);
}

TEST_F(Crc32Extract, SnesModeExtractsOnlyMembersWithAHeader) {
    const std::string headed = test::PatternBytes(1049088, 'h');
    const std::string plain = test::PatternBytes(16384, 'p');
    test::TBuiltZip zip = BuildZip({{"headed.smc", headed}, {"plain.smc", plain}});
    // The directory's CRC for the plain member is wrong on purpose: it is
    // still reported, which shows that member was never extracted.
    test::PutU32(zip.Bytes, zip.CentralHeaders[1] + 16, 0x12345678);
    const std::string path = test::WriteTestFile(roms_, "snes.zip", zip.Bytes);
    TCrc32 collector;
    collector.SetFileName(path);
    collector.ZipMode = true;
    collector.SnesMode = true;
    collector.RemoveBadSize = true;
    collector.Collect();
    ASSERT_EQ(collector.Count(), 2);
    EXPECT_EQ(collector.Items(0).CrcText, Crc(headed.substr(512)));
    EXPECT_EQ(collector.Items(0).Size, 1048576);
    EXPECT_EQ(collector.Items(1).CrcText, "12345678");
    EXPECT_EQ(collector.Items(1).Size, 16384);
}

TEST_F(Crc32Extract, FileOfTheSameNameInTheTemporaryDirectoryIsNeitherReadNorDeleted) {
    test::WriteBytes(temp_.File("game.nes"), "someone else's file");
    keep_ = {"game.nes"};
    const std::string rom = test::PatternBytes(8208, 'g');
    const std::string path = Archive("game.zip", {{"GAME.NES", rom}});
    TCrc32 collector;
    collector.SetFileName(path);
    collector.ZipMode = true;
    collector.NesMode = true;
    collector.Collect();
    ASSERT_EQ(collector.Count(), 1);
    EXPECT_EQ(collector.Items(0).CrcText, Crc(rom.substr(16)));
    EXPECT_EQ(test::ReadBytes(temp_.File("game.nes")), "someone else's file");
}

TEST_F(Crc32Extract, CrcErrorNamesTheMemberKeepsEarlierItemsAndLeavesNoCopy) {
    const std::string good = test::PatternBytes(4112, 'o');
    test::TBuiltZip zip = BuildZip({{"good.nes", good},
                                    {"bad.nes", test::PatternBytes(4112, 'x')},
                                    {"later.nes", test::PatternBytes(100, 'l')}});
    // Damage one byte of the second member's stored data; its CRC stays.
    const size_t dataOfBad = zip.Bytes.find("bad.nes") + 7 + 100;
    zip.Bytes[dataOfBad] = static_cast<char>(zip.Bytes[dataOfBad] ^ 0x55);
    const std::string path = test::WriteTestFile(roms_, "damaged.zip", zip.Bytes);
    TCrc32 collector;
    collector.SetFileName(path);
    collector.ZipMode = true;
    collector.NesMode = true;
    try {
        collector.Collect();
        FAIL() << "no exception";
    } catch (const ECrcZipError& error) {
        EXPECT_EQ(std::string(error.what()), "File \"damaged.zip\": member \"bad.nes\": Bad crc");
    }
    ASSERT_EQ(collector.Count(), 1);
    EXPECT_EQ(collector.Items(0).Name, "good.nes");
    EXPECT_EQ(collector.Items(0).CrcText, Crc(good.substr(16)));
    EXPECT_FALSE(fs::exists(roms_.File("bad.nes")));
}

TEST_F(Crc32Extract, RelativeArchivePathIsFoundFromTheExtractionDirectory) {
    const std::string rom = test::PatternBytes(1040, 'r');
    Archive("rel.zip", {{"rel.nes", rom}});
    fs::current_path(roms_.Path());
    TCrc32 collector;
    collector.SetFileName("rel.zip");
    collector.ZipMode = true;
    collector.NesMode = true;
    collector.Collect();
    EXPECT_EQ(fs::current_path(), roms_.Path());
    fs::current_path(before_);
    ASSERT_EQ(collector.Count(), 1);
    EXPECT_EQ(collector.Items(0).CrcText, Crc(rom.substr(16)));
}

TEST_F(Crc32Extract, EachMemberIsExtractedAsItselfOrRefusedByName) {
    const std::string x = test::PatternBytes(4096, 'x');
    const std::string y = test::PatternBytes(4096, 'y');
    struct TCase {
        const char* Label;
        std::vector<test::TTestMember> Members;
        size_t Items;      // items collected
        const char* Fails; // in the failure's message; nullptr when none
    };
    const TCase cases[] = {
        {"case", {{"A.nes", x}, {"a.nes", y}}, 2, nullptr},
        {"separator", {{"d/r.nes", x}, {"d\\r.nes", y}}, 2, nullptr},
        {"NUL", {{"a.nes", x}, {std::string("a.nes\0hidden.nes", 16), y}}, 1, "NUL byte"},
        {"twice", {{"a.nes", x}, {"a.nes", y}}, 1, "stored twice"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        TCrc32 collector;
        collector.SetFileName(Archive("set.zip", c.Members));
        collector.ZipMode = true;
        collector.NesMode = true;
        if (c.Fails == nullptr) {
            collector.Collect();
        } else {
            try {
                collector.Collect();
                ADD_FAILURE() << "no failure";
            } catch (const ECrcZipError& error) {
                EXPECT_NE(std::string(error.what()).find(c.Fails), std::string::npos)
                    << error.what();
                EXPECT_NE(std::string(error.what()).find("\"set.zip\""), std::string::npos);
            }
        }
        ASSERT_EQ(collector.Count(), static_cast<int>(c.Items));
        EXPECT_EQ(collector.Items(0).CrcText, Crc(x.substr(16)));
        if (c.Items > 1) {
            EXPECT_EQ(collector.Items(1).CrcText, Crc(y.substr(16)));
        }
    }
}

TEST_F(Crc32Extract, OverlappingMembersRefuseTheArchiveInEveryMode) {
    // Eight entries pointing at one member's header and data: extracting
    // them all would write its data eight times.
    std::vector<test::TTestMember> members;
    for (int i = 0; i < 8; ++i) {
        members.emplace_back("rom" + std::to_string(i) + ".nes", test::PatternBytes(8192, 'r'));
    }
    test::TBuiltZip zip = BuildZip(members);
    for (size_t k = 1; k < zip.CentralHeaders.size(); ++k) {
        zip.Bytes.replace(zip.CentralHeaders[k] + 42, 4, zip.Bytes, zip.CentralHeaders[0] + 42, 4);
    }
    for (const bool nes : {true, false}) {
        SCOPED_TRACE(nes);
        // Disk numbers mean nothing in a single archive: they hide nothing.
        for (size_t k = 0; k < zip.CentralHeaders.size(); ++k) {
            test::PutU16(zip.Bytes, zip.CentralHeaders[k] + 34, static_cast<uint16_t>(nes ? k : 0));
        }
        const std::string path = test::WriteTestFile(roms_, "bomb.zip", zip.Bytes);
        TCrc32 collector;
        collector.SetFileName(path);
        collector.ZipMode = true;
        collector.NesMode = nes;
        try {
            collector.Collect();
            ADD_FAILURE() << "no failure";
        } catch (const ECrcZipError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find("\"bomb.zip\""), std::string::npos) << message;
            EXPECT_NE(message.find("overlapping entries"), std::string::npos) << message;
        }
        EXPECT_EQ(collector.Count(), 0);
    }
}
