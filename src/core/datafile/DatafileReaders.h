#pragma once

#include "core/datafile/DatafileRead.h"

#include <string>
#include <string_view>

namespace tabula {

// The readers of each format, behind ReadDatafileText; each throws
// EDatafileReadError through Refuse.

TOpenedDatafile ReadSectioned(std::string_view bytes, const std::string& fileName);
TOpenedDatafile ReadLogiqx(std::string_view bytes, const std::string& fileName);
TOpenedDatafile ReadClrMamePro(std::string_view bytes, const std::string& fileName);

// Throws the refusal of the file's line (0: of the file as a whole).
[[noreturn]] void Refuse(const std::string& fileName, std::size_t line, const std::string& what);

// Builds the rows of a format that names games and roms (Logiqx,
// ClrMamePro) and keeps what the table does not show.
class TGameRowBuilder {
public:
    TGameRowBuilder(TOpenedDatafile& opened, const std::string& fileName)
        : opened_(opened), fileName_(fileName) {}

    // A rom as read, with the line it stood on.
    struct TRom {
        TKeptElement Element;
        std::size_t Line = 0;
    };
    // A game read whole (its roms out of it, RomsAt where they stood), or
    // any other item between the games (no roms): kept in its place.
    void AddGame(TKeptGame game, std::vector<TRom> roms, std::size_t line);
    // Items without a rom after the last row go to the header, which also
    // learns the case the file wrote its digits in.
    void Finish(TKeptHeader& header);

private:
    std::string Digest(const TKeptElement& rom, const char* name, std::size_t digits,
                       std::size_t line);
    void NoteCase(const std::string& digits);

    TOpenedDatafile& opened_;
    const std::string& fileName_;
    std::vector<TKeptGame> romless_;
    std::string lastGame_;
    bool anyGame_ = false;
    int upperHex_ = -1; // unknown until a digit A to F is read
};

} // namespace tabula
