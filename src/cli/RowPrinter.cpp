#include "cli/RowPrinter.h"

#include "cli/TerminalProgress.h"

#include <algorithm>

namespace tabula {

std::string TRowPrinter::EscapeCell(const std::string& cell) {
    // One pass over the cell; most cells hold none of the four.
    const bool plain = std::none_of(cell.begin(), cell.end(), [](char c) {
        return c == '\t' || c == '\n' || c == '\r' || c == '\\';
    });
    if (plain) {
        return cell;
    }
    std::string escaped;
    for (const char c : cell) {
        switch (c) {
        case '\t':
            escaped += "\\t";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\r':
            escaped += "\\r";
            break;
        case '\\':
            escaped += "\\\\";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

void TRowPrinter::AddRomRow(const TRomTable::TRow& row) {
    if (sharesTerminal_) {
        progress_.ClearLine();
    }
    for (size_t col = 0; col < row.size(); ++col) {
        if (col > 0) {
            out_ << '\t';
        }
        out_ << EscapeCell(row[col]);
    }
    out_ << '\n';
    if (sharesTerminal_) {
        out_.flush();
    }
}

} // namespace tabula
