#include "cli/RowPrinter.h"

#include "cli/TerminalProgress.h"
#include "cli/TerminalText.h"

namespace tabula {

void TRowPrinter::AddRomRow(const TRomTable::TRow& row) {
    if (sharesTerminal_) {
        progress_.ClearLine();
    }
    for (size_t col = 0; col < row.size(); ++col) {
        if (col > 0) {
            out_ << '\t';
        }
        out_ << TerminalCell(row[col]);
    }
    out_ << '\n';
    if (sharesTerminal_) {
        out_.flush();
    }
}

} // namespace tabula
