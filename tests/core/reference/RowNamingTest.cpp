#include "core/reference/RowNaming.h"

#include "core/datafile/DatafileRead.h"
#include "core/romlist/RomDocument.h"
#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tabula {
namespace {

using test::ReadBytes;
using test::TScratchDirectory;
using test::WriteBytes;

const std::string S1(40, '1');
const std::string S3(40, '3');
const std::string S4(40, '4');
const std::string S5(40, '5');
const std::string Other(40, 'e');

// One set with a CRC and a SHA-1, a parent with a CRC only and its clone,
// a set with a SHA-1 only, two sets holding one rom, a nodump and a set no
// row holds.
std::string Reference() {
    return "<?xml version=\"1.0\"?>\n<datafile>\n"
           "<header><name>Ref</name><description>Ref</description></header>\n"
           "<game name=\"Alpha (USA)\"><rom name=\"Alpha (USA).nes\" size=\"16\" crc=\"11111111\" "
           "sha1=\"" +
           S1 +
           "\"/></game>\n"
           "<game name=\"Beta (USA)\"><rom name=\"Beta (USA).nes\" size=\"32\" "
           "crc=\"22222222\"/></game>\n"
           "<game name=\"Beta (Europe)\" cloneof=\"Beta (USA)\"><rom name=\"Beta (Europe).nes\" "
           "size=\"48\" crc=\"ABCDEF01\" sha1=\"" +
           S3 +
           "\"/></game>\n"
           "<game name=\"Gamma (Japan)\"><rom name=\"Gamma.nes\" sha1=\"" +
           S4 +
           "\"/></game>\n"
           "<game name=\"Shared (USA)\"><rom name=\"s.nes\" size=\"64\" crc=\"44444444\" sha1=\"" +
           S5 +
           "\"/></game>\n"
           "<game name=\"Shared (Japan)\"><rom name=\"s.nes\" size=\"64\" crc=\"44444444\" "
           "sha1=\"" +
           S5 +
           "\"/></game>\n"
           "<game name=\"Lost (USA)\"><rom name=\"lost.nes\" size=\"80\" crc=\"55555555\" "
           "status=\"nodump\"/></game>\n"
           "<game name=\"Absent (USA)\"><rom name=\"absent.nes\" size=\"96\" "
           "crc=\"66666666\"/></game>\n"
           "<game name=\"Disk only\"><disk name=\"d\" sha1=\"" +
           Other + "\"/></game>\n</datafile>\n";
}

struct TNamingCase {
    const char* What;
    TRomTable::TRow Row;
    std::string Sha1;
    TRomTable::TRow Named; // the row's cells afterwards
    TMatchMark Mark;
};

TRowExtras ScannedExtras(const TRomTable::TRow& row, const std::string& sha1) {
    TRowExtras extras;
    extras.Sha1 = sha1;
    extras.ScannedRomCell = row[4];
    extras.NameOnDisk = row[4];
    return extras;
}

TEST(RowNaming, EachRowTakesTheNamesOfItsStrongestCommonChecksum) {
    TScratchDirectory dir;
    WriteBytes(dir.File("ref.xml"), Reference());
    TReferenceIndex index;
    index.AddFile(dir.File("ref.xml"));

    const std::vector<TNamingCase> cases = {
        {"SHA-1 and CRC agree",
         {"x", "X", "x", "X", "x.nes", "11111111", "16"},
         S1,
         {"alpha (usa)", "Alpha (USA)", "alpha (usa)", "Alpha (USA)", "Alpha (USA).nes", "11111111",
          "16"},
         TMatchMark::Renamed},
        {"the CRC agrees, the SHA-1 both have does not",
         {"y", "Y", "y", "Y", "y.nes", "11111111", "16"},
         Other,
         {"y", "Y", "y", "Y", "y.nes", "11111111", "16"},
         TMatchMark::Unknown},
        {"no SHA-1 in the row: the CRC and size",
         {"z", "Z", "z", "Z", "z.nes", "11111111", "16"},
         "",
         {"alpha (usa)", "Alpha (USA)", "alpha (usa)", "Alpha (USA)", "Alpha (USA).nes", "11111111",
          "16"},
         TMatchMark::ByCrc},
        {"the CRC and size of a rom without SHA-1",
         {"b", "B", "b", "B", "b.nes", "22222222", "32"},
         Other,
         {"beta (usa)", "Beta (USA)", "beta (usa)", "Beta (USA)", "Beta (USA).nes", "22222222",
          "32"},
         TMatchMark::ByCrc},
        {"a clone, its CRC in lower case as an archive member's",
         {"e", "E", "e", "E", "e.nes", "abcdef01", "48"},
         S3,
         {"beta (europe)", "Beta (Europe)", "beta (usa)", "Beta (USA)", "Beta (Europe).nes",
          "abcdef01", "48"},
         TMatchMark::Renamed},
        {"a SHA-1 alone, whatever the CRC",
         {"g", "G", "g", "G", "g.nes", "99999999", "5"},
         S4,
         {"gamma (japan)", "Gamma (Japan)", "gamma (japan)", "Gamma (Japan)", "Gamma.nes",
          "99999999", "5"},
         TMatchMark::Renamed},
        {"a rom of two sets: the first",
         {"s", "S", "s", "S", "s.nes", "44444444", "64"},
         S5,
         {"shared (usa)", "Shared (USA)", "shared (usa)", "Shared (USA)", "s.nes", "44444444",
          "64"},
         TMatchMark::Ambiguous},
        {"a nodump's CRC and size",
         {"l", "L", "l", "L", "l.nes", "55555555", "80"},
         "",
         {"l", "L", "l", "L", "l.nes", "55555555", "80"},
         TMatchMark::Unknown},
        {"the same CRC, another size",
         {"w", "W", "w", "W", "w.nes", "22222222", "33"},
         "",
         {"w", "W", "w", "W", "w.nes", "22222222", "33"},
         TMatchMark::Unknown},
        {"a blank row", {}, "", {}, TMatchMark::None},
    };
    TRowNamer namer(index);
    for (const TNamingCase& c : cases) {
        TRomTable::TRow row = c.Row;
        TRowExtras extras = ScannedExtras(row, c.Sha1);
        EXPECT_EQ(namer.Name(row, extras), c.Mark) << c.What;
        EXPECT_EQ(extras.Match, c.Mark) << c.What;
        EXPECT_EQ(row, c.Named) << c.What;
    }
    // Named as the reference has it already, the rom's case on disk only: unchanged.
    TRomTable::TRow scanned = {"alpha (usa)",     "Alpha (USA)", "alpha (usa)", "Alpha (USA)",
                               "alpha (usa).nes", "11111111",    "16"};
    TRowExtras extras = ScannedExtras(scanned, S1);
    extras.NameOnDisk = "Alpha (USA).nes";
    const TRomTable::TRow before = scanned;
    EXPECT_EQ(namer.Name(scanned, extras), TMatchMark::Same);
    EXPECT_EQ(scanned, before);
    EXPECT_EQ(extras.ScannedRomCell, "alpha (usa).nes");

    const TMatchCounts counts = namer.Counts();
    EXPECT_EQ(MatchSummaryText(counts),
              "7 rows matched (6 renamed, 2 by CRC only), 3 unknown, 1 sets of the reference "
              "missing");

    // The want list: the one set with a findable rom that nothing matched.
    WriteMissingSets(index, namer.MatchedSets(), dir.File("missing.xml"));
    const TOpenedDatafile missing = ReadDatafile(dir.File("missing.xml"));
    ASSERT_EQ(missing.Rows.size(), 1u);
    EXPECT_EQ(missing.Rows[0][1], "Absent (USA)");
    EXPECT_EQ(missing.Rows[0][4], "absent.nes");
    EXPECT_EQ(missing.Format, TDatafileFormat::Logiqx);
    EXPECT_NE(ReadBytes(dir.File("missing.xml")).find("<name>Ref</name>"), std::string::npos);
}

// ClrMamePro's nodump flag, a sectioned file's own dos names giving way to
// lower case, references in order (the first wins), a broken one adding nothing.
TEST(RowNaming, ReferencesAddInOrderAndABrokenOneAddsNothing) {
    TScratchDirectory dir;
    WriteBytes(dir.File("a.dat"), "game ( name \"First\" rom ( name one.bin size 4 crc a ) )\n"
                                  "game ( name \"Gone\" rom ( name g.bin size 4 crc b flags "
                                  "nodump ) )\n");
    std::string sectioned =
        "[CREDITS]\r\n[GAMES]\r\n|SECOND|Second|SECOND|Second|two.bin|0000000A|N|O|4|\r\n";
    std::replace(sectioned.begin(), sectioned.end(), '|', '\xAC');
    WriteBytes(dir.File("b.dat"), sectioned);
    WriteBytes(dir.File("broken.xml"), "<datafile><game name=\"x\"><rom size=\"1\"/></game>");
    TReferenceIndex index;
    index.AddFile(dir.File("b.dat"));
    TRomTable::TRow row = {"r", "R", "r", "R", "r.bin", "0000000a", "4"};
    TRowExtras extras;
    EXPECT_EQ(TRowNamer(index).Name(row, extras), TMatchMark::ByCrc);
    EXPECT_EQ(
        row, (TRomTable::TRow{"second", "Second", "second", "Second", "two.bin", "0000000a", "4"}));
    index.AddFile(dir.File("a.dat"));
    EXPECT_THROW(index.AddFile(dir.File("broken.xml")), EDatafileReadError);
    EXPECT_EQ(index.SetCount(), 3u);
    TRowNamer namer(index);
    EXPECT_EQ(namer.Name(row, extras), TMatchMark::Ambiguous);
    EXPECT_EQ(row[1], "Second");
    TRomTable::TRow nodump = {"n", "N", "n", "N", "n.bin", "0000000B", "4"};
    EXPECT_EQ(namer.Name(nodump, extras), TMatchMark::Unknown);
    EXPECT_EQ(namer.Counts().SetsMissing, 0u);
}

// Naming a table is one change of the rows that changed; named again,
// a renamed row is the same, and a third time changes nothing.
TEST(RowNaming, NamingATableIsOneStepUntilNothingChanges) {
    TScratchDirectory dir;
    WriteBytes(dir.File("ref.xml"), Reference());
    TReferenceIndex index;
    index.AddFile(dir.File("ref.xml"));
    TRomDocument document;
    document.Open({{"u", "U", "u", "U", "u.nes", "12345678", "1"},
                   {"b", "B", "b", "B", "b.nes", "22222222", "32"}},
                  {}, nullptr);
    for (const TMatchMark mark : {TMatchMark::ByCrc, TMatchMark::Same}) {
        TRowNamer namer(index);
        document.Apply(NamingChange(document.Table(), namer));
        EXPECT_EQ(document.Table().Extras(2).Match, mark);
        EXPECT_EQ(document.Cell(1, 2), "Beta (USA)");
    }
    TRowNamer third(index);
    EXPECT_TRUE(NamingChange(document.Table(), third).Empty());
    document.Undo();
    document.Undo();
    EXPECT_EQ(document.Cell(1, 2), "B");
    EXPECT_EQ(document.Table().Extras(1).Match, TMatchMark::None);
}

} // namespace
} // namespace tabula
