#pragma once

#include "core/romlist/RomTable.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace tabula {

class TDatafile;
struct TKeptRow;

// The five credits a datafile carries (the credits' date is not among them).
struct TDatafileCredits {
    std::string Author;      // "Author="
    std::string Version;     // "Version=" (the datafile's own version)
    std::string Comment;     // "Comment="; its line breaks become lines of their own
    std::string System;      // "refname=" of "[EMULATOR]"
    std::string EmulVersion; // "version=" of "[EMULATOR]"
    // The credits' date: the sectioned datafile writes it nowhere, the Logiqx
    // and ClrMamePro formats write it as the header's date when not empty.
    std::string Date{};

    bool operator==(const TDatafileCredits&) const = default;
};

// Where in the rows a save failed: rows[RowIndex] (table row RowIndex + 1),
// column Col. A failure on a cell is thrown as TAtCell of its own type, so
// it is caught as that type and still tells the cell.
struct TCellPosition {
    std::size_t RowIndex = 0;
    int Col = 0;
};

template <class E> class TAtCell : public E, public TCellPosition {
public:
    TAtCell(const std::string& message, TCellPosition cell) : E(message), TCellPosition(cell) {}
};

// Sets the writer's credits and adds one game line per row; rows are the rom
// table's data rows (rows[0] is table row 1), seven cells each. A row whose
// seven cells are all empty is not a game and is skipped. Throws, before the
// writer has anything to write (a failure on a cell as TAtCell):
// - EConvertError for a size cell that is not an integer;
// - EDatafileError for a crc cell that is neither blank nor eight
//   hexadecimal digits (written as it stands when it is);
// - EDatafileError for a credit or cell holding a character Windows-1252
//   cannot hold (naming the row, the column title and the character), for
//   a game field holding the separator "¬" or a line break (naming the row
//   and the column), either of which would break the line structure, and for
//   a credit that would write lines of its own (naming the credit): a
//   one-line credit holding a line break, the separator or a control
//   character, or a later line of the comment that would read as a section
//   header (starts with "[") or a game line (starts with the separator), or
//   that holds a control character.
void FillDatafile(TDatafile& writer, std::span<const TRomTable::TRow> rows,
                  const TDatafileCredits& credits);

// Throws as FillDatafile does for credits that cannot be written.
void CheckDatafileCredits(const TDatafileCredits& credits);

// The game line FillDatafile adds for rows[rowIndex], after the same checks
// (throwing as it does); nothing for a row whose cells are all empty. A row
// read from a datafile writes the flags it was read with.
std::optional<std::string> DatafileGameLine(const TRomTable::TRow& row, std::size_t rowIndex,
                                            const TKeptRow* kept = nullptr);

// The whole save: a writer filled as above, written once to fileName. A
// failure leaves an existing file as it was and creates none.
void SaveDatafile(std::span<const TRomTable::TRow> rows, const TDatafileCredits& credits,
                  const std::string& fileName);

} // namespace tabula
