#include "core/datafile/DatafileRead.h"
#include "core/datafile/DatafileStream.h"
#include "core/platform/SequentialFile.h"

#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tabula;
using tabula::test::ReadBytes;
using tabula::test::TScratchDirectory;
using tabula::test::WriteBytes;

namespace {

const std::filesystem::path Data = TABULA_TEST_DATA_DIR;

// The opened file written again in format.
std::string Resaved(const TOpenedDatafile& opened, TDatafileFormat format) {
    TScratchDirectory dir;
    SaveDatafileAs(format, opened.Rows, opened.Extras, {opened.Credits, {}, opened.Header},
                   dir.File("out"));
    return ReadBytes(dir.File("out"));
}

std::string Reopened(const std::string& bytes, TDatafileFormat format) {
    return Resaved(ReadDatafileText(bytes, "in"), format);
}

} // namespace

TEST(DatafileRead, EveryCorpusFileSavesBackToItsOwnBytes) {
    const std::pair<const char*, TDatafileFormat> folders[] = {
        {"datafile", TDatafileFormat::Sectioned},
        {"logiqx", TDatafileFormat::Logiqx},
        {"clrmamepro", TDatafileFormat::ClrMamePro}};
    int files = 0;
    for (const auto& [folder, format] : folders) {
        for (const auto& entry : std::filesystem::directory_iterator(Data / folder)) {
            if (entry.path().extension() != ".dat" && entry.path().extension() != ".xml") {
                continue;
            }
            SCOPED_TRACE(entry.path().string());
            const TOpenedDatafile opened = ReadDatafile(entry.path().string());
            EXPECT_EQ(opened.Format, format);
            EXPECT_EQ(Resaved(opened, format), ReadBytes(entry.path()));
            ++files;
        }
    }
    EXPECT_GE(files, 7);
}

TEST(DatafileRead, LogiqxThroughClrMameProComesBackByteForByte) {
    const std::string first = ReadBytes(Data / "logiqx" / "scan-hashes.xml");
    const TOpenedDatafile opened = ReadDatafileText(first, "scan-hashes.xml");
    EXPECT_TRUE(opened.HasDigests);
    EXPECT_EQ(opened.Credits.Comment, "NES sets, one line");
    EXPECT_EQ(opened.Credits.Date, "2026-12-08");
    ASSERT_EQ(opened.Rows.size(), 4u);
    // The dos names are the full names lower-cased; the crc as a scan shows it.
    EXPECT_EQ(opened.Rows[1], (TRomTable::TRow{"beta (usa)", "Beta (USA)", "beta (usa)",
                                               "Beta (USA)", "Beta (USA).bin", "00000000", "0"}));
    const std::string converted = Resaved(opened, TDatafileFormat::ClrMamePro);
    EXPECT_EQ(converted, ReadBytes(Data / "clrmamepro" / "scan-hashes.dat"));
    EXPECT_EQ(Reopened(converted, TDatafileFormat::Logiqx), first);
}

TEST(DatafileRead, SectionedWrittenByHandKeepsWhatTabulaWritesAsConstants) {
    // LF line ends, keys in another order and case, blank lines, flags and
    // [EMULATOR] values tabula never writes, a two-line comment.
    const std::string hand = "[CREDITS]\n"
                             "Comment=first line\n"
                             "second line\n"
                             "author=Someone\n"
                             "Version=7\n"
                             "\n"
                             "[DAT]\n"
                             "version=2.00\n"
                             "[Emulator]\n"
                             "refname=snes\n"
                             "version=0.9\n"
                             "exe=emu.exe\n"
                             "runcmd=emu %1\n"
                             "romspaths=roms\\snes\n"
                             "[GAMES]\n"
                             "\xAC"
                             "a\xAC"
                             "A\xAC"
                             "a\xAC"
                             "A\xAC"
                             "x.bin\xAC"
                             "0123ABCD\xAC"
                             "O\xAC"
                             "N\xAC"
                             "16\xAC\n"
                             "\xAC"
                             "b\xAC"
                             "B \xE9\xAC"
                             "a\xAC"
                             "A\xAC"
                             "y.bin\xAC"
                             "89ABCDEF\xAC"
                             "N\xAC"
                             "O\xAC"
                             "007\xAC\n";
    const TOpenedDatafile opened = ReadDatafileText(hand, "hand.dat");
    EXPECT_EQ(opened.Credits.Comment, "first line\r\nsecond line");
    EXPECT_EQ(opened.Credits.Author, "Someone");
    EXPECT_EQ(opened.Credits.EmulVersion, "0.9");
    ASSERT_EQ(opened.Rows.size(), 2u);
    EXPECT_EQ(opened.Rows[1][1], "B \xC3\xA9");
    EXPECT_EQ(Resaved(opened, TDatafileFormat::Sectioned),
              "[CREDITS]\r\nAuthor=Someone\r\nVersion=7\r\nComment=first line\r\nsecond line\r\n"
              "[DAT]\r\nversion=2.00\r\n[EMULATOR]\r\nrefname=snes\r\nversion=0.9\r\n"
              "exe=emu.exe\r\nruncmd=emu %1\r\nromspaths=roms\\snes\r\n[GAMES]\r\n"
              "\xAC"
              "a\xAC"
              "A\xAC"
              "a\xAC"
              "A\xAC"
              "x.bin\xAC"
              "0123ABCD\xAC"
              "O\xAC"
              "N\xAC"
              "16\xAC\r\n"
              "\xAC"
              "b\xAC"
              "B \xE9\xAC"
              "a\xAC"
              "A\xAC"
              "y.bin\xAC"
              "89ABCDEF\xAC"
              "N\xAC"
              "O\xAC"
              "7\xAC\r\n");
}

