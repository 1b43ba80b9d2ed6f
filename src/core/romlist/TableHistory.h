#pragma once

#include "core/romlist/RomTable.h"

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

namespace tabula {

// One change to the rom table, with what it replaced, so that it can be
// undone and made again. Rows from table row First on: Before stood there,
// After stands there now (either may be empty). Cells changed in place come
// after the rows.
struct TTableChange {
    struct TCell {
        int Row = 0; // table row (the header is row 0)
        int Col = 0;
        std::string Before;
        std::string After;
    };
    int First = 1;
    std::vector<TRomTable::TRow> Before;
    std::vector<TRomTable::TRow> After;
    std::vector<TCell> Cells;

    bool Empty() const { return Before.empty() && After.empty() && Cells.empty(); }
};

// One step of the user's (an edit, a deletion, a scan): changes made in
// order, undone in the reverse order. A change removes Before and inserts
// After at First, then sets its cells; taking it back sets the cells back
// first.
using TTableStep = std::vector<TTableChange>;

// The steps that can be undone and made again, the last MaxSteps kept.
class TTableHistory {
public:
    static constexpr std::size_t MaxSteps = 100;

    // A new step; what was undone before it can no longer be made again.
    // An empty step is not kept.
    void Record(TTableStep step);
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    std::size_t UndoCount() const { return undo_.size(); }
    // The step to take back (moved to the redo side), or nullptr.
    const TTableStep* Undo();
    // The step to make again (moved to the undo side), or nullptr.
    const TTableStep* Redo();
    void Clear();

private:
    std::deque<TTableStep> undo_;
    std::deque<TTableStep> redo_;
};

} // namespace tabula
