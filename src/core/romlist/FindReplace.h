#pragma once

#include "core/romlist/RomTable.h"
#include "core/romlist/TableHistory.h"

#include <string>

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

} // namespace tabula
