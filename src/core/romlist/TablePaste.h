#pragma once

#include "core/romlist/TableHistory.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tabula {

class TRomTable;

// Text that does not fit the table where it was to be pasted.
class EPasteRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The cells of rows as tab-separated lines, one per row, each ended by a
// line feed: what a spreadsheet or a text editor takes.
std::string TabSeparatedText(const std::vector<std::vector<std::string>>& rows);

// The change that writes tab-separated lines (LF or CR LF; a last line
// break ends the text) into the cells from (col, row) on, rightwards and
// downwards, as one step. Throws EPasteRefused, naming what does not fit,
// for a line of more cells than the columns from col on, for more lines
// than the table's data rows from row on, and for a lone CR inside a line.
// An empty text changes nothing.
TTableChange PasteChange(const TRomTable& table, int col, int row, std::string_view text);

} // namespace tabula
