#pragma once

#include "core/datafile/DatafileRead.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tabula {

// The readers of each format, behind ReadDatafileText; each throws
// EDatafileReadError through Refuse.

void ReadSectioned(std::string_view bytes, const std::string& fileName, IDatafileContent& content);
void ReadLogiqx(std::string_view bytes, const std::string& fileName, IDatafileContent& content);
void ReadClrMamePro(std::string_view bytes, const std::string& fileName, IDatafileContent& content);

// Throws the refusal of the file's line (0: of the file as a whole).
[[noreturn]] void Refuse(const std::string& fileName, std::size_t line, const std::string& what);

// Builds the rows of a format that names games and roms (Logiqx,
// ClrMamePro) and keeps what the table does not show.
class TGameRowBuilder {
public:
    TGameRowBuilder(IDatafileContent& content, TDatafileFormat format, const std::string& fileName);

    // What the reader fills before the first game.
    TDatafileCredits& Credits() { return credits_; }
    TKeptHeader& Header() { return *header_; }
    void Expect(std::size_t roms) { content_.Expect(roms); }
    // The credits from the header as read: the first of each credit's fields.
    void TakeCredits(const TKeptElement& header);

    // A rom as read, with the line it stood on.
    struct TRom {
        TKeptElement Element;
        std::size_t Line = 0;
    };
    // A game read whole (its roms out of it, RomsAt where they stood), or
    // any other item between the games (no roms): kept in its place.
    void AddGame(TKeptGame game, std::vector<TRom> roms, std::size_t line);
    // Items without a rom after the last row go to the header; the rows
    // still waiting go out, and the content is ended.
    void Finish();

private:
    std::string Digest(const TKeptElement& rom, const char* name, std::size_t digits,
                       std::size_t line);
    void NoteCase(const std::string& digits);
    // The size and CRC cells of a rom; a value no cell can hold is refused.
    std::string RomSize(const TKeptAttributes& attributes, const std::string& romName,
                        std::size_t line);
    std::string RomCrc(const TKeptAttributes& attributes, const std::string& romName,
                       std::size_t line);
    // What the row keeps for the datafile written again: the game (kept, then
    // none for the later rows), the items without a rom before it, and the rom
    // when the row alone does not say it.
    void KeepWithRow(TRom& rom, TKeptOrigin origin, std::shared_ptr<const TKeptGame>& kept,
                     TRowExtras& extras);
    void Deliver(TRomTable::TRow row, TRowExtras extras);
    void Release();

    IDatafileContent& content_;
    TDatafileFormat format_;
    const std::string& fileName_;
    TDatafileCredits credits_;
    std::shared_ptr<TKeptHeader> header_;
    // The rows read before the case of the file's digits is known: the
    // writer takes the case with the header.
    std::vector<std::pair<TRomTable::TRow, TRowExtras>> waiting_;
    bool begun_ = false;
    std::vector<TKeptGame> romless_;
    std::string lastGame_;
    bool anyGame_ = false;
    int upperHex_ = -1; // unknown until a digit A to F is read
};

} // namespace tabula