TEST(DatafileRead, LogiqxKeepsEveryFieldOfItsRevisionInPlace) {
    const std::string hand =
        "<?xml version=\"1.0\"?>\n<datafile>\n<header><name>Sys</name><description>Sys"
        "</description><version>1</version><author>A</author></header>\n"
        "<game name=\"Nothing\"><description>N</description><sample name=\"s\"/></game>\n"
        "<game name=\"G\" cloneof=\"P\"><description>G</description><year>1991</year>\n"
        "<manufacturer>M</manufacturer><rom name=\"r\" size=\"4\" crc=\"0000000a\" "
        "status=\"baddump\"/><disk name=\"d\" sha1=\"" +
        std::string(40, 'a') +
        "\"/></game>\n<game name=\"G\"><rom name=\"q\" size=\"1\"/></game>\n"
        "</datafile>\n";
    const TOpenedDatafile opened = ReadDatafileText(hand, "hand.xml");
    ASSERT_EQ(opened.Rows.size(), 2u);
    EXPECT_EQ(opened.Rows[0], (TRomTable::TRow{"g", "G", "p", "P", "r", "0000000A", "4"}));
    const std::string saved = Resaved(opened, TDatafileFormat::Logiqx);
    EXPECT_NE(saved.find("\t<game name=\"Nothing\">\n\t\t<description>N</description>\n"
                         "\t\t<sample name=\"s\"/>\n\t</game>\n\t<game name=\"G\">"),
              std::string::npos)
        << saved;
    EXPECT_NE(saved.find("<year>1991</year>\n\t\t<manufacturer>M</manufacturer>\n\t\t<rom "
                         "name=\"r\" size=\"4\" crc=\"0000000a\" status=\"baddump\"/>\n\t\t<disk "
                         "name=\"d\" sha1=\"" +
                         std::string(40, 'a') + "\"/>\n\t</game>\n\t<game name=\"G\">"),
              std::string::npos)
        << saved;
    // Read again, nothing moves.
    EXPECT_EQ(Reopened(saved, TDatafileFormat::Logiqx), saved);
}

