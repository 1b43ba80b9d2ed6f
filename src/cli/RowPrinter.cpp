#include "cli/RowPrinter.h"

#include "cli/TerminalProgress.h"

namespace tabula {

std::string TRowPrinter::EscapeCell(const std::string& cell) {
    if (cell.find_first_of("\t\n\r\\") == std::string::npos) {
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
