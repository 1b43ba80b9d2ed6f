#include "romlist/RomTable.h"

#include <algorithm>

namespace tabula {

const std::array<const char*, 8> TRomTable::Titles = {
    "Set dos name", "Set full name", "Clone dos name", "Clone full name",
    "Rom name",     "Rom crc",       "Rom size",       "<-"};

namespace {
const std::string EmptyText;
constexpr int DefaultColWidth = 64;
} // namespace

TRomTable::TRomTable() {
    TRow header;
    for (size_t i = 0; i < Titles.size(); ++i) {
        if (i < header.size()) {
            header[i] = Titles[i];
        }
    }
    rows_.push_back(std::move(header));
    rows_.emplace_back();
    widths_.fill(DefaultColWidth);
}

void TRomTable::SetRowCount(int count) {
    rows_.resize(static_cast<size_t>(std::max(count, 1)));
}

const std::string& TRomTable::Cell(int col, int row) const {
    if (col < 0 || col >= ColCount || row < 0 || row >= RowCount()) {
        return EmptyText;
    }
    return rows_[static_cast<size_t>(row)][static_cast<size_t>(col)];
}

void TRomTable::SetCell(int col, int row, std::string text) {
    if (col < 0 || col >= ColCount || row < 1 || row >= RowCount()) {
        return;
    }
    rows_[static_cast<size_t>(row)][static_cast<size_t>(col)] = std::move(text);
}

void TRomTable::InsertBlankRows(int index, int count) {
    if (count <= 0) {
        return;
    }
    index = std::clamp(index, 1, RowCount());
    // A vector insert moves only the rows behind the insertion point, so the
    // scan's insert in front of the last row costs one row, not the table.
    rows_.insert(rows_.begin() + index, static_cast<size_t>(count), TRow{});
}

int TRomTable::AppendToRow(int row, const std::string& text) {
    if (row < 1 || row >= RowCount()) {
        return -1;
    }
    TRow& cells = rows_[static_cast<size_t>(row)];
    for (int col = 0; col < ColCount; ++col) {
        std::string& cell = cells[static_cast<size_t>(col)];
        if (cell.empty()) {
            cell = text.empty() ? std::string(" ") : text;
            return col;
        }
    }
    return -1;
}

void TRomTable::ClearDataCells() {
    for (size_t row = 1; row < rows_.size(); ++row) {
        for (std::string& cell : rows_[row]) {
            cell.clear();
        }
    }
}

void TRomTable::FitColumns(bool /*includeFixed*/, int extra, const ITextMeasure& measure) {
    for (int col = 0; col < ColCount; ++col) {
        int widest = 0;
        for (int row = 0; row < RowCount(); ++row) {
            const std::string& text = rows_[static_cast<size_t>(row)][static_cast<size_t>(col)];
            if (!text.empty()) {
                widest = std::max(widest, measure.TextWidth(text, row == 0));
            }
        }
        widths_[static_cast<size_t>(col)] = widest + 4 + extra;
    }
}

void TRomTable::SetColWidth(int col, int width) {
    if (col >= 0 && col < ColCount) {
        widths_[static_cast<size_t>(col)] = std::max(width, 0);
    }
}

} // namespace tabula
