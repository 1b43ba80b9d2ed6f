#include "core/romlist/FindReplace.h"

#include "core/text/StringsTools.h"

#include <algorithm>

namespace tabula {

namespace {

// The cell with every occurrence replaced; count grows by their number.
std::string Replaced(const std::string& cell, const TReplaceRequest& request, int& count) {
    // Folding touches ASCII letters only, so positions in the folded texts
    // are positions in the cell.
    const std::string haystack = request.MatchCase ? cell : LowerCase(cell);
    const std::string needle = request.MatchCase ? request.Find : LowerCase(request.Find);
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, from)) {
        out.append(cell, from, at - from);
        out += request.Replace;
        from = at + needle.size();
        ++count;
    }
    if (from == 0) {
        return cell;
    }
    out.append(cell, from, std::string::npos);
    return out;
}

} // namespace

std::optional<std::pair<int, int>> FindNext(const TRomTable& table, const TReplaceRequest& request,
                                            int col, int row) {
    const int rows = table.RowCount() - 1;
    if (request.Find.empty() || rows <= 0) {
        return std::nullopt;
    }
    const std::string needle = request.MatchCase ? request.Find : LowerCase(request.Find);
    const auto holds = [&](int c, int r) {
        const std::string& cell = table.Cell(c, r);
        return (request.MatchCase ? cell : LowerCase(cell)).find(needle) != std::string::npos;
    };
    // Cells numbered in reading order from row 1; from the header row (or
    // no cell) the search starts at the first cell.
    const long total = static_cast<long>(rows) * TRomTable::ColCount;
    const long start =
        row < 1 ? total - 1
                : std::min(static_cast<long>(row - 1) * TRomTable::ColCount + col, total - 1);
    for (long step = 1; step <= total; ++step) {
        const long at = (start + step) % total;
        const int c = static_cast<int>(at % TRomTable::ColCount);
        const int r = static_cast<int>(at / TRomTable::ColCount) + 1;
        if ((request.Column == TReplaceRequest::AllColumns || c == request.Column) && holds(c, r)) {
            return std::pair{c, r};
        }
    }
    return std::nullopt;
}

TReplaceResult ReplaceAll(const TRomTable& table, const TReplaceRequest& request) {
    TReplaceResult result;
    if (request.Find.empty()) {
        return result;
    }
    for (int row = 1; row < table.RowCount(); ++row) {
        for (int col = 0; col < TRomTable::ColCount; ++col) {
            if (request.Column != TReplaceRequest::AllColumns && col != request.Column) {
                continue;
            }
            const std::string& cell = table.Cell(col, row);
            const int before = result.Replacements;
            std::string after = Replaced(cell, request, result.Replacements);
            if (result.Replacements != before) {
                result.Change.Cells.push_back({row, col, cell, std::move(after)});
            }
        }
    }
    return result;
}

} // namespace tabula
