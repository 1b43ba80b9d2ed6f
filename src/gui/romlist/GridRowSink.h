#pragma once

#include "romlist/EditGrid.h"
#include "scan/TableRowSink.h"

#include <vector>

namespace tabula {

// A scan's rows into the window's grid. The rows wait in a batch until Flush,
// which the scan calls at the pace it repaints the window, so a scan of many
// small files is not bound by updating the view once per row; what stands
// in the table, and where, is what adding them one by one would give.
class TGridRowSink : public TTableRowSink<TEditGrid> {
public:
    explicit TGridRowSink(TEditGrid& grid) : TTableRowSink<TEditGrid>(grid), grid_(grid) {}

    void AddRomRow(const TRomTable::TRow& row) override { pending_.push_back(row); }

    void ListingCompleted() override {
        Flush();
        TTableRowSink<TEditGrid>::ListingCompleted();
    }

    // Puts the waiting rows in front of the table's last row and repaints.
    void Flush() {
        if (pending_.empty()) {
            return;
        }
        grid_.RomModel()->InsertFilledRows(grid_.RowCount() - 1, pending_);
        pending_.clear();
        grid_.Repaint();
    }

private:
    TEditGrid& grid_;
    std::vector<TRomTable::TRow> pending_;
};

} // namespace tabula
