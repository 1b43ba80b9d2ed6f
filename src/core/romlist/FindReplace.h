#pragma once

#include "core/romlist/RomTable.h"
#include "core/romlist/TableHistory.h"

#include <optional>
#include <string>
#include <utility>

namespace tabula {

// What "Find and replace" is asked: plain text, in one column or all.
struct TReplaceRequest {
    std::string Find;
    std::string Replace;
    int Column = AllColumns;
    // Otherwise ASCII letters match either case (the table's case rule).
    bool MatchCase = false;

    static constexpr int AllColumns = -1;
};

struct TReplaceResult {
    // The cells that change, as one change of the table.
    TTableChange Change;
    // Occurrences replaced (a cell may hold several).
    int Replacements = 0;
};

// Replaces every occurrence of Find in the data cells, left to right and
// without overlaps; a replaced text is not looked at again. An empty Find
// replaces nothing. The table itself is left as it is.
TReplaceResult ReplaceAll(const TRomTable& table, const TReplaceRequest& request);

// The first data cell after (col, row), in reading order and around from
// the top, that holds Find in the request's column with its case rule (the
// cell itself last); nothing when none does or Find is empty. Cells as
// {col, row}.
std::optional<std::pair<int, int>> FindNext(const TRomTable& table, const TReplaceRequest& request,
                                            int col, int row);

} // namespace tabula
