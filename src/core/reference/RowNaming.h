#pragma once

#include "core/reference/ReferenceIndex.h"
#include "core/romlist/TableHistory.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tabula {

class TRomTable;

// What naming rows from reference datafiles did.
struct TMatchCounts {
    std::size_t Matched = 0;     // rows a reference rom matched
    std::size_t Renamed = 0;     // of those, rows whose names changed
    std::size_t ByCrcOnly = 0;   // of those, rows matched on the CRC and size alone
    std::size_t Unknown = 0;     // rows no reference rom matched
    std::size_t SetsMissing = 0; // reference sets none of whose roms matched
};

// "N rows matched (R renamed, C by CRC only), U unknown, M sets of the
// reference missing".
std::string MatchSummaryText(const TMatchCounts& counts);

// Gives rows the names of the reference roms they match, and marks them.
class TRowNamer {
public:
    explicit TRowNamer(const TReferenceIndex& index);

    // A row that matches takes the set and clone full names of the first
    // matching rom's set, the dos names as their lower case, and the rom's
    // name; its checksums and size stay. A row whose names already are
    // those (the rom name as a save writes it) keeps its cells. A blank row
    // is left as it is, unmarked. Returns the mark the row got.
    TMatchMark Name(TRomTable::TRow& row, TRowExtras& extras);

    // The counts so far, with the sets of the reference that nothing matched.
    TMatchCounts Counts() const;
    // One flag per reference set: a rom of it matched a row.
    const std::vector<std::uint8_t>& MatchedSets() const { return matchedSets_; }

private:
    const TReferenceIndex& index_;
    std::vector<std::uint8_t> matchedSets_;
    TMatchCounts counts_;
};

// The step that names every data row of the table, as one change of the
// whole table; an empty change when no row's cells or mark changed.
TTableChange NamingChange(const TRomTable& table, TRowNamer& namer);

// Writes the reference's sets none of whose roms matched (and that have a
// rom that could) to fileName, in the format of the first file, with its
// header and credits: every set as the reference has it, the games without
// a rom left out. The index's files are read again. Returns the sets
// written. Throws as ReadDatafile does, or as a save does; a failure
// leaves an existing file as it was.
std::size_t WriteMissingSets(const TReferenceIndex& index,
                             const std::vector<std::uint8_t>& matchedSets,
                             const std::string& fileName);

} // namespace tabula
