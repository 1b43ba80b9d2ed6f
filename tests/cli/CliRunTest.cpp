#include "cli/CliRun.h"

#include "core/datafile/DatafileSave.h"
#include "core/romlist/RomTable.h"
#include "core/scan/ScanDriver.h"
#include "core/scan/TableRowSink.h"
#include "tests/cli/CliCapture.h"
#include "tests/support/EnvironmentOverride.h"
#include "tests/support/QuietProgress.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

using namespace tabula;
using tabula::test::ReadBytes;
using tabula::test::RunTool;
using tabula::test::TestDataFile;
using tabula::test::TRun;
using tabula::test::TScratchDirectory;
using tabula::test::WriteBytes;
namespace fs = std::filesystem;

namespace {

void MakeMixedDirectory(const fs::path& dir) {
    WriteBytes(dir / "Game.SMC", "GAME-SMC-CONTENT-0123456789");
    WriteBytes(dir / "readme.txt", "readme text\n");
    WriteBytes(dir / "catalogix.dat", "catalogue");
    fs::copy_file(TestDataFile("scan/set.zip"), dir / "set.zip");
}

const char* const MixedRows = "game\tGame\tgame\tGame\tgame.smc\t2E84D73F\t27\n"
                              "set\tset\tset\tset\talpha.bin\tFDE0E860\t16\n"
                              "set\tset\tset\tset\tbeta.bin\t23AE0BA3\t37\n";

// What the window's save writes after a scan of dir into a fresh table.
std::string WindowSaveBytes(const fs::path& dir, const TScanOptions& options,
                            const TDatafileCredits& credits, const fs::path& file) {
    TRomTable table;
    TTableRowSink<TRomTable> sink(table);
    test::TQuietProgress progress;
    TScanDriver(progress, sink).Scan(dir.string(), options);
    std::vector<TRomTable::TRow> rows;
    for (int row = 1; row < table.RowCount(); ++row) {
        rows.push_back(table.Row(row));
    }
    SaveDatafile(rows, credits, file.string());
    return ReadBytes(file);
}

} // namespace

TEST(CliRun, WritesTheDatafileTheWindowsSaveWrites) {
    TScratchDirectory dir;
    TScratchDirectory outDir;
    MakeMixedDirectory(dir.Path());
    TDatafileCredits credits;
    credits.Author = "Andr\xC3\xA9";
    credits.Version = "3";
    credits.Comment = "first\nsecond";
    credits.System = "snes";
    credits.EmulVersion = "0.9";
    TScanOptions options;
    options.SkipTxt = false;

    const std::string cliFile = outDir.File("cli.dat");
    const TRun run =
        RunTool({"--include-txt", "-o", cliFile, "--author", credits.Author, "--datafile-version",
                 credits.Version, "--comment", credits.Comment, "--system", credits.System,
                 "--emulator-version", credits.EmulVersion, dir.Path().string()});
    ASSERT_EQ(run.status, CliAllRead) << run.err;
    EXPECT_EQ(run.out, "");
    const std::string expected =
        WindowSaveBytes(dir.Path(), options, credits, outDir.File("window.dat"));
    EXPECT_EQ(ReadBytes(cliFile), expected);
    EXPECT_NE(expected.find("\xAC"
                            "readme\xAC"
                            "readme\xAC"
                            "readme\xAC"
                            "readme\xAC"
                            "readme.txt\xAC"
                            "C98FA2BC\xAC"),
              std::string::npos);
    EXPECT_NE(expected.find("Andr\xE9"), std::string::npos);
}

TEST(CliRun, FailedFilesAreNamedAndTheOthersStillCount) {
    TScratchDirectory dir;
    TScratchDirectory outDir;
    WriteBytes(dir.Path() / "Game.SMC", "GAME-SMC-CONTENT-0123456789");
    WriteBytes(dir.Path() / "broken.zip", "this is no zip archive at all");

    const TRun printed = RunTool({dir.Path().string()});
    EXPECT_EQ(printed.status, CliSomeFailed);
    EXPECT_EQ(printed.out, "game\tGame\tgame\tGame\tgame.smc\t2E84D73F\t27\n");
    EXPECT_EQ(printed.err.rfind("tabula-cli: broken.zip: ", 0), 0u) << printed.err;

    const std::string file = outDir.File("out.dat");
    const TRun written = RunTool({"-o", file, dir.Path().string()});
    EXPECT_EQ(written.status, CliSomeFailed);
    EXPECT_NE(ReadBytes(file).find("\xAC"
                                   "game.smc\xAC"),
              std::string::npos);
}

