#include "core/zip/ZipText.h"
#include "core/zip/ZipComponent.h"

#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

using namespace tabula;
using namespace tabula::test;

TEST(ZipText, NamesAreReadByTheArchivesHostAndFlags) {
    struct TCase {
        const char* Name;
        std::string Stored;
        uint16_t VersionMadeBy;
        uint16_t Flags;
        CodePageOpts CodePage;
        std::string Expected;
    };
    const std::string utf8 = "Pok\xC3\xA9mon";
    const TCase cases[] = {
        {"DOS host, auto", "\x81.nes", 0x0014, 0, CodePageOpts::cpAuto, "\xC3\xBC.nes"},
        {"Unix host, invalid UTF-8", "\x81\xE9.nes", 0x0314, 0, CodePageOpts::cpAuto,
         "\xC2\x81\xC3\xA9.nes"},
        {"Unix host, valid UTF-8", utf8, 0x0314, 0, CodePageOpts::cpAuto, utf8},
        {"NTFS host, format 2.0", "\xE9", 0x0B14, 0, CodePageOpts::cpAuto, "\xC3\xA9"},
        {"NTFS host, format 5.0", "\x82", 0x0B32, 0, CodePageOpts::cpNone, "\xC3\xA9"},
        {"HPFS host whatever the option", "\x82", 0x0614, 0, CodePageOpts::cpNone, "\xC3\xA9"},
        {"OEM forced on Unix host", "\x82", 0x0314, 0, CodePageOpts::cpOEM, "\xC3\xA9"},
        {"DOS host with OEM off", "\xE9", 0x0014, 0, CodePageOpts::cpNone, "\xC3\xA9"},
        {"UTF-8 flag beats the DOS host", utf8, 0x0014, 0x0800, CodePageOpts::cpAuto, utf8},
        {"UTF-8 flag on invalid bytes", "\x82", 0x0014, 0x0800, CodePageOpts::cpAuto, "\xC3\xA9"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(ZipTextToUtf8(c.Stored, c.VersionMadeBy, c.Flags, c.CodePage), c.Expected)
            << c.Name;
    }
}

TEST(ZipText, ListingConvertsNamesAndCommentsAndKeepsTheStoredBytes) {
    TScratchDirectory dir;
    const auto zip =
        BuildZip({TTestMember("dos/\x81\x62\x65r.nes", "d").Host(0x0014).WithComment("caf\x82/x"),
                  TTestMember("unix/\x81.nes", "u").Host(0x0314)},
                 "\xE9t\xE9");
    TZipComponent component;
    component.SetZipFilename(WriteTestFile(dir, "names.zip", zip.Bytes));
    ASSERT_EQ(component.Count(), 2) << component.Message();
    EXPECT_EQ(component.DirEntry(0).FileName, "dos\\\xC3\xBC\x62\x65r.nes");
    EXPECT_EQ(component.DirEntry(0).RawFileName, "dos/\x81\x62\x65r.nes");
    EXPECT_EQ(component.DirEntry(0).FileComment, "caf\xC3\xA9/x") << "slashes stay in comments";
    EXPECT_EQ(component.DirEntry(1).FileName, "unix\\\xC2\x81.nes");
    EXPECT_EQ(component.ArchiveComment(), "\xC3\xA9t\xC3\xA9") << "no DOS conversion";

    component.SetCodePage(CodePageOpts::cpOEM);
    component.SetZipFilename(component.ZipFilename());
    EXPECT_EQ(component.DirEntry(1).FileName, "unix\\\xC3\xBC.nes");
}
