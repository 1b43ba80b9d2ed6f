#pragma once

#include "core/datafile/DatafileFormat.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tabula {

// One rom as the Logiqx and ClrMamePro formats write it, from a table row.
struct TGameRom {
    std::string Game;    // the set full name, which names its game
    std::string CloneOf; // the clone full name where it differs from Game, else ""
    std::string Name;    // the name on disk while the cell is the scan's, else the cell
    std::optional<std::int64_t> Size; // none for an empty cell
    std::string Crc;                  // eight hexadecimal digits, "" for a blank cell
    std::string Md5;
    std::string Sha1;
    std::string Sha256;
};

// The rom of rows[rowIndex]; nothing for a row whose cells are all empty.
// Its hexadecimal digits are upper case when upperHex says so, else lower.
// Throws, naming the row and the column (as TAtCell): EConvertError for a
// size cell that is neither empty nor a byte count, EDatafileError for a crc cell that is
// neither blank nor eight hexadecimal digits, and for a text that holds a
// character these formats cannot write (reason says why, such as "which
// XML 1.0 cannot hold") as refuses(character) tells.
std::optional<TGameRom> GameRomOf(const TRomTable::TRow& row, const TRowExtras& extras,
                                  std::size_t rowIndex, bool (*refuses)(char32_t),
                                  const char* reason, bool upperHex = false);

// The crc cell of rows[rowIndex] without its blanks: "" for a blank cell.
// Throws EDatafileError (as TAtCell) for a cell that is neither blank nor
// eight hexadecimal digits.
std::string CheckedCrcCell(const TRomTable::TRow& row, std::size_t rowIndex);

// Clears rom.CloneOf when games are known and it names none of them (a
// parent the file does not hold); true when it did.
bool LeaveOutLostClone(TGameRom& rom, const TGameNames* games);

// The header's name and description: the System credit, else the folder
// last scanned, else "tabula".
std::string DatafileHeaderName(const TDatafileInfo& info);

// The first character of text refuses says no to, if any; printable ASCII,
// which every format holds, is not asked about.
std::optional<char32_t> RefusedCharacter(const std::string& text, bool (*refuses)(char32_t));

} // namespace tabula
