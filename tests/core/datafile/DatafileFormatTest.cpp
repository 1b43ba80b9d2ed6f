#include "core/datafile/DatafileFormat.h"
#include "core/datafile/DatafileStream.h"
#include "core/datafile/SizeCell.h"

#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tabula;
using tabula::test::ReadBytes;
using tabula::test::TScratchDirectory;
using tabula::test::WriteBytes;

namespace {

using TRows = std::vector<TRomTable::TRow>;

// Two sets, the second a clone of the first; a name the scan lower-cased
// and one the user edited; a size past 4 GiB; texts that need escaping.
const TRows Rows = {
    {"hero", "Hero & \"Co\"", "hero", "Hero & \"Co\"", "hero (e).nes", "0A1B2C3D", "40944"},
    {"hero", "Hero & \"Co\"", "hero", "Hero & \"Co\"", "track <2>.bin", "FFFFFFFF", "5368709120"},
    {"herou", "Hero (U)", "hero", "Hero & \"Co\"", "Hero (U).nes", " ", "16"},
};
const std::vector<TRowExtras> Extras = {
    {"00112233445566778899aabbccddeeff", "0123456789abcdef0123456789abcdef01234567", "Hero (E).nes",
     "hero (e).nes"},
    {},                                       // typed by hand: no digests, the cell as it stands
    {"", "", "hero (u).nes", "hero (u).nes"}, // edited since the scan
};
const TDatafileInfo Info{
    {"Me", "1.0", "first\r\nsecond \\ line", "", "2", "2026-12-08"}, "NES Roms", {}, "nes.xml"};

std::string Saved(TDatafileFormat format, const TRows& rows = Rows,
                  const TDatafileInfo& info = Info) {
    TScratchDirectory dir;
    SaveDatafileAs(format, rows, Extras, info, dir.File("out"));
    return ReadBytes(dir.File("out"));
}

} // namespace

TEST(DatafileFormat, LogiqxAndClrMameProWriteGamesRomsAndCredits) {
    EXPECT_EQ(Saved(TDatafileFormat::Logiqx),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<!DOCTYPE datafile\n"
              "PUBLIC \"-//Logiqx//DTD ROM Management Datafile//EN\"\n"
              "       \"http://www.logiqx.com/Dats/datafile.dtd\">\n"
              "<datafile>\n"
              "\t<header>\n"
              "\t\t<name>NES Roms</name>\n"
              "\t\t<description>NES Roms</description>\n"
              "\t\t<version>1.0</version>\n"
              "\t\t<date>2026-12-08</date>\n"
              "\t\t<author>Me</author>\n"
              "\t\t<comment>first\nsecond \\ line</comment>\n"
              "\t\t<clrmamepro header=\"nes.xml\"/>\n"
              "\t</header>\n"
              "\t<game name=\"Hero &amp; &quot;Co&quot;\">\n"
              "\t\t<description>Hero &amp; &quot;Co&quot;</description>\n"
              "\t\t<rom name=\"Hero (E).nes\" size=\"40944\" crc=\"0a1b2c3d\" "
              "sha1=\"0123456789abcdef0123456789abcdef01234567\" "
              "md5=\"00112233445566778899aabbccddeeff\"/>\n"
              "\t\t<rom name=\"track &lt;2&gt;.bin\" size=\"5368709120\" crc=\"ffffffff\"/>\n"
              "\t</game>\n"
              "\t<game name=\"Hero (U)\" cloneof=\"Hero &amp; &quot;Co&quot;\">\n"
              "\t\t<description>Hero (U)</description>\n"
              "\t\t<rom name=\"Hero (U).nes\" size=\"16\"/>\n"
              "\t</game>\n"
              "</datafile>\n");
    EXPECT_EQ(Saved(TDatafileFormat::ClrMamePro),
              "clrmamepro (\n"
              "\tname \"NES Roms\"\n"
              "\tdescription \"NES Roms\"\n"
              "\tversion \"1.0\"\n"
              "\tdate \"2026-12-08\"\n"
              "\tauthor \"Me\"\n"
              "\tcomment \"first second \\\\ line\"\n"
              "\theader \"nes.xml\"\n"
              ")\n"
              "\n"
              "game (\n"
              "\tname \"Hero & \\\"Co\\\"\"\n"
              "\tdescription \"Hero & \\\"Co\\\"\"\n"
              "\trom ( name \"Hero (E).nes\" size 40944 crc 0a1b2c3d "
              "md5 00112233445566778899aabbccddeeff "
              "sha1 0123456789abcdef0123456789abcdef01234567 )\n"
              "\trom ( name \"track <2>.bin\" size 5368709120 crc ffffffff )\n"
              ")\n"
              "\n"
              "game (\n"
              "\tname \"Hero (U)\"\n"
              "\tdescription \"Hero (U)\"\n"
              "\tcloneof \"Hero & \\\"Co\\\"\"\n"
              "\trom ( name \"Hero (U).nes\" size 16 )\n"
              ")\n");
}

TEST(DatafileFormat, HeaderNameComesFromTheSystemTheFolderOrTheProgram) {
    TDatafileInfo info = Info;
    info.Credits.System = "nes";
    EXPECT_NE(Saved(TDatafileFormat::ClrMamePro, Rows, info).find("\tname \"nes\"\n"),
              std::string::npos);
    info.Credits.System.clear();
    info.FolderName.clear();
    info.Detector.clear();
    const std::string plain = Saved(TDatafileFormat::Logiqx, Rows, info);
    EXPECT_NE(plain.find("<name>tabula</name>"), std::string::npos);
    EXPECT_EQ(plain.find("clrmamepro"), std::string::npos);
}

