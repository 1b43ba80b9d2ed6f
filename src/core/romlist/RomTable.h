#pragma once

#include "core/romlist/MatchMark.h"

#include <array>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tabula {

struct TKeptRow;

// Measures the pixel width of a cell's text in the font the cell is drawn
// with: the bold header font for row 0, the data font otherwise.
class ITextMeasure {
public:
    virtual ~ITextMeasure() = default;
    virtual int TextWidth(const std::string& text, bool headerRow) const = 0;
    // For estimating a data text's width without laying it out: the advance
    // of one character, and of two side by side (with their kerning), in
    // pixels and fractions of one. By default the widths of the characters
    // as texts.
    virtual double CharAdvance(char32_t c) const;
    virtual double PairAdvance(char32_t first, char32_t second) const;
};

// What a row carries beside its seven cells, which the table does not show.
struct TRowExtras {
    std::string Md5;  // lower-case hexadecimal, "" when not computed
    std::string Sha1; // the same
    // The rom's name as it stands on disk or in the archive, and the rom
    // name cell as the scan made it (lower-cased): while the cell still holds
    // that text, the formats that match names exactly write NameOnDisk.
    std::string NameOnDisk;
    std::string ScannedRomCell;
    // The detector file whose rule cut the rom's bytes in a scan; "" when none did.
    std::string Detector{};
    // What a row read from a datafile carries beside its cells and digests
    // (core/datafile/KeptFields.h); none for a scan's rows.
    std::shared_ptr<const TKeptRow> Kept{};
    std::string Sha256{}; // as Md5
    // What naming from a reference datafile found; a save writes nothing of it.
    TMatchMark Match = TMatchMark::None;
};

// The rom table's data and its rules, without any display: a grid of text
// cells with 7 columns whose row 0 is the header row. The Qt model and view
// sit on top of it.
class TRomTable {
public:
    static constexpr int ColCount = 7;
    static constexpr int HeaderRowHeight = 18;
    static constexpr int DataRowHeight = 15;
    using TRow = std::array<std::string, ColCount>;

    // Every cell of the row is empty or blanks (a row AppendToRow left " ").
    static bool IsBlankRow(const TRow& row);

    // Eight titles; only those whose index is below the column count are shown.
    static const std::array<const char*, 8> Titles;

    // A header row and one blank data row, every column 64 pixels wide.
    TRomTable();

    // Number of rows, header row included.
    int RowCount() const { return static_cast<int>(rows_.size()); }
    // Grows with blank rows at the end or drops rows from the end; below 1 is taken as 1.
    void SetRowCount(int count);

    // The stored text; empty for a cell outside the table or never written.
    const std::string& Cell(int col, int row) const;
    // Stores text as is; a write to row 0 or outside the table is ignored.
    void SetCell(int col, int row, std::string text);
    const TRow& Row(int row) const { return rows_.at(static_cast<size_t>(row)); }
    // Rows 1 .. RowCount - 1, in order, without copying them.
    std::span<const TRow> DataRows() const { return std::span<const TRow>(rows_).subspan(1); }

    // Inserts count blank rows so that the first gets the number index; rows from
    // index on move down. index is clamped into 1 .. RowCount (the header stays row 0).
    void InsertBlankRows(int index, int count);

    // Moves rows in so that the first gets the number index (clamped into
    // 1 .. RowCount), and moves count rows out from index on (clamped to the
    // data rows): what undoing and redoing a change do. Each row's extras go
    // with it (rows without them in extras get none).
    void InsertRows(int index, std::vector<TRow>&& rows, std::vector<TRowExtras>&& extras = {});
    std::vector<TRow> TakeRows(int index, int count, std::vector<TRowExtras>* extras = nullptr);
    // Exchanges rows (and extras, fewer: none for the rest) with the rows
    // from index on, in place: afterwards they hold what stood there. Rows
    // past the table's end are not exchanged.
    void SwapRows(int index, std::vector<TRow>& rows, std::vector<TRowExtras>& extras);

    // What a row carries beside its cells; empty for a row outside the table.
    const TRowExtras& Extras(int row) const;
    void SetExtras(int row, TRowExtras extras);
    // The extras of rows 1 .. RowCount - 1, in order, as DataRows.
    std::span<const TRowExtras> DataExtras() const {
        return std::span<const TRowExtras>(extras_).subspan(1);
    }

    // Stores text in the first empty cell of the row (an empty text as " ").
    // Returns the column used, or -1 when the row has no empty cell or does not exist.
    int AppendToRow(int row, const std::string& text);

    // Empties every cell of rows 1 .. RowCount - 1, and their extras; titles,
    // row count and widths stay.
    void ClearDataCells();

    // Each column gets its widest text plus 4 pixels, then extra when extra is not 0.
    // The table has no fixed columns, so includeFixed changes nothing. Each
    // text is estimated from the advances of its characters and of its pairs
    // of neighbours, and only the distinct texts whose estimate could reach
    // the widest are measured whole.
    void FitColumns(bool includeFixed, int extra, const ITextMeasure& measure);

    int ColWidth(int col) const { return widths_.at(static_cast<size_t>(col)); }
    void SetColWidth(int col, int width);

    int RowHeight(int row) const { return row == 0 ? HeaderRowHeight : DataRowHeight; }

private:
    std::vector<TRow> rows_;
    std::vector<TRowExtras> extras_; // one per row, the header's empty
    std::array<int, ColCount> widths_{};
};

} // namespace tabula
