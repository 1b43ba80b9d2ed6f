#include "core/romlist/TablePaste.h"

#include "core/romlist/RomTable.h"

#include <algorithm>

namespace tabula {

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t from = 0;;) {
        const std::size_t at = text.find(separator, from);
        parts.push_back(text.substr(from, at == std::string_view::npos ? at : at - from));
        if (at == std::string_view::npos) {
            return parts;
        }
        from = at + 1;
    }
}

} // namespace

std::string TabSeparatedText(const std::vector<std::vector<std::string>>& rows) {
    std::string text;
    for (const std::vector<std::string>& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            text += c == 0 ? "" : "\t";
            text += row[c];
        }
        text += '\n';
    }
    return text;
}

TTableChange PasteChange(const TRomTable& table, int col, int row, std::string_view text) {
    TTableChange change;
    if (text.empty()) {
        return change;
    }
    if (text.back() == '\n') {
        text.remove_suffix(1);
    }
    std::vector<std::string_view> lines = Split(text, '\n');
    const int dataRows = table.RowCount() - 1;
    if (row < 1 || row + static_cast<int>(lines.size()) - 1 > dataRows) {
        const int room = std::max(dataRows - row + 1, 0);
        throw EPasteRefused("The " + std::to_string(lines.size()) +
                            " pasted lines do not fit: the table has " + std::to_string(room) +
                            (room == 1 ? " row" : " rows") + " from the current one on");
    }
    for (std::size_t l = 0; l < lines.size(); ++l) {
        std::string_view line = lines[l];
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::vector<std::string_view> cells = Split(line, '\t');
        if (col < 0 || col + static_cast<int>(cells.size()) > TRomTable::ColCount) {
            throw EPasteRefused("Line " + std::to_string(l + 1) + " holds " +
                                std::to_string(cells.size()) + " cells, more than the " +
                                std::to_string(std::max(TRomTable::ColCount - col, 0)) +
                                " columns from the current one on");
        }
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (cells[c].find('\r') != std::string_view::npos) {
                throw EPasteRefused("Line " + std::to_string(l + 1) + " holds a line break");
            }
            const int r = row + static_cast<int>(l);
            const int k = col + static_cast<int>(c);
            if (table.Cell(k, r) != cells[c]) {
                change.Cells.push_back({r, k, table.Cell(k, r), std::string(cells[c])});
            }
        }
    }
    return change;
}

} // namespace tabula
