#include "core/romlist/TableSort.h"

#include "core/platform/DirectoryListing.h"
#include "core/romlist/RomTable.h"
#include "core/text/BlankText.h"
#include "core/text/HexDigit.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tabula {

namespace {

constexpr int CrcColumn = 5;
constexpr int SizeColumn = 6;

// The cell as a number in base 16 or 10, when it is one.
std::optional<std::uint64_t> NumberOf(std::string_view text, int base) {
    text = TrimmedBlanks(text);
    if (text.empty() || text.size() > (base == 16 ? 16u : 19u)) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        const int digit = base == 16 ? HexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    return value;
}

struct TSetKey {
    std::size_t First = 0; // data row index of the set's first row
    std::size_t Count = 0;
    std::optional<std::uint64_t> Number;
    std::string_view Text;
    bool Blank = false;
};

// a before b: blank rows last and cells that are no number after the
// numbers whichever the direction, the rest as it says.
bool KeyLess(const TSetKey& a, const TSetKey& b, bool numeric, bool descending) {
    if (a.Blank || b.Blank) {
        return !a.Blank && b.Blank;
    }
    if (numeric && a.Number.has_value() != b.Number.has_value()) {
        return a.Number.has_value();
    }
    const TSetKey& first = descending ? b : a;
    const TSetKey& second = descending ? a : b;
    if (numeric && a.Number) {
        return *first.Number < *second.Number;
    }
    return ListingNameLess(first.Text, second.Text);
}

} // namespace

TTableChange SortChange(const TRomTable& table, int col, bool descending) {
    const auto rows = table.DataRows();
    const auto extras = table.DataExtras();
    const auto column = static_cast<std::size_t>(col);
    const bool numeric = col == CrcColumn || col == SizeColumn;
    std::vector<TSetKey> sets;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (r == 0 || rows[r][1] != rows[r - 1][1] ||
            TRomTable::IsBlankRow(rows[r]) != sets.back().Blank) {
            TSetKey key{r, 0, std::nullopt, rows[r][column], TRomTable::IsBlankRow(rows[r])};
            if (numeric) {
                key.Number = NumberOf(rows[r][column], col == CrcColumn ? 16 : 10);
            }
            sets.push_back(key);
        }
        ++sets.back().Count;
    }
    std::vector<TSetKey> sorted = sets;
    std::stable_sort(sorted.begin(), sorted.end(), [&](const TSetKey& a, const TSetKey& b) {
        return KeyLess(a, b, numeric, descending);
    });
    TTableChange change;
    if (std::equal(sets.begin(), sets.end(), sorted.begin(),
                   [](const TSetKey& a, const TSetKey& b) { return a.First == b.First; })) {
        return change;
    }
    change.After.reserve(rows.size());
    change.AfterExtras.reserve(rows.size());
    for (const TSetKey& set : sorted) {
        change.After.insert(change.After.end(),
                            rows.begin() + static_cast<std::ptrdiff_t>(set.First),
                            rows.begin() + static_cast<std::ptrdiff_t>(set.First + set.Count));
        change.AfterExtras.insert(
            change.AfterExtras.end(), extras.begin() + static_cast<std::ptrdiff_t>(set.First),
            extras.begin() + static_cast<std::ptrdiff_t>(set.First + set.Count));
    }
    change.First = 1;
    change.BeforeCount = rows.size();
    change.AfterCount = rows.size();
    return change;
}

TTableCounts CountRowsAndSets(const TRomTable& table) {
    TTableCounts counts;
    const std::string* last = nullptr;
    for (const TRomTable::TRow& row : table.DataRows()) {
        if (TRomTable::IsBlankRow(row)) {
            continue;
        }
        ++counts.Rows;
        if (last == nullptr || *last != row[1]) {
            ++counts.Sets;
        }
        last = &row[1];
    }
    return counts;
}

} // namespace tabula