TEST(CliRun, SplitSetGivesItsMembersInEitherNamingAndLeavesNoTemporaryFile) {
    // Rows of the ten members of tests/data/span/set*.zip: NES (the CRC taken
    // after the first 16 bytes of each, computed apart from this program) and
    // normal (the CRCs and sizes Info-ZIP's "unzip -v" lists for the set).
    struct TMember {
        const char* Name;
        const char* Nes;
        const char* Normal;
    };
    const TMember members[] = {
        {"alpha quest (u).nes", "0216BE8C\t32350", "6E871FFB\t32366"},
        {"beta racer (e).nes", "20FF11E7\t32350", "4C6EB090\t32366"},
        {"delta zone (u).nes", "8AA9CC83\t32350", "E6386DF4\t32366"},
        {"gamma force (j).nes", "2036494F\t32350", "4CA7E838\t32366"},
        {"small demo cartridge number 0 (public domain).nes", "A7D02516\t1400", "BB09AAB9\t1416"},
        {"small demo cartridge number 1 (public domain).nes", "076D5DD7\t1400", "1BB4D278\t1416"},
        {"small demo cartridge number 2 (public domain).nes", "3DDBD2D5\t1400", "21025D7A\t1416"},
        {"small demo cartridge number 3 (public domain).nes", "9D66AA14\t1400", "81BF25BB\t1416"},
        {"small demo cartridge number 4 (public domain).nes", "48B6CCD1\t1400", "546F437E\t1416"},
        {"small demo cartridge number 5 (public domain).nes", "E80BB410\t1400", "F4D23BBF\t1416"},
    };
    auto rows = [&](const std::string& set, bool nes = true) {
        std::string text;
        for (const TMember& member : members) {
            text += set + "\t" + set + "\t" + set + "\t" + set + "\t" + member.Name + "\t" +
                    (nes ? member.Nes : member.Normal) + "\n";
        }
        return text;
    };
    const auto volume = [](int number) {
        const std::string name = "set.z0" + std::to_string(number);
        return "tabula-cli: " + name + ": File \"" + name + "\" is volume " +
               std::to_string(number) +
               " of the split archive \"set.zip\"; its members are read with that file";
    };
    struct TCase {
        const char* Name;
        std::vector<std::string> Files; // the volumes' names, first to last
        std::vector<std::string> Options;
        std::string Rows;
        std::vector<std::string> Failures; // lines expected on stderr
    };
    const TCase cases[] = {
        {"numbered",
         {"set001.zip", "set002.zip", "set003.zip"},
         {"--nes"},
         rows("set003"),
         {"tabula-cli: set001.zip: File \"set001.zip\": This is the first file in a backup set,"
          "\\nplease choose the last file of this set",
          "tabula-cli: set002.zip: File \"set002.zip\": This archive is not a valid Zip archive"}},
        {"numbered, first volume missing",
         {"", "set002.zip", "set003.zip"},
         {"--nes"},
         "",
         {"tabula-cli: set003.zip: Input file does not exist"}},
        {"split names, zip files only",
         {"set.z01", "set.z02", "set.zip"},
         {"--nes", "--zip-only"},
         rows("set"),
         {}},
        // The earlier volumes are no roms of their own, in either mode.
        {"split names, every file",
         {"set.z01", "set.z02", "set.zip"},
         {"--nes"},
         rows("set"),
         {volume(1), volume(2)}},
        {"split names, normal mode",
         {"set.z01", "set.z02", "set.zip"},
         {},
         rows("set", false),
         {volume(1), volume(2)}},
    };
    for (const TCase& c : cases) {
        TScratchDirectory dir;
        TScratchDirectory temp;
        const test::TEnvironmentOverride tmpdir("TMPDIR", temp.Path().string());
        for (size_t i = 0; i < c.Files.size(); ++i) {
            if (!c.Files[i].empty()) {
                fs::copy_file(TestDataFile("span/set00" + std::to_string(i + 1) + ".zip"),
                              dir.Path() / c.Files[i]);
            }
        }
        std::vector<std::string> args = c.Options;
        args.push_back(dir.Path().string());
        const TRun run = RunTool(args);
        EXPECT_EQ(run.status, c.Failures.empty() ? CliAllRead : CliSomeFailed) << c.Name;
        EXPECT_EQ(run.out, c.Rows) << c.Name;
        for (const std::string& line : c.Failures) {
            EXPECT_NE(run.err.find(line + "\n"), std::string::npos) << c.Name << ": " << run.err;
        }
        EXPECT_TRUE(temp.Entries().empty()) << c.Name;
    }
}

TEST(CliRun, TrustedCrcsGiveTheRowsOfTheFullExtraction) {
    // Archives of Info-ZIP, 7-Zip and Python's zipfile, stored and deflated,
    // a split set, and members too small for their header.
    TScratchDirectory dir;
    for (const char* name : {"infozip-deflated.zip", "infozip-stored.zip", "7z-deflated.zip",
                             "7z-stored.zip", "python-deflated.zip", "python-stored.zip"}) {
        fs::copy_file(TestDataFile(std::string("unzip/") + name), dir.Path() / name);
    }
    for (const char* name : {"dd001.zip", "dd002.zip", "set001.zip", "set002.zip", "set003.zip"}) {
        fs::copy_file(TestDataFile(std::string("span/") + name), dir.Path() / name);
    }
    fs::copy_file(TestDataFile("scan/set.zip"), dir.Path() / "tiny.zip");
    const std::vector<std::vector<std::string>> modes = {
        {"--nes"}, {"--snes"}, {"--snes", "--remove-bad-size"}};
    for (const auto& mode : modes) {
        std::vector<std::string> args = mode;
        args.push_back(dir.Path().string());
        const TRun full = RunTool(args);
        args.insert(args.begin(), "--trust-zip-crc");
        const TRun trusted = RunTool(args);
        EXPECT_EQ(trusted.out, full.out) << mode.back();
        EXPECT_EQ(trusted.status, full.status) << mode.back();
        EXPECT_GE(std::count(full.out.begin(), full.out.end(), '\n'), 10) << mode.back();
    }

    // Only the header is read: damage after it goes unseen, as the option says.
    TScratchDirectory damaged;
    std::string bytes = ReadBytes(TestDataFile("unzip/infozip-stored.zip"));
    const size_t data = bytes.find("NES\x1a");
    ASSERT_NE(data, std::string::npos);
    bytes[data + 1000] = static_cast<char>(bytes[data + 1000] ^ 0x55);
    WriteBytes(damaged.Path() / "infozip-stored.zip", bytes);
    const TRun trusted = RunTool({"--trust-zip-crc", "--nes", damaged.Path().string()});
    const TRun original =
        RunTool({"--nes", TestDataFile("unzip/infozip-stored.zip")
                              .substr(0, TestDataFile("unzip/infozip-stored.zip").rfind('/'))});
    EXPECT_EQ(trusted.status, CliAllRead);
    EXPECT_NE(original.out.find(trusted.out.substr(trusted.out.find("\t"))), std::string::npos)
        << trusted.out;
    EXPECT_EQ(RunTool({"--nes", damaged.Path().string()}).status, CliSomeFailed);
}

