#include "core/romlist/TablePaste.h"

#include "core/romlist/RomTable.h"

#include <gtest/gtest.h>

using namespace tabula;

namespace {

TRomTable TableOf(std::vector<TRomTable::TRow> rows) {
    TRomTable table;
    table.SetRowCount(1);
    table.InsertRows(1, std::move(rows));
    return table;
}

} // namespace

// Copied cells paste back where they came from; a paste writes only the
// cells that change, and refuses what the table has no room for.
TEST(TablePaste, CopiedCellsPasteBackAndWhatDoesNotFitIsRefused) {
    const TRomTable table = TableOf({
        {"a", "A", "a", "A", "a.bin", "00000001", "1"},
        {"b", "B", "b", "B", "b.bin", "00000002", "2"},
    });
    const std::string copied = TabSeparatedText({{"a.bin", "00000001"}, {"b.bin", "00000002"}});
    EXPECT_EQ(copied, "a.bin\t00000001\nb.bin\t00000002\n");
    EXPECT_TRUE(PasteChange(table, 4, 1, copied).Cells.empty()); // the same cells: no change

    const TTableChange change = PasteChange(table, 4, 1, "x.bin\t00000001\r\nb.bin\ty\r\n");
    ASSERT_EQ(change.Cells.size(), 2u);
    EXPECT_EQ(change.Cells[0].Row, 1);
    EXPECT_EQ(change.Cells[0].Col, 4);
    EXPECT_EQ(change.Cells[0].After, "x.bin");
    EXPECT_EQ(change.Cells[1].Row, 2);
    EXPECT_EQ(change.Cells[1].Col, 5);
    EXPECT_EQ(change.Cells[1].Before, "00000002");
    EXPECT_EQ(change.Cells[1].After, "y");

    const struct {
        int Col, Row;
        const char* Text;
        const char* Message;
    } refused[] = {
        {5, 1, "a\tb\tc", "Line 1 holds 3 cells, more than the 2 columns from the current one on"},
        {0, 2, "a\nb",
         "The 2 pasted lines do not fit: the table has 1 row from the current one on"},
        {0, 1, "a\rb", "Line 1 holds a line break"},
    };
    for (const auto& c : refused) {
        try {
            PasteChange(table, c.Col, c.Row, c.Text);
            ADD_FAILURE() << c.Text;
        } catch (const EPasteRefused& error) {
            EXPECT_STREQ(error.what(), c.Message);
        }
    }
}
