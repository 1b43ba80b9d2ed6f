#include "core/romlist/RomTable.h"

#include <gtest/gtest.h>

using tabula::ITextMeasure;
using tabula::TRomTable;

namespace {

// Header text measures 10 pixels a character, data text 7, so a test can tell
// which font a cell was measured in.
class TFakeMeasure : public ITextMeasure {
public:
    int TextWidth(const std::string& text, bool headerRow) const override {
        return static_cast<int>(text.size()) * (headerRow ? 10 : 7);
    }
};

} // namespace

TEST(RomTable, FreshTableHasSevenTitlesAndOneBlankRow) {
    TRomTable table;
    ASSERT_EQ(table.RowCount(), 2);
    const char* expected[] = {"Set dos name", "Set full name", "Clone dos name", "Clone full name",
                              "Rom name",     "Rom crc",       "Rom size"};
    for (int col = 0; col < TRomTable::ColCount; ++col) {
        EXPECT_EQ(table.Cell(col, 0), expected[col]);
        EXPECT_EQ(table.Cell(col, 1), "");
    }
    EXPECT_EQ(table.Cell(7, 0), "") << "the eighth title is never shown";
    EXPECT_EQ(table.RowHeight(0), 18);
    EXPECT_EQ(table.RowHeight(1), 15);
}

TEST(RomTable, AppendToRowFillsColumnsInCallOrderAndKeepsEmptyTextsAsBlank) {
    TRomTable table;
    const char* values[] = {"game", "Game", "game", "", "game.smc", "CBF43926", "1024"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(table.AppendToRow(1, values[i]), i);
    }
    EXPECT_EQ(table.Cell(3, 1), " ");
    EXPECT_EQ(table.Cell(4, 1), "game.smc");
    EXPECT_EQ(table.Cell(6, 1), "1024");

    // A full row stores nothing more.
    EXPECT_EQ(table.AppendToRow(1, "extra"), -1);
    for (int col = 0; col < 7; ++col) {
        EXPECT_NE(table.Cell(col, 1), "extra");
    }
    // The header row and rows outside the table are never written.
    EXPECT_EQ(table.AppendToRow(0, "x"), -1);
    EXPECT_EQ(table.AppendToRow(5, "x"), -1);
    EXPECT_EQ(table.Cell(0, 0), "Set dos name");
}

TEST(RomTable, AppendToRowUsesTheFirstEmptyCellEvenAfterFilledOnes) {
    TRomTable table;
    table.SetCell(0, 1, "a");
    table.SetCell(2, 1, "c");
    EXPECT_EQ(table.AppendToRow(1, "b"), 1);
    EXPECT_EQ(table.AppendToRow(1, "d"), 3);
}

TEST(RomTable, RowCountKeepsTheHeaderRowAndCountsIt) {
    TRomTable table;
    table.SetRowCount(1);
    EXPECT_EQ(table.RowCount(), 1);
    EXPECT_EQ(table.Cell(0, 0), "Set dos name");
    table.SetRowCount(0);
    EXPECT_EQ(table.RowCount(), 1);
    table.SetRowCount(-5);
    EXPECT_EQ(table.RowCount(), 1);
    EXPECT_EQ(table.Cell(6, 0), "Rom size");
    EXPECT_EQ(table.AppendToRow(0, "x"), -1) << "the header never becomes a data row";
    EXPECT_TRUE(table.DataRows().empty());

    table.SetRowCount(4);
    EXPECT_EQ(table.RowCount(), 4);
    EXPECT_EQ(table.DataRows().size(), 3u);
    EXPECT_EQ(table.Cell(0, 3), "");
}

TEST(RomTable, InsertInFrontOfTheLastRowKeepsTheTrailingBlankRowLast) {
    TRomTable table;
    for (int n = 0; n < 3; ++n) {
        table.InsertBlankRows(table.RowCount() - 1, 1);
        table.AppendToRow(table.RowCount() - 2, "rom" + std::to_string(n));
    }
    ASSERT_EQ(table.RowCount(), 5);
    EXPECT_EQ(table.Cell(0, 1), "rom0");
    EXPECT_EQ(table.Cell(0, 2), "rom1");
    EXPECT_EQ(table.Cell(0, 3), "rom2");
    EXPECT_EQ(table.Cell(0, 4), "") << "the blank row stays last";

    table.InsertBlankRows(2, 2);
    EXPECT_EQ(table.RowCount(), 7);
    EXPECT_EQ(table.Cell(0, 1), "rom0");
    EXPECT_EQ(table.Cell(0, 2), "");
    EXPECT_EQ(table.Cell(0, 3), "");
    EXPECT_EQ(table.Cell(0, 4), "rom1");

    // An index at the header lands behind it.
    table.InsertBlankRows(0, 1);
    EXPECT_EQ(table.Cell(0, 0), "Set dos name");
    EXPECT_EQ(table.Cell(0, 2), "rom0");
}

