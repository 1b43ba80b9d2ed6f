#include "core/romlist/RomDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace tabula;

namespace {

// A view of the document that keeps its own copy of the rows from what it
// is told alone, as a Qt model must: after each operation the copy must be
// the document's rows, and every "-ing" call must have its "-ed" call.
class TMirror : public IRomDocumentObserver {
public:
    explicit TMirror(const TRomDocument& document) : document_(document) { Reload(); }

    std::vector<TRomTable::TRow> Rows;
    int Steps = 0;
    bool Pending = false;

    void RowsInserting(int first, int count) override { Begin(first, count, true); }
    void RowsInserted(int first, int count) override {
        End(first, count);
        const auto rows = document_.Table().DataRows();
        Rows.insert(Rows.begin() + (first - 1), rows.begin() + (first - 1),
                    rows.begin() + (first - 1 + count));
    }
    void RowsRemoving(int first, int count) override { Begin(first, count, false); }
    void RowsRemoved(int first, int count) override {
        End(first, count);
        Rows.erase(Rows.begin() + (first - 1), Rows.begin() + (first - 1 + count));
    }
    void CellsChanged(int firstRow, int lastRow, int firstCol, int lastCol) override {
        EXPECT_FALSE(Pending);
        ASSERT_TRUE(firstRow >= 1 && lastRow < document_.RowCount() && firstRow <= lastRow);
        for (int row = firstRow; row <= lastRow; ++row) {
            for (int col = firstCol; col <= lastCol; ++col) {
                Rows[static_cast<size_t>(row - 1)][static_cast<size_t>(col)] =
                    document_.Cell(col, row);
            }
        }
    }
    void RowsReplaced(int first, int count) override {
        EXPECT_FALSE(Pending);
        const auto rows = document_.Table().DataRows();
        std::copy(rows.begin() + (first - 1), rows.begin() + (first - 1 + count),
                  Rows.begin() + (first - 1));
    }
    void Resetting() override { EXPECT_FALSE(std::exchange(Pending, true)); }
    void Reset() override {
        EXPECT_TRUE(std::exchange(Pending, false));
        Reload();
    }
    void StepsChanged() override { ++Steps; }

private:
    void Begin(int first, int count, bool inserting) {
        EXPECT_FALSE(std::exchange(Pending, true));
        // Told before the rows move: the numbers fit the rows as they stand.
        const int rows = static_cast<int>(Rows.size()) + 1;
        EXPECT_GE(first, 1);
        EXPECT_GT(count, 0);
        EXPECT_LE(inserting ? first : first + count, rows);
        begun_ = {first, count};
    }
    void End(int first, int count) {
        EXPECT_TRUE(std::exchange(Pending, false));
        EXPECT_EQ(begun_, std::make_pair(first, count));
    }
    void Reload() {
        const auto rows = document_.Table().DataRows();
        Rows.assign(rows.begin(), rows.end());
    }

    const TRomDocument& document_;
    std::pair<int, int> begun_;
};

TRomTable::TRow Row(const std::string& set) {
    return {set, set, set, set, set + ".bin", "00000000", "16"};
}

} // namespace