TEST(DatafileRead, BrokenFilesAreRefusedWithTheirLine) {
    const std::string game = "\xAC"
                             "a\xAC"
                             "A\xAC"
                             "a\xAC"
                             "A\xAC"
                             "x\xAC"
                             "00000000\xAC"
                             "N\xAC"
                             "O\xAC";
    const std::string sectionedHead =
        "[CREDITS]\r\nAuthor=\r\nVersion=\r\nComment=\r\n[DAT]\r\nversion=1.90\r\n[EMULATOR]\r\n"
        "refname=\r\nversion=\r\nexe=\r\nruncmd=\r\nromspaths=\r\n[GAMES]\r\n";
    const std::string xmlHead = "<?xml version=\"1.0\"?>\n<datafile>\n";
    const std::string cmpHead = "clrmamepro (\n\tname \"x\"\n)\n\ngame (\n\tname \"g\"\n";
    struct TCase {
        const char* Kind;
        std::string Bytes;
        std::size_t Line;
        const char* Says;
    } cases[] = {
        {"empty", "", 0, "empty"},
        {"no datafile", "hello\n", 1, "not a datafile"},
        {"eight fields",
         sectionedHead + "\xAC"
                         "a\xAC"
                         "A\xAC"
                         "a\xAC"
                         "A\xAC"
                         "x\xAC"
                         "00000000\xAC"
                         "N\xAC"
                         "16\xAC\r\n",
         14, "8 fields"},
        {"size no number", sectionedHead + game + "1x\xAC\r\n", 14, "\"1x\" is not a number"},
        {"cut in a game line", sectionedHead + game.substr(0, 20), 14, "cut short"},
        {"cut before [GAMES]", sectionedHead.substr(0, 60), 0, "cut short"},
        {"unknown section", "[CREDITS]\r\n[MORE]\r\n", 2, "[MORE]"},
        {"unknown key", "[CREDITS]\r\nAuthor=a\r\n[DAT]\r\nbuild=3\r\n", 4, "\"build\""},
        {"xml not well-formed",
         xmlHead + "<game name=\"g\">\n<rom name=\"r\" size=\"1\">\n</game>\n</datafile>\n", 5,
         "not well-formed"},
        {"xml cut in a game", xmlHead + "<game name=\"g\">\n<rom name=\"r\" size=\"1\"/>\n", 4,
         "it is cut short"},
        {"xml size no number",
         xmlHead + "<game name=\"g\">\n<rom name=\"r\" size=\"ten\"/>\n"
                   "</game></datafile>",
         4, "\"ten\" of the rom \"r\" is not a number"},
        {"xml other root", "<?xml version=\"1.0\"?>\n<softwarelist/>", 2,
         "root element is \"<softwarelist>\""},
        {"xml bad crc",
         xmlHead + "<game name=\"g\"><rom name=\"r\" size=\"1\" crc=\"xyz\"/>"
                   "</game></datafile>",
         3, "one to eight hexadecimal"},
        {"xml crc of nine digits",
         xmlHead + "<game name=\"g\"><rom name=\"r\" size=\"1\" crc=\"123456789\"/>"
                   "</game></datafile>",
         3, "\"123456789\" of the rom \"r\" is not one to eight hexadecimal digits"},
        {"xml sha256 short",
         xmlHead + "<game name=\"g\"><rom name=\"r\" size=\"1\" sha256=\"abc\"/>"
                   "</game></datafile>",
         3, "the sha256 \"abc\" of the rom \"r\" is not 64 hexadecimal digits"},
        {"xml size negative",
         xmlHead + "<game name=\"g\"><rom name=\"r\" size=\"-1\"/></game></datafile>", 3,
         "\"-1\" of the rom \"r\" is not a number"},
        {"xml no game", xmlHead + "<header><name>x</name></header></datafile>", 3, "holds no game"},
        {"cmp cut in a game", cmpHead + "\trom ( name \"r\" size 1 )\n", 5, "cut short"},
        {"cmp size no number", cmpHead + "\trom ( name \"r\" size 1k )\n)\n", 7,
         "\"1k\" of the rom \"r\" is not a number"},
        {"cmp key without value", cmpHead + "\trom ( name \"r\" size )\n)\n", 7,
         "\"size\" has no value"},
        {"cmp open quote at the end", cmpHead + "\tyear \"1990", 7, "not closed"},
        {"cmp control character", cmpHead + "\tyear \"19\x01\"\n)\n", 7, "control character"},
        {"cmp blocks nested too deep",
         cmpHead + "\trom ( name r" +
             [] {
                 std::string nested;
                 for (int i = 0; i < 100'000; ++i) {
                     nested += " x (";
                 }
                 return nested;
             }(),
         7, "nested more than 64 deep"},
        {"cmp long word", "clrmamepro ( name x )\n" + std::string(1 << 20, 'w') + "\n", 3,
         "(a text of 1048576 bytes) is not followed by"},
        {"cmp word where a block belongs", "clrmamepro ( name x )\n\"game\" (\n", 2,
         "stands where a block"},
        {"cmp game without a name", "game ( description \"d\"\n\tsample s )\n", 1,
         "a game has no name"},
        {"cmp quote open", cmpHead + "\tyear \"1990\n)\n", 7, "not closed"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Kind);
        try {
            ReadDatafileText(c.Bytes, "/roms/broken.dat");
            ADD_FAILURE() << "read";
        } catch (const EDatafileReadError& error) {
            EXPECT_EQ(error.Line, c.Line) << error.what();
            const std::string message = error.what();
            EXPECT_LT(message.size(), 400u); // a refusal never quotes a long text whole
            EXPECT_NE(message.find("\"/roms/broken.dat\""), std::string::npos) << message;
            EXPECT_NE(message.find(c.Says), std::string::npos) << message;
            if (c.Line != 0) {
                EXPECT_NE(message.find("line " + std::to_string(c.Line) + ":"), std::string::npos)
                    << message;
            }
        }
    }
}

