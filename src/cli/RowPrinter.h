#pragma once

#include "cli/TerminalProgress.h"
#include "core/scan/ScanDriver.h"

#include <ostream>
#include <string>

namespace tabula {

// Prints each row as it comes: its seven cells separated by tabs, then the
// MD5, the SHA-1 and the SHA-256 when they are asked for, then the match
// mark when the rows were named from reference datafiles, one line a row.
// When the rows go to the terminal that shows the bar line, the line is taken
// away before each row. Cells are escaped as AppendTerminalCell says, so every line holds exactly
// its cells and no name reaches the terminal raw.
class TRowPrinter : public IRomRowSink {
public:
    TRowPrinter(std::ostream& out, TTerminalProgress& progress, bool outIsTerminal,
                THashKinds hashes = {}, bool marks = false)
        : out_(out), progress_(progress), sharesTerminal_(outIsTerminal && progress.Drawing()),
          hashes_(hashes), marks_(marks) {}

    void AddRomRow(const TRomTable::TRow& row) override { AddScannedRow(row, {}); }
    void AddScannedRow(const TRomTable::TRow& row, const TRowExtras& extras) override;

private:
    std::ostream& out_;
    TTerminalProgress& progress_;
    bool sharesTerminal_;
    THashKinds hashes_;
    bool marks_;
    std::string line_; // the row being printed, kept for its room
};

} // namespace tabula
