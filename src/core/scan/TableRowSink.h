#pragma once

#include "core/romlist/RomTable.h"
#include "core/scan/ScanDriver.h"

#include <string>

namespace tabula {

// Puts a scan's rows into a rom table: the core's TRomTable or the GUI's grid,
// anything with RowCount, Cell, InsertBlankRows, AppendToRow and SetRowCount
// whose row 0 is the header row.
//
// A scan adds to the rows already there. New rows go in front of the table's
// trailing blank row, which stays last while the scan runs and is removed when
// the scan has looked at every file; a cancelled scan leaves it. A table may
// start without that row: after a completed scan its last row is a rom row, or
// it holds the header row alone. Such a table first gets a blank row at its
// end, so the new rows come after every row already there (never in front of
// the header) and the removal at the end takes that blank row, never a rom
// row. The last row is removed only when it is blank.
template <class Table> class TTableRowSink : public IRomRowSink {
public:
    explicit TTableRowSink(Table& table) : table_(table) {}

    void ListingStarted() override {
        if (table_.RowCount() < 2 || !LastRowIsBlank()) {
            table_.SetRowCount(table_.RowCount() + 1);
        }
    }

    void AddRomRow(const TRomTable::TRow& row) override {
        const int r = table_.RowCount() - 1;
        table_.InsertBlankRows(r, 1);
        for (const std::string& cell : row) {
            table_.AppendToRow(r, cell);
        }
    }

    void ListingCompleted() override {
        if (table_.RowCount() >= 2 && LastRowIsBlank()) {
            table_.SetRowCount(table_.RowCount() - 1);
        }
    }

private:
    bool LastRowIsBlank() const {
        const int last = table_.RowCount() - 1;
        for (int col = 0; col < TRomTable::ColCount; ++col) {
            if (!table_.Cell(col, last).empty()) {
                return false;
            }
        }
        return true;
    }

    Table& table_;
};

} // namespace tabula
