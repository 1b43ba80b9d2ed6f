#pragma once

#include "core/romlist/TableHistory.h"

#include <cstddef>

namespace tabula {

class TRomTable;

// The step that orders the table's sets by column col (0 .. 6), ascending
// or descending. A set is the run of neighbouring rows with the same set
// full name, as the writers group them; it stays whole and in its own
// order, and is placed by its first row's value. Texts compare as a folder
// listing does (ASCII letters alike in either case), the CRC as a
// hexadecimal number and the size as a decimal one (a cell that is no
// number after the numbers, as text). Sets of equal keys keep their order,
// either way; blank rows stay at the end. An empty change when the order
// is already so.
TTableChange SortChange(const TRomTable& table, int col, bool descending);

// How many rows the table holds (blank ones left out) and in how many sets.
struct TTableCounts {
    std::size_t Rows = 0;
    std::size_t Sets = 0;
};
TTableCounts CountRowsAndSets(const TRomTable& table);

} // namespace tabula
