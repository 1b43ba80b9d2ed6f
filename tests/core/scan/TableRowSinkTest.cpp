#include "core/scan/TableRowSink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tabula;

namespace {

using TRow = TRomTable::TRow;

TRow RomRow(const std::string& name) {
    return {name, name, name, name, name + ".bin", "0", "1"};
}

// Plays a scan of the given rows into table, as the driver calls the sink.
void PlayScan(TRomTable& table, const std::vector<std::string>& names, bool completed) {
    TTableRowSink<TRomTable> sink(table);
    sink.ListingStarted();
    for (const std::string& name : names) {
        sink.AddRomRow(RomRow(name));
    }
    if (completed) {
        sink.ListingCompleted();
    }
}

std::vector<std::string> FirstCells(const TRomTable& table) {
    std::vector<std::string> cells;
    for (int row = 0; row < table.RowCount(); ++row) {
        cells.push_back(table.Cell(0, row));
    }
    return cells;
}

} // namespace

TEST(TableRowSink, CompletedScanOfAFreshTableLeavesHeaderAndRowsOnly) {
    TRomTable table;
    PlayScan(table, {"a", "b", "c"}, true);
    EXPECT_EQ(FirstCells(table), (std::vector<std::string>{"Set dos name", "a", "b", "c"}));
    EXPECT_EQ(table.Row(2), RomRow("b"));

    TRomTable empty;
    PlayScan(empty, {}, true);
    EXPECT_EQ(empty.RowCount(), 1);
}

TEST(TableRowSink, CancelledScanKeepsTheTrailingBlankRow) {
    TRomTable table;
    PlayScan(table, {"a", "b"}, false);
    EXPECT_EQ(FirstCells(table), (std::vector<std::string>{"Set dos name", "a", "b", ""}));
    // The next scan goes on in front of that row, as after start-up.
    PlayScan(table, {"c"}, true);
    EXPECT_EQ(FirstCells(table), (std::vector<std::string>{"Set dos name", "a", "b", "c"}));
}

TEST(TableRowSink, ScanAfterACompletedScanKeepsEveryEarlierRowAboveTheNewOnes) {
    TRomTable table;
    PlayScan(table, {"a", "b"}, true);
    PlayScan(table, {"c"}, true);
    EXPECT_EQ(FirstCells(table), (std::vector<std::string>{"Set dos name", "a", "b", "c"}));
    // A scan that adds nothing removes no rom row.
    PlayScan(table, {}, true);
    EXPECT_EQ(FirstCells(table), (std::vector<std::string>{"Set dos name", "a", "b", "c"}));
    // Nor does a cancelled one that adds nothing remove a row; it leaves its blank row.
    PlayScan(table, {}, false);
    EXPECT_EQ(FirstCells(table), (std::vector<std::string>{"Set dos name", "a", "b", "c", ""}));
}

TEST(TableRowSink, HeaderOnlyTableGetsItsRowsBelowTheHeader) {
    TRomTable table;
    PlayScan(table, {}, true);
    ASSERT_EQ(table.RowCount(), 1);
    PlayScan(table, {"a", "b"}, true);
    EXPECT_EQ(FirstCells(table), (std::vector<std::string>{"Set dos name", "a", "b"}));
    EXPECT_EQ(table.Cell(0, 0), "Set dos name");
}

TEST(TableRowSink, RowTheUserTypedIntoIsNoBlankRow) {
    TRomTable table;
    table.SetCell(1, 1, "typed");
    PlayScan(table, {"a"}, true);
    EXPECT_EQ(table.RowCount(), 3);
    EXPECT_EQ(table.Cell(1, 1), "typed");
    EXPECT_EQ(table.Cell(0, 2), "a");
}
