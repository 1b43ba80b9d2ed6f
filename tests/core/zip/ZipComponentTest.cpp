#include "core/zip/ZipComponent.h"
#include "core/zip/ZipMessages.h"

#include "tests/support/RecordingZipUi.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tabula;
using namespace tabula::test;

namespace {

std::vector<TTestMember> ThreeMembers() {
    return {TTestMember("a.nes", "first rom"), TTestMember("dir/rom.nes", "second"),
            TTestMember("c.bin", std::string(300, 'x')).WithComment("note")};
}

// Lists bytes as an archive, recording messages, directory updates and boxes.
struct TListing {
    TScratchDirectory Dir;
    TRecordingZipUi Ui;
    TZipComponent Zip{&Ui};
    std::vector<std::pair<int, std::string>> Messages;
    int DirUpdates = 0;

    TListing() {
        Zip.SetOnMessage([this](TZipComponent&, int code, const std::string& text) {
            Messages.emplace_back(code, text);
        });
        Zip.SetOnDirUpdate([this](TZipComponent&) { ++DirUpdates; });
    }
    void List(const std::string& bytes) {
        Zip.SetErrCode(0);
        Zip.SetZipFilename(WriteTestFile(Dir, "test.zip", bytes));
    }
};

} // namespace

TEST(ZipComponent, ListsEveryMemberWithItsFields) {
    TListing t;
    t.List(BuildZip(ThreeMembers()).Bytes);
    EXPECT_EQ(t.Zip.ErrCode(), 0) << t.Zip.Message();
    ASSERT_EQ(t.Zip.Count(), 3);
    const auto entries = t.Zip.DirEntries();
    EXPECT_EQ(entries[0].FileName, "a.nes");
    EXPECT_EQ(entries[0].Crc, TestCrc32("first rom"));
    EXPECT_EQ(entries[0].UncompressedSize, 9u);
    EXPECT_EQ(entries[1].FileName, "dir\\rom.nes");
    EXPECT_EQ(entries[1].RawFileName, "dir/rom.nes");
    EXPECT_EQ(entries[1].LocalHeaderOffset, 44u);
    EXPECT_EQ(entries[2].CompressedSize, 300u);
    EXPECT_EQ(entries[2].FileComment, "note");
    EXPECT_EQ(entries[2].VersionMadeBy, 0x031E);
    EXPECT_EQ(entries[2].ExternalAttributes, 0x81A40000u);
    EXPECT_EQ(t.DirUpdates, 1);
    EXPECT_EQ(t.Ui.BusyCalls, (std::vector<bool>{true, false}));
    EXPECT_TRUE(t.Ui.Shown.empty());
    EXPECT_FALSE(t.Zip.MultiVolume());
}

TEST(ZipComponent, ListingAgainReplacesTheEntriesAndNeverClearsErrCode) {
    TListing t;
    t.List(BuildZip(ThreeMembers()).Bytes);
    t.Zip.SetErrCode(1234);
    t.Zip.SetZipFilename(WriteTestFile(t.Dir, "one.zip", BuildZip({TTestMember("x", "y")}).Bytes));
    EXPECT_EQ(t.Zip.Count(), 1);
    EXPECT_EQ(t.Zip.ErrCode(), 1234);
    EXPECT_EQ(t.DirUpdates, 2);
}

TEST(ZipComponent, MissingFileListsNothingAndReportsNothing) {
    TListing t;
    t.Zip.SetErrCode(77);
    const std::string path = t.Dir.File("absent.zip");
    t.Zip.SetZipFilename(path);
    EXPECT_EQ(t.Zip.Count(), 0);
    EXPECT_EQ(t.Zip.ErrCode(), 77);
    EXPECT_EQ(t.Zip.ZipFilename(), path);
    EXPECT_EQ(t.DirUpdates, 1);
    EXPECT_TRUE(t.Ui.BusyCalls.empty());
    // A directory is not a file either.
    t.Zip.SetZipFilename(t.Dir.Path().string());
    EXPECT_EQ(t.Zip.ErrCode(), 77);
}

TEST(ZipComponent, EmptyArchiveHasNoEntriesAndNoError) {
    TListing t;
    t.List(BuildZip({}).Bytes);
    EXPECT_EQ(t.Zip.ErrCode(), 0);
    EXPECT_EQ(t.Zip.Count(), 0);
    EXPECT_FALSE(t.Zip.ZipFilename().empty());
}

