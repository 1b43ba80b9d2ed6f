#include "cli/RowPrinter.h"

#include "cli/TerminalProgress.h"
#include "cli/TerminalText.h"

namespace tabula {

void TRowPrinter::AddScannedRow(const TRomTable::TRow& row, const TRowExtras& extras) {
    if (sharesTerminal_) {
        progress_.ClearLine();
    }
    for (size_t col = 0; col < row.size(); ++col) {
        if (col > 0) {
            out_ << '\t';
        }
        out_ << TerminalCell(row[col]);
    }
    // Digests are hexadecimal digits: nothing to escape.
    if (hashes_.Md5) {
        out_ << '\t' << extras.Md5;
    }
    if (hashes_.Sha1) {
        out_ << '\t' << extras.Sha1;
    }
    out_ << '\n';
    if (sharesTerminal_) {
        out_.flush();
    }
}

} // namespace tabula