TEST(RomDocument, ObserverHearsEveryChangeAndEveryStepUndoesToTheStateBefore) {
    TRomDocument document;
    TMirror mirror(document);
    document.AddObserver(&mirror);
    const auto rows = [&] {
        const auto data = document.Table().DataRows();
        return std::vector<TRomTable::TRow>(data.begin(), data.end());
    };

    struct TCase {
        const char* Name;
        std::function<void()> Step;
    } cases[] = {
        {"a scan's rows as one step",
         [&] {
             document.BeginRowsStep(document.RowCount() - 1);
             document.InsertFilledRows(document.RowCount() - 1, {Row("a"), Row("b")});
             document.InsertFilledRows(document.RowCount() - 1, {Row("c"), Row("d"), Row("e")}, {});
             document.EndRowsStep();
         }},
        {"a typed cell", [&] { document.EditCell(1, 2, "Renamed"); }},
        {"rows in two runs",
         [&] {
             document.DeleteRows({5, 1, 2, 2});
         }},
        {"an inserted row", [&] { EXPECT_EQ(document.InsertRow(2), 2); }},
        {"a value in several cells",
         [&] {
             document.SetValue({{0, 1}, {0, 2}, {0, 3}}, "v");
         }},
        {"a replacement",
         [&] {
             EXPECT_EQ(document.Replace({"v", "w", 0, true}), 3);
         }},
        {"a cleared list", [&] { document.Clear(); }},
    };
    std::vector<std::vector<TRomTable::TRow>> states{rows()};
    for (const TCase& c : cases) {
        const int steps = mirror.Steps;
        c.Step();
        EXPECT_EQ(mirror.Rows, rows()) << c.Name;
        EXPECT_EQ(mirror.Steps, steps + 1) << c.Name;
        EXPECT_NE(rows(), states.back()) << c.Name;
        states.push_back(rows());
    }
    for (size_t back = states.size() - 1; back > 0; --back) {
        document.Undo();
        EXPECT_EQ(rows(), states[back - 1]) << cases[back - 1].Name;
        EXPECT_EQ(mirror.Rows, rows()) << cases[back - 1].Name;
    }
    EXPECT_FALSE(document.CanUndo());
    for (size_t ahead = 1; ahead < states.size(); ++ahead) {
        document.Redo();
        EXPECT_EQ(mirror.Rows, states[ahead]) << cases[ahead - 1].Name;
    }
    EXPECT_FALSE(document.CanRedo());

    // What records nothing: the same text again, no rows to delete, a scan
    // that found nothing.
    const int steps = mirror.Steps;
    document.EditCell(0, 1, document.Cell(0, 1));
    document.DeleteRows({0, 99});
    document.BeginRowsStep(1);
    document.EndRowsStep();
    EXPECT_EQ(mirror.Steps, steps);

    // Opening replaces every row at once and starts a new history.
    document.Open({Row("x")}, {}, nullptr);
    EXPECT_EQ(mirror.Rows, rows());
    EXPECT_FALSE(document.CanUndo());
    EXPECT_FALSE(mirror.Pending);
    document.RemoveObserver(&mirror);
    document.InsertRow(1);
    EXPECT_NE(mirror.Rows, rows());
}

TEST(RomDocument, ClearDropsTheKeptGamesWithoutARomAndKeepsTheRest) {
    auto header = std::make_shared<TKeptHeader>();
    header->GamesAfter.resize(2);
    TRomDocument document;
    document.Open({Row("a")}, {}, header);
    document.Clear();
    ASSERT_NE(document.KeptHeader(), nullptr);
    EXPECT_TRUE(document.KeptHeader()->GamesAfter.empty());
    EXPECT_EQ(header->GamesAfter.size(), 2u); // the opened datafile's own stays as read
    EXPECT_EQ(document.RowCount(), 2);
}

// The changes a scan and the window make without a step: each is told to
// the observer as it happens, rows and widths alike, and none records one.
TEST(RomDocument, ChangesOutsideTheHistoryAreToldAndRecordNothing) {
    TRomDocument document;
    TMirror mirror(document);
    document.AddObserver(&mirror);
    struct TWidths : IRomDocumentObserver {
        std::vector<std::pair<int, int>> Told;
        void WidthsChanged(int first, int last) override { Told.emplace_back(first, last); }
    } widths;
    document.AddObserver(&widths);
    struct TFixedMeasure : ITextMeasure {
        int TextWidth(const std::string& text, bool) const override {
            return static_cast<int>(text.size());
        }
    } measure;
    const std::function<void()> changes[] = {
        [&] { document.SetRowCount(4); },
        [&] { document.SetCell(2, 3, "cell"); },
        [&] { document.SetCell(2, 0, "header"); }, // ignored: the titles stay
        [&] { document.InsertBlankRows(2, 2); },
        [&] { EXPECT_EQ(document.AppendToRow(1, "first"), 0); },
        [&] { document.InsertFilledRows(99, {Row("z")}); }, // clamped to the end
        [&] { document.SetRowCount(3); },
        [&] { document.ClearDataCells(); },
    };
    for (const auto& change : changes) {
        change();
        const auto rows = document.Table().DataRows();
        EXPECT_EQ(mirror.Rows, std::vector<TRomTable::TRow>(rows.begin(), rows.end()));
        EXPECT_FALSE(mirror.Pending);
    }
    EXPECT_EQ(document.Cell(2, 0), TRomTable::Titles[2]);
    document.SetColWidth(3, 40);
    document.SetColWidth(3, 40);                   // unchanged: not told
    document.SetColWidth(TRomTable::ColCount, 40); // no such column
    document.FitColumns(true, 0, measure);
    EXPECT_EQ(widths.Told,
              (std::vector<std::pair<int, int>>{{3, 3}, {0, TRomTable::ColCount - 1}}));
    EXPECT_EQ(mirror.Steps, 0);
    EXPECT_FALSE(document.CanUndo());
}

