// Archives made by other programs (tests/data/zip, see tests/data/README.md).

#include "core/zip/ZipComponent.h"
#include "core/zip/ZipMessages.h"

#include "tests/support/RecordingZipUi.h"
#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

using namespace tabula;
using namespace tabula::test;

namespace {

struct TExpectedMember {
    std::string FileName;
    uint32_t Crc;
    uint32_t Size;
};

const std::vector<TExpectedMember> InfoZipMembers = {{"a.nes", 3599500283u, 31},
                                                     {"dir\\rom.nes", 413732889u, 3000}};

struct TRealArchive {
    const char* File;
    int Code;
    std::string Comment;
    std::vector<TExpectedMember> Members;
    uint16_t Flags = 0;
};

} // namespace

TEST(RealArchives, ListedAsTheirMakersWroteThem) {
    const TRealArchive cases[] = {
        {"infozip.zip", 0, "", InfoZipMembers},
        {"infozip-comment.zip", 0, "Collection v1 - made by zip -z", InfoZipMembers},
        {"stub-prepended.zip", ZipMsg::StructureWarning, "", InfoZipMembers},
        {"padded-512.zip", 0, "", InfoZipMembers},
        {"trailing-bytes.zip", ZipMsg::GarbageWarning, "", InfoZipMembers},
        {"7zip.zip", 0, "", InfoZipMembers},
        {"python-utf8.zip",
         0,
         "",
         {{"Pok\xC3\xA9mon (Japan).gb", 771919429u, 11},
          {"\xE6\x97\xA5\xE6\x9C\xAC\\\xE3\x83\xAD\xE3\x83\xA0.nes", 1848461861u, 12}},
         0x0800},
        {"host0-cp437.zip",
         0,
         "",
         {{"Pok\xC3\xA9mon.gb", 3576164250u, 5},
          {"Fran\xC3\xA7"
           "ais\\Jeu.sfc",
           2720063244u, 5}}},
    };
    for (const TRealArchive& c : cases) {
        TRecordingZipUi ui;
        TZipComponent zip(&ui);
        zip.SetZipFilename(TestDataFile(std::string("zip/") + c.File));
        EXPECT_EQ(zip.ErrCode(), c.Code) << c.File << ": " << zip.Message();
        EXPECT_EQ(zip.ArchiveComment(), c.Comment) << c.File;
        EXPECT_TRUE(ui.Shown.empty()) << c.File;
        ASSERT_EQ(zip.Count(), static_cast<int>(c.Members.size())) << c.File;
        for (size_t i = 0; i < c.Members.size(); ++i) {
            const ZipDirEntry& entry = zip.DirEntries()[i];
            EXPECT_EQ(entry.FileName, c.Members[i].FileName) << c.File;
            EXPECT_EQ(entry.Crc, c.Members[i].Crc) << c.File;
            EXPECT_EQ(entry.UncompressedSize, c.Members[i].Size) << c.File;
            EXPECT_EQ(entry.GeneralPurposeFlag & 0x0800, c.Flags) << c.File;
        }
    }
}

TEST(RealArchives, StoredNameBytesStayForFindingTheMember) {
    TZipComponent zip;
    zip.SetZipFilename(TestDataFile("zip/host0-cp437.zip"));
    ASSERT_EQ(zip.Count(), 2);
    EXPECT_EQ(zip.DirEntry(1).RawFileName, "Fran\x87"
                                           "ais/Jeu.sfc");
    EXPECT_EQ(zip.DirEntry(1).HostSystem(), 0);
}
