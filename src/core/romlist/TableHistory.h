#pragma once

#include "core/romlist/KeptFields.h"
#include "core/romlist/RomTable.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace tabula {

// One change to the rom table, with what it replaced, so that it can be
// undone and made again. Rows from table row First on: BeforeCount rows
// stood there, AfterCount stand there now (either may be 0). The rows move
// between the table and the change: Before holds the replaced rows while the
// change is made, After holds its own rows while it is undone, and the side
// that stands in the table is empty, so a step of a whole scan costs no copy.
// Cells changed in place come after the rows.
struct TTableChange {
    struct TCell {
        int Row = 0; // table row (the header is row 0)
        int Col = 0;
        std::string Before;
        std::string After;
    };
    int First = 1;
    std::size_t BeforeCount = 0;
    std::size_t AfterCount = 0;
    std::vector<TRomTable::TRow> Before;
    std::vector<TRomTable::TRow> After;
    // What the rows carry beside their cells, moving with them (fewer than
    // the rows: none for the rest).
    std::vector<TRowExtras> BeforeExtras;
    std::vector<TRowExtras> AfterExtras;
    std::vector<TCell> Cells;
    // The kept header of an opened datafile changes places with this one
    // after the rows (games without a rom that went to its end); only when
    // SwapsHeader.
    bool SwapsHeader = false;
    std::shared_ptr<const TKeptHeader> Header;

    bool Empty() const {
        return BeforeCount == 0 && AfterCount == 0 && Cells.empty() && !SwapsHeader;
    }
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
    // Names the state the steps made so far lead to: equal numbers, equal
    // tables (a step undone and made again gives its number back).
    std::uint64_t State() const { return undoIds_.empty() ? baseId_ : undoIds_.back(); }
    // The step to take back (moved to the redo side), or nullptr.
    TTableStep* Undo();
    // The step to make again (moved to the undo side), or nullptr.
    TTableStep* Redo();
    void Clear();

private:
    std::deque<TTableStep> undo_;
    std::deque<TTableStep> redo_;
    // Each step's number, beside it; the state before the oldest step kept.
    std::deque<std::uint64_t> undoIds_;
    std::deque<std::uint64_t> redoIds_;
    std::uint64_t baseId_ = 0;
    std::uint64_t nextId_ = 1;
};

} // namespace tabula
