#include "romlist/RomTable.h"

#include "text/CodePages.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

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

int ITextMeasure::CharWidth(char32_t c, bool headerRow) const {
    std::string text;
    AppendUtf8(text, c);
    return TextWidth(text, headerRow);
}

namespace {

// Sums the advances of a text's characters, asking the measure once per
// distinct character.
class TWidthEstimate {
public:
    explicit TWidthEstimate(const ITextMeasure& measure) : measure_(measure) { ascii_.fill(-1); }

    long long Of(std::string_view text) {
        long long width = 0;
        for (std::size_t pos = 0; pos < text.size();) {
            const auto byte = static_cast<unsigned char>(text[pos]);
            if (byte < 0x80) {
                int& advance = ascii_[byte];
                if (advance < 0) {
                    advance = measure_.CharWidth(byte, false);
                }
                width += advance;
                ++pos;
                continue;
            }
            const char32_t c = NextCodePoint(text, pos);
            auto found = other_.find(c);
            if (found == other_.end()) {
                found = other_.emplace(c, measure_.CharWidth(c, false)).first;
            }
            width += found->second;
        }
        return width;
    }

private:
    const ITextMeasure& measure_;
    std::array<int, 128> ascii_{};
    std::unordered_map<char32_t, int> other_;
};

// Whether a text estimated at estimate may still lay out wider than widest:
// kerning and shaping move a text's width away from the sum of its
// characters' advances by far less than this margin.
bool MayReach(long long estimate, int widest) {
    return estimate + 2 + estimate / 8 >= widest;
}

} // namespace

void TRomTable::FitColumns(bool /*includeFixed*/, int extra, const ITextMeasure& measure) {
    TWidthEstimate estimate(measure);
    std::unordered_set<std::string_view> seen;
    std::vector<std::pair<long long, std::string_view>> candidates;
    for (int col = 0; col < ColCount; ++col) {
        const auto column = static_cast<size_t>(col);
        const std::string& title = rows_[0][column];
        int widest = title.empty() ? 0 : measure.TextWidth(title, true);

        seen.clear();
        candidates.clear();
        for (size_t row = 1; row < rows_.size(); ++row) {
            const std::string& text = rows_[row][column];
            if (!text.empty() && seen.insert(text).second) {
                candidates.emplace_back(estimate.Of(text), text);
            }
        }
        std::sort(candidates.begin(), candidates.end(),
                  [](const auto& a, const auto& b) { return a.first > b.first; });
        for (const auto& [estimated, text] : candidates) {
            if (!MayReach(estimated, widest)) {
                break;
            }
            widest = std::max(widest, measure.TextWidth(std::string(text), false));
        }
        widths_[column] = widest + 4 + extra;
    }
}

void TRomTable::SetColWidth(int col, int width) {
    if (col >= 0 && col < ColCount) {
        widths_[static_cast<size_t>(col)] = std::max(width, 0);
    }
}

} // namespace tabula