TEST(DatafileRead, ClrMameProReadsWordsEscapesAndItsOwnNames) {
    // Unquoted words, escaped quotes, "flags" for the status, "sample name".
    const std::string text = "clrmamepro ( name Sys version 2 comment \"say \\\"hi\\\"\" )\n"
                             "game ( name g year 1990 sample boom\n"
                             "  rom ( name \"a \\\\ b\" size 3 crc ABCDEF01 flags nodump ) )\n";
    const TOpenedDatafile opened = ReadDatafileText(text, "x.dat");
    EXPECT_EQ(opened.Credits.System, "Sys");
    EXPECT_EQ(opened.Credits.Comment, "say \"hi\"");
    ASSERT_EQ(opened.Rows.size(), 1u);
    EXPECT_EQ(opened.Rows[0][4], "a \\ b");
    const std::string saved = Resaved(opened, TDatafileFormat::Logiqx);
    EXPECT_NE(saved.find("<year>1990</year>\n\t\t<rom name=\"a \\ b\" size=\"3\" crc=\"ABCDEF01\" "
                         "status=\"nodump\"/>\n\t\t<sample name=\"boom\"/>"),
              std::string::npos)
        << saved;
}

TEST(DatafileRead, AFileThatCannotBeReadSaysSo) {
    TScratchDirectory dir;
    EXPECT_THROW(ReadDatafile(dir.File("missing.dat")), EFileReadError);
    EXPECT_THROW(ReadDatafile(dir.Path().string()), EFileReadError);
}

// A reader hands each row on as it reads it: the header, whole but for what
// follows the last row, comes first, with the case of the digits a later row
// shows; a refusal comes after the rows before it.
TEST(DatafileRead, RowsAreHandedOnAsTheyAreRead) {
    struct TRecorder : IDatafileContent {
        void Begin(TDatafileFormat, const TDatafileCredits& credits,
                   std::shared_ptr<const TKeptHeader> header) override {
            Calls += "begin(" + credits.Author + (header->UpperHex ? ",upper" : "") + ") ";
            Header = std::move(header);
        }
        void Add(TRomTable::TRow row, TRowExtras) override { Calls += row[4] + " "; }
        void End() override { Calls += "end(" + std::to_string(Header->GamesAfter.size()) + ")"; }
        std::string Calls;
        std::shared_ptr<const TKeptHeader> Header;
    };
    const struct {
        std::string Bytes;
        const char* Calls;
        const char* Refusal; // "" for none
    } cases[] = {
        {"<datafile><header><author>A</author></header>\n"
         "<game name=\"g\"><rom name=\"r1\" size=\"1\" crc=\"12345678\"/>"
         "<rom name=\"r2\" size=\"1\" crc=\"ABCDEF01\"/></game>\n"
         "<game name=\"h\"/></datafile>",
         "begin(A,upper) r1 r2 end(1)", ""},
        {"clrmamepro ( author A )\ngame ( name g rom ( name r1 size 1 crc 0000000a ) )\n"
         "game ( name h rom ( name r2 size 1 crc zz ) )\n",
         "begin(A) r1 ", "line 3: the crc \"zz\""},
        {"[CREDITS]\r\nAuthor=A\r\n[GAMES]\r\n\xAC"
         "g\xACg\xACg\xACg\xACr1\xAC"
         "00000000\xAC"
         "N\xACO\xAC"
         "1\xAC\r\n\xAC"
         "bad\r\n",
         "begin(A) r1 ", "line 5:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Bytes);
        TRecorder recorder;
        std::string refusal;
        try {
            ReadDatafileText(c.Bytes, "x", recorder);
        } catch (const EDatafileReadError& error) {
            refusal = error.what();
        }
        EXPECT_EQ(recorder.Calls, c.Calls);
        EXPECT_EQ(refusal.empty(), *c.Refusal == 0) << refusal;
        EXPECT_NE(refusal.find(c.Refusal), std::string::npos) << refusal;
    }
}