TEST(ZipComponent, ArchiveCommentIsFoundAndCutAtItsFirstZero) {
    TListing t;
    t.List(BuildZip(ThreeMembers(), std::string("made for tests\0hidden", 21)).Bytes);
    EXPECT_EQ(t.Zip.ErrCode(), 0);
    EXPECT_EQ(t.Zip.ArchiveComment(), "made for tests");
    EXPECT_EQ(t.Zip.Count(), 3);
}

TEST(ZipComponent, PrependedDataWarnsAndStillReadsEveryEntry) {
    TListing t;
    t.List(std::string(1000, 'S') + BuildZip(ThreeMembers()).Bytes);
    EXPECT_EQ(t.Zip.ErrCode(), ZipMsg::StructureWarning);
    EXPECT_EQ(t.Zip.Message(), "Warning - Error in zip structure!");
    EXPECT_EQ(t.Zip.Count(), 3);
    EXPECT_EQ(t.Messages.size(), 1u);
    EXPECT_TRUE(t.Ui.Shown.empty());
}

TEST(ZipComponent, TrailingBytesWarnUnlessTheyAreBlockPadding) {
    const std::string zip = BuildZip(ThreeMembers(), "c").Bytes;
    const size_t toBlock = 512 - zip.size() % 512;
    struct TCase {
        const char* Name;
        std::string Tail;
        int Code;
    };
    const TCase cases[] = {
        {"zero padding to a block", std::string(toBlock, '\0'), 0},
        {"padding one byte short", std::string(toBlock - 1, '\0'), ZipMsg::GarbageWarning},
        {"a full block of zeros", std::string(toBlock + 512, '\0'), ZipMsg::GarbageWarning},
        {"non-zero padding", std::string(toBlock - 1, '\0') + "x", ZipMsg::GarbageWarning},
        {"text after the archive", "trailing", ZipMsg::GarbageWarning},
    };
    for (const TCase& c : cases) {
        TListing t;
        t.List(zip + c.Tail);
        EXPECT_EQ(t.Zip.ErrCode(), c.Code) << c.Name;
        EXPECT_EQ(t.Zip.Count(), 3) << c.Name;
        EXPECT_EQ(t.Zip.ArchiveComment(), "c") << c.Name;
    }
}

TEST(ZipComponent, CommentRunningPastTheEndKeepsOnlyItsBytes) {
    TListing t;
    std::string zip = BuildZip(ThreeMembers(), "partial").Bytes;
    PutU16(zip, zip.size() - 7 - 2, 200);
    t.List(zip);
    EXPECT_EQ(t.Zip.ErrCode(), ZipMsg::GarbageWarning);
    EXPECT_EQ(t.Zip.ArchiveComment(), "partial");
    EXPECT_EQ(t.Zip.Count(), 3);
}

TEST(ZipComponent, NotAnArchiveFailsWithoutABox) {
    for (const std::string& bytes : {std::string("hello, not a zip at all"), std::string("PK"),
                                     std::string(), std::string(70000, 'z')}) {
        TListing t;
        t.List(bytes);
        EXPECT_EQ(t.Zip.ErrCode(), ZipMsg::NotZipArchive) << bytes.size();
        EXPECT_EQ(t.Zip.Message(), "This archive is not a valid Zip archive");
        EXPECT_TRUE(t.Zip.ZipFilename().empty());
        EXPECT_EQ(t.Zip.Count(), 0);
        EXPECT_TRUE(t.Ui.Shown.empty());
        EXPECT_EQ(t.DirUpdates, 1);
        EXPECT_EQ(t.Ui.BusyCalls, (std::vector<bool>{true, false}));
    }
}