TEST(CliRun, BadUsageAndMissingDirectoriesExitWithTwoAndWriteNothing) {
    TScratchDirectory dir;
    TScratchDirectory outDir;
    WriteBytes(dir.Path() / "a.smc", "x");
    const std::string file = outDir.File("out.dat");
    const struct {
        std::vector<std::string> args;
        const char* errPart;
    } cases[] = {
        {{}, "no directory"},
        {{"--bogus", dir.Path().string()}, "Try 'tabula-cli --help'"},
        {{"-o", file, dir.File("missing")}, "is not a directory"},
        {{"-o", file, dir.File("a.smc")}, "is not a directory"},
        // Refusals known before the scan come before it.
        {{"-o", file, "--author", "\xE6\x97\xA5", dir.Path().string()}, "Author"},
        {{"-o", outDir.File("none/out.dat"), dir.Path().string()}, "does not exist"},
    };
    for (const auto& c : cases) {
        const TRun run = RunTool(c.args);
        EXPECT_EQ(run.status, CliBadUsage) << run.err;
        EXPECT_NE(run.err.find(c.errPart), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(outDir.Entries().empty());
    }
}

TEST(CliRun, RefusedRowsLeaveAnExistingDatafileAsItWas) {
    TScratchDirectory dir;
    TScratchDirectory outDir;
    WriteBytes(dir.Path() / "\xE6\x97\xA5\xE6\x9C\xAC.smc", "x");
    const std::string file = outDir.File("out.dat");
    WriteBytes(file, "earlier datafile");

    const TRun run = RunTool({"-o", file, dir.Path().string()});
    EXPECT_EQ(run.status, CliOutputFailed);
    EXPECT_NE(run.err.find("the datafile was not written"), std::string::npos) << run.err;
    EXPECT_EQ(ReadBytes(file), "earlier datafile");
    EXPECT_EQ(outDir.Entries(), std::vector<std::string>{"out.dat"});
}

// --from writes each row as it reads it: a file refused past its first rows,
// or a row the target cannot hold, leaves the old datafile and no temporary.
TEST(CliRun, AConversionStoppedPartWayKeepsTheOldDatafile) {
    TScratchDirectory in;
    TScratchDirectory outDir;
    const std::string file = outDir.File("out.dat");
    const struct {
        std::string Bytes;
        const char* Format;
        int Status;
        const char* Says;
    } cases[] = {
        {"<datafile><game name=\"g\"><rom name=\"r\" size=\"1\" crc=\"12345678\"/></game>\n"
         "<game name=\"h\"><rom name=\"r\" size=\"x\"/></game></datafile>",
         "clrmamepro", CliBadUsage, "line 2: the size \"x\""},
        {"game ( name g rom ( name r size 1 ) )\ngame ( name h rom ( name r size 1 )", "logiqx",
         CliBadUsage, "cut short"},
        {"game ( name g rom ( name r size 1 ) )\n"
         "game ( name \xE6\x97\xA5 rom ( name r size 1 ) )",
         "sectioned", CliOutputFailed, "the datafile was not written"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Bytes);
        WriteBytes(in.File("in"), c.Bytes);
        WriteBytes(file, "earlier datafile");
        const TRun run = RunTool({"--from", in.File("in"), "--format", c.Format, "-o", file});
        EXPECT_EQ(run.status, c.Status) << run.err;
        EXPECT_NE(run.err.find(c.Says), std::string::npos) << run.err;
        EXPECT_EQ(ReadBytes(file), "earlier datafile");
        EXPECT_EQ(outDir.Entries(), std::vector<std::string>{"out.dat"});
    }
}

// A credit cannot forge a section or a game line: refused before the scan,
// naming the credit, the old datafile kept.
TEST(CliRun, CreditsThatWouldWriteLinesOfTheirOwnAreRefused) {
    const struct {
        std::vector<std::string> Args;
        const char* Says;
    } cases[] = {
        {{"--author", "me\r\n[GAMES]\n\xC2\xAC"
                      "evil\xC2\xAC"
                      "evil"},
         "The credit \"Author\""},
        {{"--datafile-version", "1\n2"}, "The credit \"Datafile Version\""},
        {{"--system", "sn\xC2\xAC"
                      "es"},
         "The credit \"System\""},
        {{"--emulator-version", "2\x1B]0;title\x07"}, "The credit \"Emulator version\""},
        {{"--comment", "notes\r\n[GAMES]"}, "Line 2 of the credit \"Comment\""},
        {{"--comment", "notes\n\xC2\xAC"
                       "a\xC2\xAC"},
         "Line 2 of the credit \"Comment\""},
    };
    TScratchDirectory dir;
    TScratchDirectory outDir;
    MakeMixedDirectory(dir.Path());
    const std::string file = outDir.File("out.dat");
    WriteBytes(file, "earlier datafile");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Says);
        std::vector<std::string> args = c.Args;
        args.insert(args.end(), {"-o", file, dir.Path().string()});
        const TRun run = RunTool(args);
        EXPECT_EQ(run.status, CliBadUsage);
        EXPECT_EQ(run.err.rfind(std::string("tabula-cli: ") + c.Says, 0), 0u) << run.err;
        EXPECT_EQ(run.err.find('\x1B'), std::string::npos);
        EXPECT_EQ(ReadBytes(file), "earlier datafile");
        EXPECT_EQ(outDir.Entries(), std::vector<std::string>{"out.dat"});
    }
}

