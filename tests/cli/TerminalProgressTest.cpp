#include "cli/TerminalProgress.h"
#include "cli/CliZipUi.h"
#include "cli/RowPrinter.h"
#include "cli/TerminalText.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using namespace tabula;

TEST(TerminalProgress, BarLineFitsTheTerminal) {
    EXPECT_EQ(TTerminalProgress::BarLine(0, 4, "Processing file a ...", 80),
              "[........................] 0/4 Processing file a ...");
    EXPECT_EQ(TTerminalProgress::BarLine(2, 4, "x", 80), "[############............] 2/4 x");
    EXPECT_EQ(TTerminalProgress::BarLine(4, 4, "x", 80), "[########################] 4/4 x");
    // Narrow: the text is cut by characters, never inside one.
    EXPECT_EQ(TTerminalProgress::BarLine(1, 3, "\xC3\xA9\xC3\xA9\xC3\xA9", 35),
              "[########................] 1/3 \xC3\xA9\xC3\xA9\xC3\xA9");
    EXPECT_EQ(TTerminalProgress::BarLine(1, 3, "\xC3\xA9\xC3\xA9\xC3\xA9", 34),
              "[########................] 1/3 \xC3\xA9\xC3\xA9");
    EXPECT_EQ(TTerminalProgress::BarLine(1, 3, "text", 10), "[########");
    // More positions than the range (files added since the count) stay in the bar.
    EXPECT_EQ(TTerminalProgress::BarLine(5, 4, "", 80), "[########################] 5/4 ");
}

TEST(TerminalProgress, MessagesTakeTheBarLineAwayFirst) {
    std::ostringstream err;
    TTerminalProgress progress(err, true, 80);
    progress.SetMax(2);
    progress.StepPosition();
    progress.SetWaitString("Processing file a.zip ...");
    progress.Pump();
    progress.FileFailed({"a.zip", "/d/a.zip", "Bad crc"});
    EXPECT_EQ(err.str(), "\r\x1b[K[############............] 1/2 Processing file a.zip ..."
                         "\r\x1b[Ktabula-cli: a.zip: Bad crc\n");

    std::ostringstream quiet;
    TTerminalProgress off(quiet, false, 80);
    off.SetMax(1);
    off.StepPosition();
    off.Pump();
    off.ClearLine();
    off.FileFailed({"a.zip", "/d/a.zip", "Bad crc"});
    EXPECT_EQ(quiet.str(), "tabula-cli: a.zip: Bad crc\n");
}

TEST(CliZipUi, PrintsAndAnswersCancel) {
    std::ostringstream err;
    TTerminalProgress progress(err, false, 80);
    TCliZipUi ui(progress);
    ui.ShowMessage("Archive damaged");
    EXPECT_EQ(ui.AskForVolume("Insert the last disk\r\nin drive: /media/a\x1b[2K", true),
              TVolumeAnswer::Cancel);
    EXPECT_EQ(err.str(), "tabula-cli: Archive damaged\n"
                         "tabula-cli: Insert the last disk in drive: /media/a\\x1b[2K (answered "
                         "Cancel)\n");
}

TEST(TerminalText, ControlCharactersNeverReachTheTerminalRaw) {
    struct TCase {
        const char* Text;
        const char* Cell;
        const char* Message;
    };
    const TCase cases[] = {
        {"plain name [!].smc", "plain name [!].smc", "plain name [!].smc"},
        {"a\tb\nc\rd\\e", "a\\tb\\nc\\rd\\\\e", "a\\tb\\nc\\rd\\e"},
        {" ", " ", " "},
        // Folder separators alone: at either end, twice in a row.
        {"\\NES\\\\Hacks\\", "\\\\NES\\\\\\\\Hacks\\\\", "\\NES\\\\Hacks\\"},
        // ESC [2K and CR would erase the line and print over it.
        {"\x1b[2K\rfake", "\\x1b[2K\\rfake", "\\x1b[2K\\rfake"},
        {"bell\x07"
         "del\x7F",
         "bell\\x07del\\x7f", "bell\\x07del\\x7f"},
        // C1 controls as UTF-8 (CSI U+009B) and as a stray byte read as 1252.
        {"\xC2\x9B"
         "2J caf\xC3\xA9",
         "\\x9b"
         "2J caf\xC3\xA9",
         "\\x9b"
         "2J caf\xC3\xA9"},
        {"x\x9Dy\xE9", "x\\x9dy\xC3\xA9", "x\\x9dy\xC3\xA9"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        std::string cell = "|";
        AppendTerminalCell(cell, c.Text);
        EXPECT_EQ(cell, "|" + std::string(c.Cell));
        EXPECT_EQ(TerminalMessage(c.Text), c.Message);
    }
}