// One field of a good archive changed; the listing must fail with the code
// and leave nothing counted.
TEST(ZipComponent, BrokenFieldsFailWithTheirCodes) {
    const TBuiltZip good = BuildZip(ThreeMembers());
    const size_t second = good.CentralHeaders[1];
    const size_t last = good.CentralHeaders[2];
    struct TCase {
        const char* Name;
        void (*Break)(std::string&, const TBuiltZip&, size_t, size_t);
        int Code;
    };
    const TCase cases[] = {
        {"central signature",
         [](std::string& z, const TBuiltZip&, size_t s, size_t) { PutU32(z, s, 0x02014b51); },
         ZipMsg::CentralSignature},
        {"entry count above the headers",
         [](std::string& z, const TBuiltZip& g, size_t, size_t) { PutU16(z, g.EndRecord + 10, 4); },
         ZipMsg::CentralHeaderRead},
        {"entry count at its maximum",
         [](std::string& z, const TBuiltZip& g, size_t, size_t) {
             PutU16(z, g.EndRecord + 10, 0xFFFF);
         },
         ZipMsg::CentralHeaderRead},
        {"name length past the end of the file",
         [](std::string& z, const TBuiltZip&, size_t, size_t l) { PutU16(z, l + 28, 0xFFFF); },
         ZipMsg::CentralNameRead},
        {"name length into the next header",
         [](std::string& z, const TBuiltZip&, size_t s, size_t) { PutU16(z, s + 28, 20); },
         ZipMsg::CentralSignature},
        {"comment length past the end of the file",
         [](std::string& z, const TBuiltZip&, size_t, size_t l) { PutU16(z, l + 32, 0xFFFF); },
         ZipMsg::FileCommentRead},
        {"directory size larger than the file",
         [](std::string& z, const TBuiltZip& g, size_t, size_t) {
             PutU32(z, g.EndRecord + 12, 0xFFFFFF00);
         },
         ZipMsg::SeekError},
        {"directory size too small",
         [](std::string& z, const TBuiltZip& g, size_t, size_t) {
             PutU32(z, g.EndRecord + 12, 50);
         },
         ZipMsg::CentralSignature},
        {"extra length past the end before another header",
         [](std::string& z, const TBuiltZip&, size_t s, size_t) { PutU16(z, s + 30, 0xFFFF); },
         ZipMsg::CentralHeaderRead},
    };
    for (const TCase& c : cases) {
        std::string bytes = good.Bytes;
        c.Break(bytes, good, second, last);
        TListing t;
        t.List(bytes);
        EXPECT_EQ(t.Zip.ErrCode(), c.Code) << c.Name << ": " << t.Zip.Message();
        EXPECT_EQ(t.Zip.Count(), 0) << c.Name;
        EXPECT_TRUE(t.Zip.ZipFilename().empty()) << c.Name;
        EXPECT_EQ(t.DirUpdates, 1) << c.Name;
        ASSERT_EQ(t.Ui.Shown.size(), 1u) << c.Name;
        EXPECT_EQ(t.Ui.Shown[0], ZipMessageText(c.Code)) << c.Name;
        EXPECT_EQ(t.Ui.BusyCalls, (std::vector<bool>{true, false})) << c.Name;
    }
}

TEST(ZipComponent, StoredOffsetIsOnlyCheckedNotTrusted) {
    TBuiltZip zip = BuildZip(ThreeMembers());
    PutU32(zip.Bytes, zip.EndRecord + 16, 0xFFFFFFF0);
    TListing t;
    t.List(zip.Bytes);
    EXPECT_EQ(t.Zip.ErrCode(), ZipMsg::StructureWarning);
    EXPECT_EQ(t.Zip.Count(), 3);
}

TEST(ZipComponent, ExtraFieldOfTheLastHeaderMayRunPastTheEnd) {
    TBuiltZip zip = BuildZip(ThreeMembers());
    PutU16(zip.Bytes, zip.CentralHeaders[2] + 30, 0xFFFF);
    PutU16(zip.Bytes, zip.CentralHeaders[2] + 32, 0); // the comment would be missing
    TListing t;
    t.List(zip.Bytes);
    EXPECT_EQ(t.Zip.ErrCode(), 0) << t.Zip.Message();
    EXPECT_EQ(t.Zip.Count(), 3);
}

TEST(ZipComponent, UnattendedShowsNoBoxAndReportsOnlyFailures) {
    TBuiltZip zip = BuildZip(ThreeMembers());
    PutU32(zip.Bytes, zip.CentralHeaders[0], 0);
    TListing t;
    t.Zip.SetUnattended(true);
    t.List(std::string(10, 'S') + zip.Bytes); // a warning first, then the failure
    EXPECT_EQ(t.Zip.ErrCode(), ZipMsg::CentralSignature);
    EXPECT_TRUE(t.Ui.Shown.empty());
    ASSERT_EQ(t.Messages.size(), 1u) << "the warning is silent when unattended";
    EXPECT_EQ(t.Messages[0], std::make_pair(0, ZipMessageText(ZipMsg::CentralSignature)));
}

TEST(ZipComponent, WorksWithoutAUserInterface) {
    TScratchDirectory dir;
    TZipComponent zip;
    std::string bytes = BuildZip(ThreeMembers()).Bytes;
    zip.SetZipFilename(WriteTestFile(dir, "x.zip", bytes.substr(0, bytes.size() - 40)));
    EXPECT_EQ(zip.ErrCode(), ZipMsg::NotZipArchive);
}