// A stop request that comes once every byte is on the disk, just before the
// datafile would take the old one's place, still keeps the old one.
TEST(CliRun, AStopRequestDuringTheWriteKeepsTheOldDatafile) {
    TScratchDirectory dir;
    TScratchDirectory outDir;
    MakeMixedDirectory(dir.Path());
    const std::string file = outDir.File("out.dat");
    WriteBytes(file, "earlier datafile");
    const auto written = [&] { // the temporary beside it holds the rows
        for (const std::string& name : outDir.Entries()) {
            if (name != "out.dat" && fs::file_size(outDir.Path() / name) > 0) {
                return SIGINT;
            }
        }
        return 0;
    };
    std::ostringstream out;
    std::ostringstream err;
    const int status =
        RunCli({"-o", file, dir.Path().string()}, TCliStreams{out, err, false, false, 60, written});
    EXPECT_EQ(status, CliSignalBase + SIGINT);
    EXPECT_EQ(err.str(), "tabula-cli: interrupted; the datafile was not written\n");
    EXPECT_EQ(ReadBytes(file), "earlier datafile");
    EXPECT_EQ(outDir.Entries(), std::vector<std::string>{"out.dat"});
}

// What a shell command prints, its last line break taken off.
std::string ShellOutput(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t got = 0; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            out.append(buffer, got);
        }
        ::pclose(pipe);
    }
    return out.substr(0, out.find('\n'));
}

// The MD5, SHA-1 and SHA-256 that md5sum, sha1sum and sha256sum give for
// the bytes a command prints, after its first skip bytes: "md5 sha1 sha256".
std::string DigestsOf(const std::string& bytesCommand, int skip) {
    const std::string cut = bytesCommand + " | tail -c +" + std::to_string(skip + 1);
    return ShellOutput(cut + " | md5sum | cut -c1-32") + " " +
           ShellOutput(cut + " | sha1sum | cut -c1-40") + " " +
           ShellOutput(cut + " | sha256sum | cut -c1-64");
}

// The digests printed after each row's seven cells, "md5 sha1 sha256", by
// "set/rom"; text files left out.
std::map<std::string, std::string> PrintedDigests(const std::string& out) {
    std::map<std::string, std::string> printed;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> cells;
        std::istringstream cellsOf(line);
        for (std::string cell; std::getline(cellsOf, cell, '\t');) {
            cells.push_back(cell);
        }
        if (cells.size() == 10 && !cells[4].ends_with(".txt")) {
            printed[cells[1] + "/" + cells[4]] = cells[7] + " " + cells[8] + " " + cells[9];
        }
    }
    return printed;
}

// Every digest is md5sum's, sha1sum's and sha256sum's of the bytes the CRC
// covers, in every mode: loose files, zip members by three tools, stored and
// deflated, and the members of 7z and RAR archives (the files of sets/roms).
TEST(CliRun, DigestsAreThoseOfMd5sumSha1sumAndSha256sumOfTheBytesTheCrcCovers) {
    TScratchDirectory dir;
    struct TRom {
        std::string Key;          // "set/rom" as printed
        std::string Bytes;        // a command printing its bytes
        std::array<int, 4> Skips; // cut in front: normal, NES, SNES and detect modes
    };
    std::vector<TRom> roms;
    for (const char* tool : {"7z", "infozip", "python"}) {
        for (const char* method : {"deflated", "stored"}) {
            const std::string set = std::string(tool) + "-" + method;
            fs::copy_file(TestDataFile("unzip/" + set + ".zip"), dir.Path() / (set + ".zip"));
            roms.push_back({set + "/hero quest (e).nes",
                            "unzip -p '" + dir.File(set + ".zip") + "' 'games/Hero Quest (E).nes'",
                            {0, 16, 0, 16}});
        }
    }
    // A Super Wild Card header: the SNES size rule and the detector both cut it.
    WriteBytes(dir.Path() / "loose.smc", std::string(8, '\0') + "\xAA\xBB\x04" +
                                             std::string(501, '\0') +
                                             test::PatternBytes(40960, 'l'));
    roms.push_back({"loose/loose.smc", "cat '" + dir.File("loose.smc") + "'", {0, 16, 512, 512}});
    const std::string loose = TestDataFile("sets/roms/");
    for (const char* archive : {"solid.7z", "rar4.rar", "rar5.rar"}) {
        fs::copy_file(TestDataFile(std::string("sets/") + archive), dir.Path() / archive);
        const std::string set = fs::path(archive).stem().string();
        const struct {
            const char* Rom;
            const char* File;
            std::array<int, 4> Skips;
        } members[] = {{"game (usa).nes", "Game (USA).nes", {0, 16, 16, 16}},
                       {"quest.smc", "Quest.smc", {0, 16, 512, 512}},
                       {"plain.bin", "plain.bin", {0, 16, 1808, 0}},
                       {"inner.bin", "sub/Inner.bin", {0, 16, 3000, 0}},
                       {"empty.bin", "empty.bin", {0, 16, 0, 0}}};
        for (const auto& member : members) {
            roms.push_back(
                {set + "/" + member.Rom, "cat '" + loose + member.File + "'", member.Skips});
        }
    }
    const char* const modes[] = {"--include-txt", "--nes", "--snes", "--detect-headers"};
    for (size_t mode = 0; mode < std::size(modes); ++mode) {
        SCOPED_TRACE(modes[mode]);
        std::map<std::string, std::string> expected;
        for (const TRom& rom : roms) {
            expected[rom.Key] = DigestsOf(rom.Bytes, rom.Skips[mode]);
        }
        const TRun run = RunTool({modes[mode], "--md5", "--sha1", "--sha256", dir.Path().string()});
        ASSERT_EQ(run.status, CliAllRead) << run.err;
        EXPECT_EQ(PrintedDigests(run.out), expected);
    }
}

