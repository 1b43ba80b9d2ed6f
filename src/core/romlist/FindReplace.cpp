#include "core/romlist/FindReplace.h"

#include "core/text/StringsTools.h"

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
