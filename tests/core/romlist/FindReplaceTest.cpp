#include "core/romlist/FindReplace.h"
#include "core/romlist/TablePaste.h"

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

TEST(FindReplace, ReplacesPlainTextByColumnAndCase) {
    const TRomTable table = TableOf({
        {"mario", "Mario (U)", "mario", "Mario (U)", "mario.nes", "ABCD0123", "16"},
        {"zelda", "Zelda (U) (U)", "zelda", "Zelda", "zelda.nes", "00000000", "32"},
    });
    struct TCase {
        const char* Name;
        TReplaceRequest Request;
        int Replacements;
        std::vector<std::tuple<int, int, std::string>> Cells; // row, col, text after
    } cases[] = {
        {"every column, any case",
         {"(u)", "(E)", TReplaceRequest::AllColumns, false},
         4,
         {{1, 1, "Mario (E)"}, {1, 3, "Mario (E)"}, {2, 1, "Zelda (E) (E)"}}},
        {"one column", {"(U)", "(E)", 3, false}, 1, {{1, 3, "Mario (E)"}}},
        {"case matters", {"(u)", "(E)", TReplaceRequest::AllColumns, true}, 0, {}},
        {"whole cell, left to right without overlaps", {"00", "0", 5, true}, 4, {{2, 5, "0000"}}},
        {"nothing to find", {"", "x", TReplaceRequest::AllColumns, false}, 0, {}},
        {"the header is not a data cell", {"Rom", "X", TReplaceRequest::AllColumns, true}, 0, {}},
    };
    for (const TCase& c : cases) {
        const TReplaceResult result = ReplaceAll(table, c.Request);
        EXPECT_EQ(result.Replacements, c.Replacements) << c.Name;
        ASSERT_EQ(result.Change.Cells.size(), c.Cells.size()) << c.Name;
        for (size_t i = 0; i < c.Cells.size(); ++i) {
            const auto& [row, col, after] = c.Cells[i];
            const TTableChange::TCell& cell = result.Change.Cells[i];
            EXPECT_EQ(cell.Row, row) << c.Name;
            EXPECT_EQ(cell.Col, col) << c.Name;
            EXPECT_EQ(cell.Before, table.Cell(col, row)) << c.Name;
            EXPECT_EQ(cell.After, after) << c.Name;
        }
        EXPECT_EQ(result.Change.BeforeCount + result.Change.AfterCount, 0u) << c.Name;
    }
}

TEST(TableHistory, KeepsTheLastHundredStepsAndForgetsRedoOnANewStep) {
    TTableHistory history;
    const auto step = [](int n) {
        TTableChange change;
        change.Cells.push_back({1, 0, std::to_string(n), std::to_string(n + 1)});
        return TTableStep{change};
    };
    history.Record(TTableStep{TTableChange{}}); // changes nothing: not kept
    EXPECT_FALSE(history.CanUndo());
    for (int n = 0; n < 120; ++n) {
        history.Record(step(n));
    }
    EXPECT_EQ(history.UndoCount(), TTableHistory::MaxSteps);
    const TTableStep* last = history.Undo();
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->front().Cells.front().Before, "119");
    EXPECT_TRUE(history.CanRedo());
    int undone = 1;
    while (const TTableStep* oldest = history.Undo()) {
        last = oldest;
        ++undone;
    }
    EXPECT_EQ(undone, 100);
    EXPECT_EQ(last->front().Cells.front().Before, "20"); // the first 20 were dropped
    ASSERT_NE(history.Redo(), nullptr);
    history.Record(step(500));
    EXPECT_FALSE(history.CanRedo());
}

// Find next goes on from the cell after the current one, in reading order,
// around from the top, the current cell itself last.
TEST(FindReplace, FindNextGoesOnInReadingOrderAndAround) {
    const TRomTable table = TableOf({
        {"mario", "Mario (U)", "mario", "Mario (U)", "mario.nes", "ABCD0123", "16"},
        {"zelda", "Zelda", "zelda", "Zelda", "zelda.nes", "00000000", "32"},
    });
    using TCell = std::optional<std::pair<int, int>>;
    const struct {
        TReplaceRequest Request;
        int Col, Row;
        TCell Found;
    } cases[] = {
        {{"MARIO", "", TReplaceRequest::AllColumns, false}, 0, 0, TCell{{0, 1}}}, // from the header
        {{"MARIO", "", TReplaceRequest::AllColumns, false}, 0, 1, TCell{{1, 1}}},
        {{"mario", "", 4, false}, 4, 1, TCell{{4, 1}}}, // the only one: itself, last
        {{"Mario", "", TReplaceRequest::AllColumns, true}, 3, 1, TCell{{1, 1}}}, // around
        {{"zelda", "", 1, true}, 0, 1, std::nullopt},
        {{"", "", TReplaceRequest::AllColumns, false}, 0, 1, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindNext(table, c.Request, c.Col, c.Row), c.Found) << c.Request.Find;
    }
}

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