// A failed save of any format keeps the old file and leaves no temporary.
TEST(DatafileFormat, RefusedRowsAndCreditsKeepTheOldFile) {
    const struct {
        const char* Name;
        TDatafileFormat Format;
        TRows Rows;
        TDatafileInfo Info;
        std::string Message;
    } cases[] = {
        {"control character in an XML name",
         TDatafileFormat::Logiqx,
         {{"a", "A", "a", "A", "x\x01.nes", "00000000", "1"}},
         Info,
         "Row 1, column \"Rom name\" holds the character U+0001, which XML 1.0 cannot hold"},
        {"line feed in a quoted string",
         TDatafileFormat::ClrMamePro,
         {{"a", "A\nB", "a", "A", "x.nes", "00000000", "1"}},
         Info,
         "Row 1, column \"Set full name\" holds the character U+000A, which the format's quoted "
         "strings cannot hold"},
        {"crc that is no CRC",
         TDatafileFormat::Logiqx,
         {{"a", "A", "a", "A", "x.nes", "12345", "1"}},
         Info,
         "Row 1, column \"Rom crc\" holds \"12345\", which is not eight hexadecimal digits"},
        {"crc that is no CRC, sectioned",
         TDatafileFormat::Sectioned,
         {{"a", "A", "a", "A", "x.nes", " ", "1"}, {"b", "B", "b", "B", "y.nes", "NOTACRC", "1"}},
         Info,
         "Row 2, column \"Rom crc\" holds \"NOTACRC\", which is not eight hexadecimal digits"},
        {"size that is no byte count",
         TDatafileFormat::ClrMamePro,
         {{"a", "A", "a", "A", "x.nes", "00000000", "-1"}},
         Info,
         "'-1' n'est pas une valeur entière correcte"},
        {"a Logiqx file without a game",
         TDatafileFormat::Logiqx,
         {},
         Info,
         "A Logiqx datafile holds at least one game: the table has no rom"},
        {"control character in a credit",
         TDatafileFormat::Logiqx,
         Rows,
         {{"Me\x1b", "1", "", "", "", ""}, ""},
         "The credit \"Author\" holds the character U+001B, which XML 1.0 cannot hold"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TScratchDirectory dir;
        WriteBytes(dir.Path() / "games.dat", "earlier");
        try {
            SaveDatafileAs(c.Format, c.Rows, {}, c.Info, dir.File("games.dat"));
            ADD_FAILURE() << "saved";
        } catch (const std::exception& error) {
            EXPECT_EQ(std::string(error.what()), c.Message);
        }
        EXPECT_EQ(ReadBytes(dir.Path() / "games.dat"), "earlier");
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"games.dat"});
    }
}

// A detecting scan's header names a detector only when one file's rules made
// every cut; rows kept whole do not count against it.
TEST(DatafileFormat, TheHeaderNamesTheOneDetectorThatMadeEveryCut) {
    const auto extras = [](std::vector<std::string> detectors) {
        std::vector<TRowExtras> rows(detectors.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            rows[i].Detector = detectors[i];
        }
        return rows;
    };
    const struct {
        std::vector<std::string> Detectors;
        const char* Named;
    } cases[] = {
        {{}, ""},
        {{"", ""}, ""},
        {{"nes.xml", "", "nes.xml"}, "nes.xml"},
        {{"nes.xml", "lynx.xml"}, ""},
    };
    for (const auto& [detectors, named] : cases) {
        TDatafileInfo info;
        info.Detector = CommonDetector(extras(detectors));
        EXPECT_EQ(HeaderDetectorName(info), named);
    }
}

// A cloneof is written only when it names another game of the file: a set
// renamed without its clones would name a game that does not exist.
TEST(DatafileFormat, ACloneofIsWrittenOnlyWhenItNamesAGameOfTheFile) {
    const TRows rows = {
        {"p", "Parent", "p", "Parent", "p.bin", "00000001", "1"},
        {"c", "Clone", "p", "Parent", "c.bin", "00000002", "1"},
        {"o", "Orphan", "g", "Gone", "o1.bin", "00000003", "1"},
        {"o", "Orphan", "g", "Gone", "o2.bin", "00000004", "1"},
    };
    const struct {
        TDatafileFormat Format;
        const char* Kept;
        const char* Lost;
    } cases[] = {
        {TDatafileFormat::Logiqx, "<game name=\"Clone\" cloneof=\"Parent\">",
         "<game name=\"Orphan\">"},
        {TDatafileFormat::ClrMamePro, "\tdescription \"Clone\"\n\tcloneof \"Parent\"\n",
         "\tdescription \"Orphan\"\n\trom"},
    };
    for (const auto& c : cases) {
        TScratchDirectory dir;
        const TDroppedNames dropped = SaveDatafileAs(c.Format, rows, {}, Info, dir.File("out"));
        const std::string saved = ReadBytes(dir.File("out"));
        EXPECT_NE(saved.find(c.Kept), std::string::npos) << saved;
        EXPECT_NE(saved.find(c.Lost), std::string::npos) << saved;
        EXPECT_EQ(saved.find("Gone"), std::string::npos) << saved;
        EXPECT_EQ(DroppedText(dropped, "Logiqx"),
                  "1 game names a parent the file does not hold: its cloneof was left out");
    }
}