// Modified after every kind of step, and not once undone back to the last
// open or save; a new step after undoing past the save stays modified.
TEST(RomDocument, ModifiedFollowsTheStepsFromTheLastSave) {
    TRomDocument document;
    EXPECT_FALSE(document.Modified());
    document.Open({Row("a"), Row("b")}, {}, nullptr);
    EXPECT_FALSE(document.Modified());
    document.EditCell(1, 1, "edited");
    EXPECT_TRUE(document.Modified());
    document.Undo();
    EXPECT_FALSE(document.Modified());
    document.Redo();
    document.MarkSaved();
    EXPECT_FALSE(document.Modified());
    document.InsertRow(1);
    EXPECT_TRUE(document.Modified());
    document.Undo();
    EXPECT_FALSE(document.Modified());
    document.Undo(); // before the save
    EXPECT_TRUE(document.Modified());
    document.Open({Row("c")}, {}, nullptr);
    EXPECT_FALSE(document.Modified());
    document.BeginRowsStep(1);
    document.InsertFilledRows(1, {Row("d")});
    document.EndRowsStep(); // a scan
    EXPECT_TRUE(document.Modified());
}

// Games without a rom go with the row after a deleted one, or to the end of
// the kept header, and come back to where they were with undo; Clear's
// dropping of the header's is undone too.
TEST(RomDocument, DeletedRowsLeaveTheirGamesWithoutARomBehind) {
    const auto romless = [](const std::string& name) {
        TKeptGame game;
        game.Element.Name = "game";
        game.Element.Attributes = {{"name", name}};
        return game;
    };
    const auto carrying = [&](std::vector<std::string> names) {
        TRowExtras extras;
        auto kept = std::make_shared<TKeptRow>();
        for (const std::string& name : names) {
            kept->GamesBefore.push_back(romless(name));
        }
        extras.Kept = std::move(kept);
        return extras;
    };
    auto header = std::make_shared<TKeptHeader>();
    header->GamesAfter = {romless("after")};
    TRomDocument document;
    document.Open({Row("a"), Row("b"), Row("c"), Row("d")},
                  {{}, carrying({"before b"}), carrying({"before c"}), carrying({"before d"})},
                  header);
    const auto namesBefore = [&](int row) {
        std::vector<std::string> names;
        if (const auto& kept = document.Table().Extras(row).Kept) {
            for (const TKeptGame& game : kept->GamesBefore) {
                names.push_back(*KeptGameName(game));
            }
        }
        return names;
    };
    document.DeleteRows({2, 4}); // b, and d at the end
    ASSERT_EQ(document.RowCount(), 3);
    EXPECT_EQ(document.Cell(0, 2), "c");
    EXPECT_EQ(namesBefore(2), (std::vector<std::string>{"before b", "before c"}));
    ASSERT_EQ(document.KeptHeader()->GamesAfter.size(), 2u);
    EXPECT_EQ(*KeptGameName(document.KeptHeader()->GamesAfter[0]), "before d");
    document.Undo();
    EXPECT_EQ(document.RowCount(), 5);
    EXPECT_EQ(namesBefore(3), (std::vector<std::string>{"before c"}));
    EXPECT_EQ(document.KeptHeader(), header);

    document.Clear();
    EXPECT_TRUE(document.KeptHeader()->GamesAfter.empty());
    document.Undo();
    EXPECT_EQ(document.KeptHeader(), header);
}