TEST(ZipComponent, OtherVolumesOfASetFailCleanly) {
    struct TCase {
        const char* Name;
        uint16_t ThisDisk;
        uint16_t DirStartDisk;
        int Code;
        int Count;
    };
    const TCase cases[] = {
        {"directory on this last disk", 2, 2, 0, 3},
        {"directory on an earlier disk", 2, 0, ZipMsg::InputMissing, 0},
    };
    for (const TCase& c : cases) {
        TBuiltZip zip = BuildZip(ThreeMembers());
        PutU16(zip.Bytes, zip.EndRecord + 4, c.ThisDisk);
        PutU16(zip.Bytes, zip.EndRecord + 6, c.DirStartDisk);
        TListing t;
        t.List(zip.Bytes);
        EXPECT_EQ(t.Zip.ErrCode(), c.Code) << c.Name;
        EXPECT_EQ(t.Zip.Count(), c.Count) << c.Name;
        EXPECT_TRUE(t.Zip.MultiVolume()) << c.Name;
    }
}

TEST(ZipComponent, CutDirectoryOnALastDiskHasNoNextVolume) {
    TBuiltZip zip = BuildZip(ThreeMembers());
    PutU16(zip.Bytes, zip.EndRecord + 4, 1);
    PutU16(zip.Bytes, zip.EndRecord + 6, 1);
    PutU16(zip.Bytes, zip.EndRecord + 10, 4);
    TListing t;
    t.List(zip.Bytes);
    // The file read is the last volume: nothing can follow it.
    EXPECT_EQ(t.Zip.ErrCode(), ZipMsg::CentralHeaderRead);
    EXPECT_EQ(t.Zip.Count(), 0);
}

TEST(ZipComponent, FirstVolumeOfASetIsNamed) {
    std::string bytes;
    AppendU32(bytes, 0x08074b50);
    AppendU32(bytes, 0x04034b50);
    bytes += std::string(100, 'd');
    TListing t;
    t.List(bytes);
    EXPECT_EQ(t.Zip.ErrCode(), ZipMsg::FirstFileOfSet);
    EXPECT_TRUE(t.Zip.MultiVolume());
    ASSERT_EQ(t.Ui.Shown.size(), 1u);
    EXPECT_EQ(t.Ui.Shown[0],
              "This is the first file in a backup set,\nplease choose the last file of this set");
}

TEST(ZipComponent, PublishedPropertiesStartWithTheirDefaults) {
    TZipComponent zip;
    EXPECT_EQ(zip.SFXPath(), "sfxstub.bin");
    EXPECT_EQ(zip.AddCompLevel(), 9);
    EXPECT_EQ(zip.SFXOverWriteMode(), OvrOpts::OvrConfirm);
    EXPECT_EQ(zip.SFXCaption(), "Self-extracting Archive");
    EXPECT_EQ(zip.MinFreeVolumeSize(), 65536);
    EXPECT_TRUE(zip.ConfirmErase());
    EXPECT_EQ(zip.CodePage(), CodePageOpts::cpAuto);
    EXPECT_EQ(zip.SFXOptions(), SFXOpts{SFXOptsEnum::SFXCheckSize});
    EXPECT_EQ(zip.HowToDelete(), DeleteOpts::htdAllowUndo);
    zip.SetVersionInfo("2.0");
    EXPECT_EQ(zip.VersionInfo(), "1.0");
    EXPECT_FALSE(zip.Unattended());
    EXPECT_TRUE(zip.ZipFilename().empty());
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(zip.ErrCode(), 0);
}

TEST(ZipComponent, ListArchiveHandsBackTheOutcomeAndLeavesErrCodeClean) {
    TListing t;
    // A handler that throws changes nothing of what the listing reported.
    t.Zip.SetOnDirUpdate([](TZipComponent&) { throw std::runtime_error("handler"); });
    const std::string good = WriteTestFile(t.Dir, "good.zip", BuildZip(ThreeMembers()).Bytes);
    const std::string bad = WriteTestFile(t.Dir, "bad.zip", std::string(100, 'x'));
    t.Zip.SetErrCode(ZipMsg::NoZipFile); // left over from an earlier call

    const TZipComponent::TOutcome failed = t.Zip.ListArchive(bad);
    EXPECT_NE(failed.Code, 0);
    EXPECT_EQ(failed.Message, ZipMessageText(failed.Code));
    EXPECT_EQ(t.Zip.ErrCode(), 0);

    const TZipComponent::TOutcome listed = t.Zip.ListArchive(good);
    EXPECT_TRUE(listed.Ok()) << listed.Message;
    EXPECT_EQ(t.Zip.Count(), 3);
}
