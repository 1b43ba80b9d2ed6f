#pragma once

#include "core/scan/TableRowSink.h"
#include "gui/romlist/EditGrid.h"

#include <iterator>
#include <vector>

namespace tabula {

// A scan's rows into the window's grid. The rows wait in a batch until Flush,
// which the scan calls at the pace it repaints the window, so a scan of many
// small files is not bound by updating the view once per row; what stands
// in the table, and where, is what adding them one by one would give.
class TGridRowSink : public TTableRowSink<TEditGrid> {
public:
    explicit TGridRowSink(TEditGrid& grid) : TTableRowSink<TEditGrid>(grid), grid_(grid) {}

    void AddRomRow(const TRomTable::TRow& row) override { AddScannedRow(row, {}); }
    void AddScannedRow(const TRomTable::TRow& row, const TRowExtras& extras) override {
        pending_.push_back(row);
        pendingExtras_.push_back(extras);
    }

    // Rows and their extras in scan order, taken rather than copied.
    void AddScannedRows(std::vector<TRomTable::TRow>&& rows, std::vector<TRowExtras>&& extras) {
        extras.resize(rows.size());
        if (pending_.empty()) {
            pending_.swap(rows);
            pendingExtras_.swap(extras);
        } else {
            pending_.insert(pending_.end(), std::make_move_iterator(rows.begin()),
                            std::make_move_iterator(rows.end()));
            pendingExtras_.insert(pendingExtras_.end(), std::make_move_iterator(extras.begin()),
                                  std::make_move_iterator(extras.end()));
        }
    }

    void ListingCompleted() override {
        Flush();
        TTableRowSink<TEditGrid>::ListingCompleted();
    }

    // Puts the waiting rows in front of the table's last row.
    void Flush() {
        if (pending_.empty()) {
            return;
        }
        const int first = grid_.RowCount() - 1; // the table row the first new one gets
        grid_.Document().InsertFilledRows(first, std::move(pending_), std::move(pendingExtras_));
        pending_.clear();
        pendingExtras_.clear();
        // Painted with the next handling of events. Rows below a full view
        // change nothing on screen but the scroll bar, which follows anyway.
        const int lastShown = grid_.rowAt(grid_.viewport()->height() - 1);
        if (lastShown < 0 || first - 1 <= lastShown) {
            grid_.viewport()->update();
        }
    }

private:
    TEditGrid& grid_;
    std::vector<TRomTable::TRow> pending_;
    std::vector<TRowExtras> pendingExtras_;
};

} // namespace tabula