// --detect-headers: each loose file and member is cut where its own header
// ends (the digests of `tail -c +N` agree), files without one stay whole,
// and the written header names the detector only when one file's rules made
// every cut. A broken --detector stops the run before the scan.
TEST(CliRun, DetectedHeadersAreCutAsByHandAndNamedWhenOneDetectorCutAll) {
    TScratchDirectory dir;
    TScratchDirectory nesOnly;
    const struct {
        const char* Name;
        std::string Bytes;
        int Skip;
    } files[] = {
        {"a-headed.nes", "NES\x1a" + std::string(12, '\x01') + test::PatternBytes(24576, 'n'), 16},
        {"b-bare.nes", test::PatternBytes(24576, 'b'), 0},
        {"c-game.lnx", "LYNX" + std::string(60, '\x02') + test::PatternBytes(65536, 'l'), 64},
    };
    std::vector<test::TTestMember> members;
    for (const auto& file : files) {
        WriteBytes(dir.Path() / file.Name, file.Bytes);
        members.emplace_back(file.Name, file.Bytes);
        if (std::string(file.Name).ends_with(".nes")) {
            WriteBytes(nesOnly.Path() / file.Name, file.Bytes);
        }
    }
    WriteBytes(dir.Path() / "d-set.zip", test::BuildZip(members).Bytes);
    const TRun run =
        RunTool({"--detect-headers", "--md5", "--sha1", "--sha256", dir.Path().string()});
    ASSERT_EQ(run.status, CliAllRead) << run.err;
    std::map<std::string, std::string> expected;
    for (const auto& file : files) {
        const std::string digests = DigestsOf("cat '" + dir.File(file.Name) + "'", file.Skip);
        expected[fs::path(file.Name).stem().string() + "/" + file.Name] = digests;
        expected[std::string("d-set/") + file.Name] = digests;
    }
    EXPECT_EQ(PrintedDigests(run.out), expected);

    const std::string out = dir.File("out.xml");
    ASSERT_EQ(
        RunTool({"--detect-headers", "-o", out, "--format", "logiqx", nesOnly.Path().string()})
            .status,
        CliAllRead);
    EXPECT_NE(ReadBytes(out).find("<clrmamepro header=\"nes.xml\"/>"), std::string::npos);
    ASSERT_EQ(
        RunTool({"--detect-headers", "-o", out, "--format", "clrmamepro", dir.Path().string()})
            .status,
        CliAllRead);
    EXPECT_EQ(ReadBytes(out).find("header"), std::string::npos); // NES and Lynx cuts

    WriteBytes(dir.Path() / "broken.xml",
               "<detector>\n<rule>\n<date offset=\"0\"/>\n</rule>\n</detector>\n");
    const TRun broken = RunTool(
        {"--detector", dir.File("broken.xml"), "-o", dir.File("no.dat"), dir.Path().string()});
    EXPECT_EQ(broken.status, CliBadUsage);
    EXPECT_NE(broken.err.find("Cannot read the detector \"broken.xml\": line 3: unknown element "
                              "<date>"),
              std::string::npos)
        << broken.err;
    EXPECT_FALSE(fs::exists(dir.Path() / "no.dat"));
    for (const char* header : {"--nes", "--snes"}) {
        EXPECT_EQ(RunTool({"--detect-headers", header, dir.Path().string()}).status, CliBadUsage);
    }
    EXPECT_EQ(RunTool({"--detect-headers", "--remove-bad-size", dir.Path().string()}).status,
              CliBadUsage);
}

// Logiqx files of archives made by three tools, in every mode, with and
// without digests, are valid against revision 1.5 of the DTD; the
// ClrMamePro file of the same scan holds a game per archive.
TEST(CliRun, LogiqxFilesAreValidAndClrMameProHoldsEveryGame) {
    TScratchDirectory dir;
    TScratchDirectory out;
    for (const char* tool : {"7z", "infozip", "python"}) {
        for (const char* method : {"deflated", "stored"}) {
            const std::string name = std::string(tool) + "-" + method + ".zip";
            fs::copy_file(TestDataFile("unzip/" + name), dir.Path() / name);
        }
    }
    const std::string dtd = TestDataFile("logiqx/datafile.dtd");
    for (const char* mode : {"--include-txt", "--nes", "--snes"}) { // normal first
        for (const bool hashes : {false, true}) {
            SCOPED_TRACE(std::string(mode) + (hashes ? " with digests" : ""));
            std::vector<std::string> args = {mode, "--author", "Me & co", "--date", "2026-12-08"};
            if (hashes) {
                args.insert(args.end(), {"--md5", "--sha1"});
            }
            for (const char* format : {"logiqx", "clrmamepro"}) {
                std::vector<std::string> run = args;
                run.insert(run.end(),
                           {"--format", format, "-o", out.File(format), dir.Path().string()});
                EXPECT_EQ(RunTool(run).status, CliAllRead);
            }
            // The DOCTYPE's system address is not fetched: the DTD is the test's.
            const std::string check =
                "xmllint --noout --nonet --dtdvalid '" + dtd + "' '" + out.File("logiqx") + "'";
            EXPECT_EQ(ShellOutput(check + " 2>/dev/null; echo status $?"), "status 0")
                << ShellOutput(check + " 2>&1 | grep -v entity");
            const std::string text = ReadBytes(out.File("clrmamepro"));
            size_t games = 0;
            for (size_t at = text.find("\ngame (\n"); at != std::string::npos;
                 at = text.find("\ngame (\n", at + 1)) {
                ++games;
            }
            EXPECT_EQ(games, 6u);
            EXPECT_EQ(text.find(" md5 ") != std::string::npos, hashes);
        }
    }
}

