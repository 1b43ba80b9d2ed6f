#include "cli/RowPrinter.h"

#include "cli/TerminalProgress.h"
#include "cli/TerminalText.h"

namespace tabula {

void TRowPrinter::AddScannedRow(const TRomTable::TRow& row, const TRowExtras& extras) {
    if (sharesTerminal_) {
        progress_.ClearLine();
    }
    // The line is made whole and written once: rows come by the thousand.
    line_.clear();
    for (size_t col = 0; col < row.size(); ++col) {
        if (col > 0) {
            line_ += '\t';
        }
        AppendTerminalCell(line_, row[col]);
    }
    // Digests are hexadecimal digits: nothing to escape.
    if (hashes_.Md5) {
        line_ += '\t';
        line_ += extras.Md5;
    }
    if (hashes_.Sha1) {
        line_ += '\t';
        line_ += extras.Sha1;
    }
    if (hashes_.Sha256) {
        line_ += '\t';
        line_ += extras.Sha256;
    }
    if (marks_) {
        line_ += '\t';
        line_ += MatchMarkText(extras.Match);
    }
    line_ += '\n';
    out_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
    if (sharesTerminal_) {
        out_.flush();
    }
}

} // namespace tabula
