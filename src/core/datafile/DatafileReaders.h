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

    // A game read whole: its attributes (name and cloneof among them), its
    // children but the roms, and its roms' attributes, each rom with the line
    // it stood on.
    struct TRom {
        TKeptAttributes Attributes;
        std::size_t Line = 0;
    };
    void AddGame(TKeptAttributes attributes, std::vector<TKeptElement> elements,
                 std::vector<TRom> roms, std::size_t line);
    // Games without a rom after the last row go to the header.
    void Finish(TKeptHeader& header);

private:
    TOpenedDatafile& opened_;
    const std::string& fileName_;
    std::vector<TKeptGame> romless_;
    std::string lastGame_;
    bool anyGame_ = false;
};

} // namespace tabula