// --from prints a datafile's rows as a scan does, writes it again in its own
// format unless --format says another, and puts given credits over its own.
TEST(CliRun, FromReadsADatafileToPrintOrConvert) {
    TScratchDirectory out;
    const std::string logiqx = TestDataFile("logiqx/scan-hashes.xml");
    const TRun printed = RunTool({"--from", logiqx});
    EXPECT_EQ(printed.status, CliAllRead) << printed.err;
    EXPECT_EQ(printed.out.substr(0, printed.out.find('\n')),
              "alpha\tAlpha\talpha\tAlpha\tAlpha.nes\t8811E422\t14\t"
              "8f0a378d49e377eab686899fe602c8b9\t42d1386bc940febb4e63614a0bfcf2e03d060c0f");

    const struct {
        std::vector<std::string> Args;
        const char* Expected; // a test data file, or "" to look at the bytes below
    } cases[] = {
        {{"-o", out.File("same")}, "logiqx/scan-hashes.xml"},
        {{"--format", "clrmamepro", "-o", out.File("cmp")}, "clrmamepro/scan-hashes.dat"},
        {{"--format=sectioned", "--author", "Other", "-o", out.File("sectioned")}, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--from", logiqx};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        const TRun run = RunTool(args);
        EXPECT_EQ(run.status, CliAllRead) << run.err;
        if (*c.Expected != 0) {
            EXPECT_EQ(ReadBytes(c.Args.back()), ReadBytes(TestDataFile(c.Expected)));
        } else {
            // The digests have no place there, and the user hears of it.
            EXPECT_NE(run.err.find("sectioned datafile has no room for these, which were not "
                                   "written: <clrmamepro> in <header> (1), MD5 (4), SHA-1 (4)\n"),
                      std::string::npos)
                << run.err;
            const std::string bytes = ReadBytes(c.Args.back());
            EXPECT_EQ(bytes.substr(0, 48),
                      "[CREDITS]\r\nAuthor=Other\r\nVersion=3\r\nComment=NES ");
            EXPECT_NE(bytes.find("refname=nes\r\n"), std::string::npos);
        }
    }

    // Every field the table does not show comes back in place, valid against the DTD,
    // whichever format it went through.
    const std::string kept = TestDataFile("logiqx/kept-fields.xml");
    ASSERT_EQ(RunTool({"--from", kept, "--format", "clrmamepro", "-o", out.File("k.dat")}).status,
              CliAllRead);
    ASSERT_EQ(RunTool({"--from", out.File("k.dat"), "--format", "logiqx", "-o", out.File("k.xml")})
                  .status,
              CliAllRead);
    const std::string check = "xmllint --noout --nonet --dtdvalid '" +
                              TestDataFile("logiqx/datafile.dtd") + "' '" + out.File("k.xml") + "'";
    EXPECT_EQ(ShellOutput(check + " 2>/dev/null; echo status $?"), "status 0")
        << ShellOutput(check + " 2>&1 | grep -v entity");
    std::string expected = ReadBytes(kept);
    // The root's attribute has no place in the ClrMamePro format, and its comment one line.
    expected.replace(expected.find("<datafile build=\"x1\">"), 21, "<datafile>");
    expected.replace(expected.find("line one\nline two"), 17, "line one line two");
    EXPECT_EQ(ReadBytes(out.File("k.xml")), expected);

    WriteBytes(out.File("broken.dat"), "[CREDITS]\r\nAuthor=a\r\n[GAMES]\r\n\xAC"
                                       "a\xAC\r\n");
    const TRun broken = RunTool({"--from", out.File("broken.dat"), "-o", out.File("never")});
    EXPECT_EQ(broken.status, CliBadUsage);
    EXPECT_NE(broken.err.find("line 4: the game line holds 1 field,"), std::string::npos)
        << broken.err;
    EXPECT_FALSE(fs::exists(out.File("never")));
    const TRun missing = RunTool({"--from", out.File("missing.dat")});
    EXPECT_EQ(missing.status, CliBadUsage);
    EXPECT_NE(missing.err.find("missing.dat"), std::string::npos) << missing.err;
}

TEST(CliRun, PrintedCellsKeepSevenColumnsWhateverTheNames) {
    TScratchDirectory dir;
    WriteBytes(dir.Path() / "tab\there.smc", "GAME-SMC-CONTENT-0123456789");
    WriteBytes(dir.Path() / "line\nbreak.smc", "GAME-SMC-CONTENT-0123456789");
    const TRun run = RunTool({dir.Path().string()});
    EXPECT_EQ(run.status, CliAllRead);
    EXPECT_EQ(run.out,
              "line\\nbreak\tline\\nbreak\tline\\nbreak\tline\\nbreak\t"
              "line\\nbreak.smc\t2E84D73F\t27\n"
              "tab\\there\ttab\\there\ttab\\there\ttab\\there\ttab\\there.smc\t2E84D73F\t27\n");
}

TEST(CliRun, NamesThatAreNotUtf8ReadAsWindows1252AndSaveAsTheirBytes) {
    TScratchDirectory dir;
    TScratchDirectory outDir;
    WriteBytes(dir.Path() / "bad\xFFname.bin", "abc");
    WriteBytes(dir.Path() / "Caf\xE9.bin", "abcd");
    WriteBytes(dir.Path() / "ok.bin", "x");
    const TRun printed = RunTool({dir.Path().string()});
    EXPECT_EQ(printed.status, CliAllRead) << printed.err;
    EXPECT_EQ(printed.out,
              "bad\xC3\xBFname\tbad\xC3\xBFname\tbad\xC3\xBFname\tbad\xC3\xBFname\t"
              "bad\xC3\xBFname.bin\t352441C2\t3\n"
              "caf\xC3\xA9\tCaf\xC3\xA9\tcaf\xC3\xA9\tCaf\xC3\xA9\tcaf\xC3\xA9.bin\tED82CD11\t4\n"
              "ok\tok\tok\tok\tok.bin\t8CDC1683\t1\n");

    const std::string file = outDir.File("out.dat");
    ASSERT_EQ(RunTool({"-o", file, dir.Path().string()}).status, CliAllRead);
    const std::string saved = ReadBytes(file);
    EXPECT_NE(saved.find("\xAC"
                         "bad\xFFname.bin\xAC"),
              std::string::npos);
    EXPECT_NE(saved.find("\xAC"
                         "Caf\xE9\xAC"),
              std::string::npos);

    // A failure names the file as text too.
    WriteBytes(dir.Path() / "d\xE9g\xE2t.zip", "no archive");
    const TRun failed = RunTool({dir.Path().string()});
    EXPECT_EQ(failed.status, CliSomeFailed);
    EXPECT_NE(failed.err.find("d\xC3\xA9g\xC3\xA2t.zip: File \"d\xC3\xA9g\xC3\xA2t.zip\""),
              std::string::npos)
        << failed.err;
}

TEST(CliRun, NamesCannotMoveTheCursorOrRewriteALine) {
    TScratchDirectory dir;
    WriteBytes(dir.Path() / "\x1b[2K\rfake\x07.smc", "GAME-SMC-CONTENT-0123456789");
    WriteBytes(dir.Path() / "\x1b[1A\x1b[2Kok.zip", "no archive");
    // Member names: one as a row, one (stored twice) in a failure line.
    WriteBytes(dir.Path() / "m.zip", test::BuildZip({{"\x1b]0;t\x07\xC2\x9B"
                                                      "2J.smc",
                                                      "rom"},
                                                     {"\r\x1b[2Kx.smc", "a"},
                                                     {"\r\x1b[2Kx.smc", "b"}})
                                         .Bytes);
    for (const bool terminal : {false, true}) {
        const TRun run = RunTool({"--snes", dir.Path().string()}, terminal);
        EXPECT_EQ(run.status, CliSomeFailed);
        // SNES mode: every file here is all header, so each is extracted.
        EXPECT_EQ(run.out, "\\x1b[2k\\rfake\\x07\t\\x1b[2K\\rfake\\x07\t\\x1b[2k\\rfake\\x07\t"
                           "\\x1b[2K\\rfake\\x07\t\\x1b[2k\\rfake\\x07.smc\t00000000\t0\n"
                           "m\tm\tm\tm\t\\x1b]0;t\\x07\\x9b"
                           "2j.smc\t00000000\t0\n"
                           "m\tm\tm\tm\t\\r\\x1b[2kx.smc\t00000000\t0\n");
        EXPECT_NE(run.err.find("tabula-cli: \\x1b[1A\\x1b[2Kok.zip: "), std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("member \"\\r\\x1b[2kx.smc\" is stored twice"), std::string::npos)
            << run.err;
        // Only the bar line's own erase sequence, on a terminal.
        std::string err = run.err;
        for (size_t at = err.find("\r\x1b[K"); at != std::string::npos; at = err.find("\r\x1b[K"))
            err.erase(at, 4);
        EXPECT_EQ(err.find_first_of("\x1b\r\x07"), std::string::npos) << err;
    }
}

TEST(CliRun, ProgressLineOnlyOnATerminalAndNotWhenQuiet) {
    TScratchDirectory dir;
    MakeMixedDirectory(dir.Path());
    const TRun shown = RunTool({dir.Path().string()}, true);
    EXPECT_EQ(shown.out, MixedRows);
    EXPECT_NE(shown.err.find("\r\x1b[K["), std::string::npos);
    EXPECT_NE(shown.err.find("Processing file "), std::string::npos);
    EXPECT_NE(shown.err.find("4 files listed, 2 read, 3 rows, 0 failed"), std::string::npos);
    // The line is taken away at the end.
    EXPECT_EQ(shown.err.find("\r\x1b[K[", shown.err.rfind("tabula-cli:")), std::string::npos);

    EXPECT_EQ(RunTool({"-q", dir.Path().string()}, true).err, "");
    EXPECT_EQ(RunTool({dir.Path().string()}, false).err, "");
}

// Workers change nothing but the time: for the whole corpus (loose files,
// archives of three tools, split sets, broken archives) in every mode and
// flag combination, one worker and two print the same bytes, name the same
// failures in the same order and write the same datafile.
TEST(CliRun, OneWorkerAndTwoGiveTheSameBytes) {
    TScratchDirectory dir;
    TScratchDirectory out;
    for (const char* folder : {"zip", "unzip", "span", "scan"}) {
        for (const auto& entry : fs::directory_iterator(TestDataFile(folder))) {
            if (entry.is_regular_file() && entry.path().extension() == ".zip") {
                fs::copy_file(entry.path(), dir.Path() / (std::string(folder) + "-" +
                                                          entry.path().filename().string()));
            }
        }
    }
    fs::rename(dir.Path() / "span-set001.zip", dir.Path() / "set001.zip"); // a set's names
    fs::rename(dir.Path() / "span-set002.zip", dir.Path() / "set002.zip");
    fs::rename(dir.Path() / "span-set003.zip", dir.Path() / "set003.zip");
    const std::string whole = ReadBytes(TestDataFile("unzip/infozip-deflated.zip"));
    WriteBytes(dir.Path() / "cut.zip", whole.substr(0, whole.size() - 40));
    WriteBytes(dir.Path() / "damaged.zip", whole.substr(0, 300) + "x" + whole.substr(301));
    WriteBytes(dir.Path() / "Game.nes", "NES\x1a" + std::string(40000, 'g'));
    WriteBytes(dir.Path() / "Game.smc", std::string(512 + 8192, 's'));
    WriteBytes(dir.Path() / "notes.txt", "text");

    const std::vector<std::vector<std::string>> flagSets = {
        {},
        {"--nes"},
        {"--nes", "--trust-zip-crc"},
        {"--snes"},
        {"--snes", "--remove-bad-size", "--trust-zip-crc"},
        {"--md5", "--sha1"},
        {"--nes", "--md5", "--sha1"},
        {"--zip-only", "--include-txt"},
        {"--no-archives", "--snes"},
    };
    for (const auto& flags : flagSets) {
        std::string said;
        for (const auto& flag : flags) {
            said += flag + " ";
        }
        SCOPED_TRACE(said);
        TRun runs[2];
        std::string files[2];
        for (int workers = 1; workers <= 2; ++workers) {
            std::vector<std::string> args = flags;
            args.insert(args.end(), {"--jobs", std::to_string(workers), dir.Path().string()});
            runs[workers - 1] = RunTool(args);
            const std::string file = out.File("jobs" + std::to_string(workers));
            // Logiqx: the sectioned datafile cannot hold the Japanese names.
            args.insert(args.end() - 1, {"--format", "logiqx", "-o", file});
            EXPECT_EQ(RunTool(args).status, runs[workers - 1].status);
            files[workers - 1] = ReadBytes(file);
        }
        EXPECT_LE(runs[0].status, CliSomeFailed);
        EXPECT_EQ(runs[1].status, runs[0].status);
        EXPECT_EQ(runs[1].out, runs[0].out);
        EXPECT_EQ(runs[1].err, runs[0].err);
        EXPECT_GT(runs[0].out.size(), 500u);
        EXPECT_EQ(files[1], files[0]);
    }
}

TEST(CliProgram, RunsAsAProcess) {
    TScratchDirectory dir;
    MakeMixedDirectory(dir.Path());
    // prefix goes in front of the program in the shell's command.
    const auto runProgram = [](const std::string& arguments, std::string& out,
                               const std::string& prefix = "") {
        const std::string command = prefix + "'" + TABULA_CLI_PROGRAM + "' " + arguments;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return -1;
        }
        char buffer[4096];
        size_t got = 0;
        out.clear();
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, got);
        }
        const int status = ::pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };

    std::string out;
    EXPECT_EQ(runProgram("'" + dir.Path().string() + "' 2>/dev/null", out), 0);
    EXPECT_EQ(out, MixedRows);
    EXPECT_EQ(runProgram("'" + dir.File("missing") + "' 2>/dev/null", out), 2);
    EXPECT_EQ(out, "");
    EXPECT_EQ(runProgram("--help", out), 0);
    EXPECT_EQ(out.rfind("Usage: ", 0), 0u);
    EXPECT_EQ(runProgram("--version", out), 0);
    EXPECT_EQ(out, std::string("tabula-cli ") + TABULA_VERSION + "\n");

    // A relative TMPDIR names the folder it named at start, wherever the
    // extraction works: a split set in NES mode reads as with an absolute one.
    TScratchDirectory set;
    TScratchDirectory work;
    fs::create_directory(work.Path() / "reltmp");
    for (const auto& [from, to] :
         {std::pair{"001", "set.z01"}, {"002", "set.z02"}, {"003", "set.zip"}}) {
        fs::copy_file(TestDataFile(std::string("span/set") + from + ".zip"), set.Path() / to);
    }
    const std::string scan = "--nes '" + set.Path().string() + "' 2>/dev/null";
    std::string absolute;
    EXPECT_EQ(runProgram(scan, absolute), CliSomeFailed); // the earlier volumes are named
    EXPECT_NE(absolute.find("set\tset\tset\tset\talpha quest (u).nes\t0216BE8C\t32350\n"),
              std::string::npos)
        << absolute;
    for (const char* relative : {"reltmp", "."}) {
        SCOPED_TRACE(relative);
        const std::string prefix = "cd '" + work.Path().string() + "' && TMPDIR=" + relative + " ";
        EXPECT_EQ(runProgram(scan, out, prefix), CliSomeFailed);
        EXPECT_EQ(out, absolute);
        EXPECT_EQ(work.Entries(), std::vector<std::string>{"reltmp"});
        EXPECT_TRUE(fs::is_empty(work.Path() / "reltmp"));
    }
}

