#include "core/romlist/TableSort.h"
#include "core/romlist/RomDocument.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace tabula;

namespace {

using TRows = std::vector<TRomTable::TRow>;

// Five sets, one of two rows, in the order a scan gave them: their names in
// either case, CRCs in either case of digits, a size that is no number, and
// two sets with the same rom name.
const std::map<char, TRows> Sets = {
    {'A',
     {{"beta", "Beta", "beta", "Beta", "b2.bin", "0000000A", "20"},
      {"beta", "Beta", "beta", "Beta", "b1.bin", "FFFFFFFF", "3"}}},
    {'B', {{"alpha", "Alpha", "alpha", "Alpha", "a.bin", "00000100", "100"}}},
    {'C', {{"gamma", "gamma", "zeta", "Zeta", "g.bin", "0000000b", "9"}}},
    {'D', {{"delta", "Delta", "delta", "Delta", "a.bin", "000000FF", "?"}}},
    {'E', {{"epsilon", "Epsilon", "alpha", "Alpha", "e.bin", "00000100", "100"}}},
};

TRows TableOf(const std::string& order) {
    TRows rows;
    for (char set : order) {
        rows.insert(rows.end(), Sets.at(set).begin(), Sets.at(set).end());
    }
    return rows;
}

TRows RowsOf(const TRomDocument& document) {
    const auto rows = document.Table().DataRows();
    return {rows.begin(), rows.end()};
}

} // namespace

// Every column both ways, the whole table compared with the order written
// out here; each sort is one step that undo takes back to the exact table.
TEST(TableSort, SetsStayWholeAndOrderByTheirFirstRowStably) {
    const struct {
        int Col;
        const char* Ascending;
        const char* Descending;
    } cases[] = {
        {0, "BADEC", "CEDAB"}, // lower-case dos names
        {1, "BADEC", "CEDAB"}, // "gamma" among capitals: letters fold
        {2, "BEADC", "CDABE"}, // equal clone names keep their order both ways
        {3, "BEADC", "CDABE"}, {4, "BDAEC", "CEABD"},
        {5, "ACDBE", "BEDCA"}, // CRC as a number: "0000000b" after "0000000A"
        {6, "CABED", "BEACD"}, // "?" after the numbers, in both directions
    };
    const std::string scanned = "ABCDE";
    for (const auto& c : cases) {
        for (const bool descending : {false, true}) {
            SCOPED_TRACE(std::to_string(c.Col) + (descending ? " descending" : " ascending"));
            TRomDocument document;
            TRowExtras marked;
            marked.Md5 = "kept with its row";
            document.Open(TableOf(scanned), {marked}, nullptr);
            document.Apply(SortChange(document.Table(), c.Col, descending));
            EXPECT_EQ(RowsOf(document), TableOf(descending ? c.Descending : c.Ascending));
            int markedRow = 0;
            for (int r = 1; r < document.RowCount(); ++r) {
                markedRow = document.Table().Extras(r).Md5.empty() ? markedRow : r;
            }
            EXPECT_EQ(document.Cell(4, markedRow), "b2.bin"); // the extras moved with the row
            EXPECT_TRUE(document.Modified());
            document.Undo();
            EXPECT_EQ(RowsOf(document), TableOf(scanned));
            EXPECT_FALSE(document.Modified());
        }
    }
    // Sorted already: no step.
    TRomDocument document;
    document.Open(TableOf("BADEC"), {}, nullptr);
    EXPECT_TRUE(SortChange(document.Table(), 1, false).Empty());
}

TEST(TableSort, BlankRowsStayLastAndAreNotCounted) {
    TRomDocument document;
    TRows rows = TableOf("AB");
    rows.insert(rows.begin() + 1, TRomTable::TRow{}); // splits A's rows
    rows.push_back({" ", " ", " ", " ", " ", " ", " "});
    document.Open(TRows(rows), {}, nullptr);
    const TTableCounts counts = CountRowsAndSets(document.Table());
    EXPECT_EQ(counts.Rows, 3u);
    EXPECT_EQ(counts.Sets, 2u);
    document.Apply(SortChange(document.Table(), 1, true));
    // The blank row made A's rows two sets of one key: they keep their order.
    EXPECT_EQ(RowsOf(document), (TRows{Sets.at('A')[0], Sets.at('A')[1], Sets.at('B')[0],
                                       TRomTable::TRow{}, rows.back()}));
}