TEST(RomTable, ClearDataCellsKeepsTitlesRowCountAndWidths) {
    TRomTable table;
    table.InsertBlankRows(1, 2);
    table.AppendToRow(1, "one");
    table.AppendToRow(2, "two");
    table.SetColWidth(0, 200);
    table.ClearDataCells();
    EXPECT_EQ(table.RowCount(), 4);
    EXPECT_EQ(table.Cell(0, 1), "");
    EXPECT_EQ(table.Cell(0, 2), "");
    EXPECT_EQ(table.Cell(0, 0), "Set dos name");
    EXPECT_EQ(table.ColWidth(0), 200);
}

TEST(RomTable, FitColumnsTakesTheWidestTextInItsOwnFontPlusFour) {
    TRomTable table;
    TFakeMeasure measure;
    table.FitColumns(true, 0, measure);
    // Blank data rows: the bold header decides.
    EXPECT_EQ(table.ColWidth(0), 12 * 10 + 4);
    EXPECT_EQ(table.ColWidth(5), 7 * 10 + 4);

    // A long rom name widens only its own column, measured in the data font.
    table.SetCell(4, 1, std::string(40, 'x'));
    table.SetColWidth(0, 500);
    table.FitColumns(true, 0, measure);
    EXPECT_EQ(table.ColWidth(4), 40 * 7 + 4);
    EXPECT_EQ(table.ColWidth(0), 12 * 10 + 4) << "a fit also narrows a column";
    EXPECT_EQ(table.ColWidth(3), 15 * 10 + 4);

    table.FitColumns(false, 6, measure);
    EXPECT_EQ(table.ColWidth(4), 40 * 7 + 4 + 6);
}

TEST(RomTable, FitColumnsMeasuresOnlyTextsThatMayBeWidestAndStaysExact) {
    // Laid out, "W" after "A" takes 3 pixels less than the two advances (a
    // kerning pair); a text holding the combining acute accent takes 3 more
    // than its characters and pairs say (shaping of a whole cluster).
    class TShapingMeasure : public ITextMeasure {
    public:
        mutable int measured = 0;
        int TextWidth(const std::string& text, bool headerRow) const override {
            measured += headerRow || text.size() < 4 ? 0 : 1;
            int width = 0;
            for (size_t i = 0; i < text.size(); ++i) {
                const auto byte = static_cast<unsigned char>(text[i]);
                width += byte == 'i' ? 3 : byte < 0x80 ? 7 : byte == 0xCC ? 2 : 0;
                if (i > 0 && text.compare(i - 1, 2, "AW") == 0) {
                    width -= 3;
                }
            }
            return width + (text.size() > 4 && text.find("\xCC\x81") != std::string::npos ? 3 : 0);
        }
    };
    TRomTable table;
    table.SetRowCount(2001);
    for (int row = 1; row <= 2000; ++row) {
        table.SetCell(4, row, "rom" + std::to_string(row % 1000 + 1000) + ".bin");
        table.SetCell(5, row, "iiiiiiiiiiiiiiiiiiiiiiiiiii"); // the same text throughout
        table.SetCell(6, row, "AWAWAWAWAWAWAWAW");            // 88: its pairs kern
    }
    table.SetCell(6, 7, "eeeeeeeeeeee\xCC\x81"); // estimated 86, laid out 89
    TShapingMeasure measure;
    table.FitColumns(true, 0, measure);
    EXPECT_EQ(table.ColWidth(4), 10 * 7 + 3 + 4); // "rom1999.bin"
    EXPECT_EQ(table.ColWidth(5), 27 * 3 + 4);
    EXPECT_EQ(table.ColWidth(6), 89 + 4);
    EXPECT_LE(measure.measured, 5) << "ties and narrower texts measured whole";
}

TEST(RomTable, HundredThousandRowsInsertedInFrontOfTheLast) {
    TRomTable table;
    for (int n = 0; n < 100000; ++n) {
        table.InsertBlankRows(table.RowCount() - 1, 1);
        table.AppendToRow(table.RowCount() - 2, std::to_string(n));
    }
    EXPECT_EQ(table.RowCount(), 100002);
    EXPECT_EQ(table.Cell(0, 1), "0");
    EXPECT_EQ(table.Cell(0, 100000), "99999");
    EXPECT_EQ(table.Cell(0, 100001), "");
}