// A cloneof naming no game of the converted file is left out, and said
// once; a parent written later, or one without a rom, is a game of it.
TEST(CliRun, AConversionLeavesOutACloneofNamingNoGameOfTheFile) {
    TScratchDirectory dir;
    WriteBytes(dir.File("in.xml"),
               "<?xml version=\"1.0\"?>\n<datafile><header><name>n</name></header>\n"
               "<game name=\"Early\" cloneof=\"Parent\"><rom name=\"e\" size=\"1\" "
               "crc=\"00000001\"/></game>\n"
               "<game name=\"Orphan\" cloneof=\"Gone\"><rom name=\"o\" size=\"1\" "
               "crc=\"00000002\"/></game>\n"
               "<game name=\"Parent\"><rom name=\"p\" size=\"1\" crc=\"00000003\"/></game>\n"
               "<game name=\"Board\" cloneof=\"Bios\"><rom name=\"b\" size=\"1\" "
               "crc=\"00000004\"/></game>\n"
               "<game name=\"Bios\"><description>only a name</description></game>\n"
               "</datafile>\n");
    for (const char* format : {"logiqx", "clrmamepro"}) {
        SCOPED_TRACE(format);
        const TRun run =
            RunTool({"--from", dir.File("in.xml"), "--format", format, "-o", dir.File("out")});
        EXPECT_EQ(run.status, CliAllRead) << run.err;
        EXPECT_EQ(run.err, "tabula-cli: note: 1 game names a parent the file does not hold: its "
                           "cloneof was left out\n");
        const std::string out = ReadBytes(dir.File("out"));
        EXPECT_EQ(out.find("Gone"), std::string::npos) << out;
        EXPECT_NE(out.find("Parent"), out.rfind("Parent")) << out; // the clone's and its own
        EXPECT_NE(out.find("Bios"), out.rfind("Bios")) << out;
    }
}
