#include "core/datafile/Datafile.h"
#include "core/datafile/DatafileSave.h"

#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

using tabula::EDatafileError;
using tabula::SaveDatafile;
using tabula::TDatafile;
using tabula::TDatafileCredits;
using tabula::TRomTable;
using tabula::test::ReadBytes;
using tabula::test::TestDataFile;
using tabula::test::TScratchDirectory;

namespace {

struct TGoldenCase {
    const char* golden;
    TDatafileCredits credits;
    std::vector<TRomTable::TRow> rows;
};

// Each golden file was written by hand with printf (tests/data/README.md), so
// a fault in the writer cannot creep into its own reference.
const TGoldenCase GoldenCases[] = {
    {"header-only.dat", {}, {}},
    {"header-only.dat", {}, {TRomTable::TRow{}}}, // the blank row of a fresh table
    {"credits-and-one-row.dat",
     {"A", "1", "", "snes", "2"},
     {{"a", "A", "a", "A", "x.bin", "0123ABCD", "16"}}},
    {"comment-and-rows.dat",
     {"René M", "20261207", "first line\r\nsecond line €\n\nfourth", "nes", "PEmulVersion"},
     {{"smb", "Super Mario Bros.", "", "", "smb.nes", " ", "007"},
      {"", "", "", "", "", "", ""},
      {"zel", "Zelda: Café", "zel", " ", "zel (1).nes", "3FA5B1C2", "$FFFFFFFF"},
      {"", "", "", "", "", "", " 0x100000"}}},
};

} // namespace

TEST(Datafile, SavesExactlyTheGoldenBytes) {
    for (const TGoldenCase& c : GoldenCases) {
        SCOPED_TRACE(c.golden);
        TScratchDirectory dir;
        const std::string target = dir.File("out.dat");
        SaveDatafile(c.rows, c.credits, target);
        EXPECT_EQ(ReadBytes(target), ReadBytes(TestDataFile(std::string("datafile/") + c.golden)));
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.dat"});
    }
}

TEST(Datafile, GameLineHasNineFieldsBehindTenSeparatorsAndFlagsAsGiven) {
    TDatafile writer;
    writer.AddGame("a", "b", "c", "d", "e", "f", true, false, -5);
    writer.AddGame("", "", "", "", "", "", false, true, 0);
    ASSERT_EQ(writer.GameLines.size(), 2u);
    EXPECT_EQ(writer.GameLines[0], "¬a¬b¬c¬d¬e¬f¬O¬N¬-5¬");
    EXPECT_EQ(writer.GameLines[1], "¬¬¬¬¬¬¬N¬O¬0¬");
}

TEST(Datafile, WriteToFilePutsTheHeaderInFrontOfTheGameLines) {
    TScratchDirectory dir;
    TDatafile writer;
    writer.Exe = "run.exe";
    writer.RunCmd = "-x";
    writer.RomsPaths = "roms";
    writer.AddGame("a", "A", "a", "A", "x.bin", "0123ABCD", false, true, 16);
    writer.WriteToFile(dir.File("x.dat"));
    ASSERT_EQ(writer.GameLines.size(), 14u);
    EXPECT_EQ(writer.GameLines[0], "[CREDITS]");
    EXPECT_EQ(writer.GameLines[9], "exe=run.exe");
    EXPECT_EQ(writer.GameLines[10], "runcmd=-x");
    EXPECT_EQ(writer.GameLines[11], "romspaths=roms");
    EXPECT_EQ(writer.GameLines[12], "[GAMES]");
    EXPECT_EQ(ReadBytes(dir.File("x.dat")),
              "[CREDITS]\r\nAuthor=\r\nVersion=\r\nComment=\r\n[DAT]\r\nversion=1.90\r\n"
              "[EMULATOR]\r\nrefname=\r\nversion=\r\nexe=run.exe\r\nruncmd=-x\r\n"
              "romspaths=roms\r\n[GAMES]\r\n\xAC"
              "a\xAC"
              "A\xAC"
              "a\xAC"
              "A\xACx.bin\xAC"
              "0123ABCD\xACN\xACO\xAC"
              "16\xAC\r\n");
}

TEST(Datafile, EncodeWritesWindows1252AndNamesTheLineOfARefusedCharacter) {
    EXPECT_EQ(TDatafile::Encode({"€ é ÿ Ž", "two\nlines"}),
              "\x80 \xE9 \xFF \x8E\r\ntwo\r\nlines\r\n");
    try {
        TDatafile::Encode({"a\r\nb", "c", "Ω"});
        FAIL() << "U+03A9 is not in Windows-1252";
    } catch (const EDatafileError& error) {
        EXPECT_STREQ(error.what(), "Line 4 of the datafile holds the character \"Ω\" (U+03A9), "
                                   "which the datafile's code page (Windows-1252) cannot hold");
    }
}

TEST(Datafile, WriterRefusingACreditWritesNothing) {
    TScratchDirectory dir;
    TDatafile writer;
    writer.RunCmd = "日本";
    EXPECT_THROW(writer.WriteToFile(dir.File("x.dat")), EDatafileError);
    EXPECT_TRUE(dir.Entries().empty());
}
