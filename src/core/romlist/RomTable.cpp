#include "core/romlist/RomTable.h"

#include "core/text/BlankText.h"

#include "core/text/CodePages.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
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

bool TRomTable::IsBlankRow(const TRow& row) {
    return std::all_of(row.begin(), row.end(), IsBlankText);
}

TRomTable::TRomTable() {
    TRow header;
    for (size_t i = 0; i < Titles.size(); ++i) {
        if (i < header.size()) {
            header[i] = Titles[i];
        }
    }
    rows_.push_back(std::move(header));
    rows_.emplace_back();
    extras_.resize(rows_.size());
    widths_.fill(DefaultColWidth);
}

void TRomTable::SetRowCount(int count) {
    rows_.resize(static_cast<size_t>(std::max(count, 1)));
    extras_.resize(rows_.size());
}

const TRowExtras& TRomTable::Extras(int row) const {
    static const TRowExtras none;
    return row >= 0 && row < RowCount() ? extras_[static_cast<size_t>(row)] : none;
}

void TRomTable::SetExtras(int row, TRowExtras extras) {
    if (row >= 1 && row < RowCount()) {
        extras_[static_cast<size_t>(row)] = std::move(extras);
    }
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
    extras_.insert(extras_.begin() + index, static_cast<size_t>(count), TRowExtras{});
}

void TRomTable::InsertRows(int index, std::vector<TRow>&& rows, std::vector<TRowExtras>&& extras) {
    index = std::clamp(index, 1, RowCount());
    extras.resize(rows.size());
    rows_.insert(rows_.begin() + index, std::make_move_iterator(rows.begin()),
                 std::make_move_iterator(rows.end()));
    extras_.insert(extras_.begin() + index, std::make_move_iterator(extras.begin()),
                   std::make_move_iterator(extras.end()));
    rows.clear();
    extras.clear();
}

std::vector<TRomTable::TRow> TRomTable::TakeRows(int index, int count,
                                                 std::vector<TRowExtras>* extras) {
    index = std::clamp(index, 1, RowCount());
    count = std::clamp(count, 0, RowCount() - index);
    const auto first = rows_.begin() + index;
    std::vector<TRow> taken(std::make_move_iterator(first), std::make_move_iterator(first + count));
    rows_.erase(first, first + count);
    const auto firstExtras = extras_.begin() + index;
    if (extras != nullptr) {
        extras->assign(std::make_move_iterator(firstExtras),
                       std::make_move_iterator(firstExtras + count));
    }
    extras_.erase(firstExtras, firstExtras + count);
    return taken;
}

void TRomTable::SwapRows(int index, std::vector<TRow>& rows, std::vector<TRowExtras>& extras) {
    index = std::clamp(index, 1, RowCount());
    const std::size_t count = std::min(rows.size(), rows_.size() - static_cast<size_t>(index));
    extras.resize(rows.size());
    for (std::size_t i = 0; i < count; ++i) {
        std::swap(rows_[static_cast<size_t>(index) + i], rows[i]);
        std::swap(extras_[static_cast<size_t>(index) + i], extras[i]);
    }
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
        extras_[row] = {};
    }
}

double ITextMeasure::CharAdvance(char32_t c) const {
    std::string text;
    AppendUtf8(text, c);
    return TextWidth(text, false);
}

double ITextMeasure::PairAdvance(char32_t first, char32_t second) const {
    std::string text;
    AppendUtf8(text, first);
    AppendUtf8(text, second);
    return TextWidth(text, false);
}

namespace {

// Estimates a data text's laid-out width from the advances of its characters
// and the kerning of each pair of neighbours, asking the measure once per
// distinct character and pair. Shaping beyond pairs (ligatures, contextual
// forms) is what the estimate can miss.
class TWidthEstimate {
public:
    explicit TWidthEstimate(const ITextMeasure& measure) : measure_(measure) {
        asciiAdvance_.fill(Unknown);
        asciiKerning_.assign(128 * 128, Unknown);
    }

    // The estimate; simple tells whether the text holds only characters that
    // are shaped by pairs (Latin and its neighbours, no combining marks), for
    // which the estimate is the laid-out width before rounding.
    double Of(std::string_view text, bool& simple) {
        simple = true;
        double width = 0;
        char32_t previous = 0;
        bool first = true;
        for (std::size_t pos = 0; pos < text.size();) {
            const auto byte = static_cast<unsigned char>(text[pos]);
            char32_t c = byte;
            if (byte < 0x80) {
                ++pos;
            } else {
                c = NextCodePoint(text, pos);
                simple = simple && c < 0x300;
            }
            width += Advance(c);
            if (!first) {
                width += Kerning(previous, c);
            }
            previous = c;
            first = false;
        }
        return width;
    }

private:
    static constexpr double Unknown = -1e9;

