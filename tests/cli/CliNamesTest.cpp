#include "core/datafile/DatafileRead.h"
#include "tests/cli/CliCapture.h"
#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

using namespace tabula;
using tabula::test::RunTool;
using tabula::test::TRun;
using tabula::test::TScratchDirectory;
using tabula::test::WriteBytes;
namespace fs = std::filesystem;

namespace {

std::vector<std::vector<std::string>> Lines(const std::string& text) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');) {
            cells.push_back(cell);
        }
        lines.push_back(cells);
    }
    return lines;
}

// A Logiqx reference naming the scanned files' contents "Game N (USA)",
// with a clone, and two games whose roms no file holds.
std::string ReferenceOf(const std::vector<std::vector<std::string>>& scanned) {
    std::string xml = "<?xml version=\"1.0\"?>\n<datafile>\n<header><name>Curated</name>"
                      "<description>Curated</description></header>\n";
    for (std::size_t i = 0; i < scanned.size(); ++i) {
        const std::vector<std::string>& row = scanned[i];
        const std::string game = "Game " + std::to_string(i + 1) + " (USA)";
        xml += "<game name=\"" + game + "\"" + (i == 1 ? " cloneof=\"Game 1 (USA)\"" : "") +
               "><description>" + game + "</description><rom name=\"" + game + ".bin\" size=\"" +
               row[6] + "\" crc=\"" + row[5] + "\" md5=\"" + row[7] + "\" sha1=\"" + row[8] +
               "\"/></game>\n";
    }
    xml += "<game name=\"Wanted A\"><description>A</description><rom name=\"a.bin\" size=\"9\" "
           "crc=\"0badf00d\"/></game>\n"
           "<game name=\"Wanted B\"><description>B</description><rom name=\"b.bin\" size=\"9\" "
           "crc=\"0badf00e\" sha1=\"" +
           std::string(40, 'b') + "\"/></game>\n</datafile>\n";
    return xml;
}

} // namespace

// Misnamed copies of a reference's roms take its names, two files it does
// not list stay unknown; --unknown-only writes those two alone, and
// --missing the reference's games nothing matched, as a datafile that opens.
TEST(CliNames, MisnamedCopiesTakeTheReferenceNamesAndTheRestIsListed) {
    TScratchDirectory dir;
    const fs::path roms = dir.Path() / "roms";
    fs::create_directory(roms);
    for (int i = 0; i < 3; ++i) {
        WriteBytes(roms / ("copy" + std::to_string(i) + ".bin"),
                   std::string(1000 + i, static_cast<char>('a' + i)));
    }
    const TRun known = RunTool({"-q", "--no-cache", "--md5", "--sha1", roms.string()});
    ASSERT_EQ(known.status, 0) << known.err;
    WriteBytes(dir.File("ref.xml"), ReferenceOf(Lines(known.out)));
    WriteBytes(roms / "mine.bin", "my own dump");
    WriteBytes(roms / "zz homebrew.bin", "homebrew");

    const TRun named = RunTool(
        {"--no-cache", "--md5", "--sha1", "--names-from", dir.File("ref.xml"), roms.string()});
    ASSERT_EQ(named.status, 0) << named.err;
    const auto rows = Lines(named.out);
    ASSERT_EQ(rows.size(), 5u);
    const char* sets[] = {"Game 1 (USA)", "Game 2 (USA)", "Game 3 (USA)", "mine", "zz homebrew"};
    for (std::size_t r = 0; r < rows.size(); ++r) {
        ASSERT_EQ(rows[r].size(), 10u);
        EXPECT_EQ(rows[r][1], sets[r]);
        EXPECT_EQ(rows[r][9], r < 3 ? "renamed" : "unknown");
    }
    EXPECT_EQ(rows[1][3], "Game 1 (USA)"); // the clone's parent
    EXPECT_EQ(rows[0][4], "Game 1 (USA).bin");
    EXPECT_EQ(named.err, "tabula-cli: 3 rows matched (3 renamed, 0 by CRC only), 2 unknown, 2 "
                         "sets of the reference missing\n");

    const TRun unknown =
        RunTool({"-q", "--no-cache", "--md5", "--sha1", "--names-from", dir.File("ref.xml"),
                 "--unknown-only", "--format", "logiqx", "-o", dir.File("unknown.xml"), "--missing",
                 dir.File("missing.xml"), roms.string()});
    ASSERT_EQ(unknown.status, 0) << unknown.err;
    EXPECT_EQ(unknown.err, ""); // -q: no summary
    const TOpenedDatafile written = ReadDatafile(dir.File("unknown.xml"));
    ASSERT_EQ(written.Rows.size(), 2u);
    EXPECT_EQ(written.Rows[0][1], "mine");
    EXPECT_EQ(written.Rows[1][1], "zz homebrew");
    const TOpenedDatafile missing = ReadDatafile(dir.File("missing.xml"));
    EXPECT_EQ(missing.Format, TDatafileFormat::Logiqx);
    ASSERT_EQ(missing.Rows.size(), 2u);
    EXPECT_EQ(missing.Rows[0][1], "Wanted A");
    EXPECT_EQ(missing.Rows[1][1], "Wanted B");

    // A reference that is no datafile stops the run by its name before anything is out.
    WriteBytes(dir.File("bad.xml"), "<datafile><game name=\"x\"><rom size=\"1\"/>");
    const TRun bad =
        RunTool({"-q", "--no-cache", "--names-from", dir.File("bad.xml"), roms.string()});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("bad.xml"), std::string::npos) << bad.err;
}