    double Advance(char32_t c) {
        double& known =
            c < 128 ? asciiAdvance_[c] : otherAdvance_.try_emplace(c, Unknown).first->second;
        if (known == Unknown) {
            known = measure_.CharAdvance(c);
        }
        return known;
    }

    double Kerning(char32_t first, char32_t second) {
        double& known =
            first < 128 && second < 128
                ? asciiKerning_[first * 128 + second]
                : otherKerning_.try_emplace((std::uint64_t{first} << 32) | second, Unknown)
                      .first->second;
        if (known == Unknown) {
            known = measure_.PairAdvance(first, second) - Advance(first) - Advance(second);
        }
        return known;
    }

    const ITextMeasure& measure_;
    std::array<double, 128> asciiAdvance_{};
    std::vector<double> asciiKerning_;
    std::unordered_map<char32_t, double> otherAdvance_;
    std::unordered_map<std::uint64_t, double> otherKerning_;
};

using TCandidates = std::vector<std::pair<double, std::string_view>>;

// The most a text estimated at estimate may be off: kerning and shaping move
// a text's width away from its characters' and pairs' advances by less.
double Margin(double estimate) {
    return 2 + estimate / 50;
}

// Measures candidates, sorted by falling estimate, until none left can be
// wider than widest, and returns the widest width; each distinct text is
// measured once. Where the estimates are exact before rounding (byPairs), a
// candidate can be at most its rounded estimate wide, so ties with the widest
// are not measured; should a measured text prove the estimates wrong, the
// rest are judged with the margin.
int Widest(TCandidates& candidates, int widest, bool byPairs, const ITextMeasure& measure) {
    std::sort(candidates.begin(), candidates.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    std::unordered_set<std::string_view> measured;
    for (const auto& [estimated, text] : candidates) {
        const double rounded = std::floor(estimated + 0.5 + 1.0 / 32);
        const bool mayReach = byPairs ? rounded > widest : estimated + Margin(estimated) >= widest;
        if (!mayReach) {
            break;
        }
        if (!measured.insert(text).second) {
            continue;
        }
        const int width = measure.TextWidth(std::string(text), false);
        byPairs = byPairs && width == static_cast<int>(std::floor(estimated + 0.5));
        widest = std::max(widest, width);
    }
    return widest;
}

} // namespace

void TRomTable::FitColumns(bool /*includeFixed*/, int extra, const ITextMeasure& measure) {
    TWidthEstimate estimate(measure);
    // The estimates of this column and of the two before it: a scan's rows
    // repeat the set's names two columns on, and a text two columns back in
    // the same row needs no second estimate.
    std::array<std::vector<std::pair<double, bool>>, 3> columns;
    TCandidates simple;
    TCandidates complex;
    for (int col = 0; col < ColCount; ++col) {
        const auto column = static_cast<size_t>(col);
        const std::string& title = rows_[0][column];
        int widest = title.empty() ? 0 : measure.TextWidth(title, true);

        // Only texts whose estimate comes near the largest can be the widest.
        std::vector<std::pair<double, bool>>& estimates = columns[column % 3];
        estimates.resize(rows_.size());
        const std::vector<std::pair<double, bool>>* twoBack =
            column >= 2 ? &columns[(column - 2) % 3] : nullptr;
        double largest = 0;
        for (size_t row = 1; row < rows_.size(); ++row) {
            const std::string& text = rows_[row][column];
            if (twoBack != nullptr && text == rows_[row][column - 2]) {
                estimates[row] = (*twoBack)[row];
            } else {
                bool byPairs = true;
                const double estimated = text.empty() ? 0 : estimate.Of(text, byPairs);
                estimates[row] = {estimated, byPairs};
            }
            largest = std::max(largest, estimates[row].first);
        }
        const double threshold = largest - Margin(largest);
        simple.clear();
        complex.clear();
        for (size_t row = 1; row < rows_.size(); ++row) {
            const auto [estimated, byPairs] = estimates[row];
            const std::string& text = rows_[row][column];
            if (!text.empty() && estimated + Margin(estimated) >= threshold) {
                (byPairs ? simple : complex).emplace_back(estimated, text);
            }
        }
        widest = Widest(simple, widest, true, measure);
        widest = Widest(complex, widest, false, measure);
        widths_[column] = widest + 4 + extra;
    }
}

void TRomTable::SetColWidth(int col, int width) {
    if (col >= 0 && col < ColCount) {
        widths_[static_cast<size_t>(col)] = std::max(width, 0);
    }
}

} // namespace tabula
