#pragma once

#include "core/datafile/DatafileSave.h"
#include "core/header/RomMode.h"
#include "core/romlist/KeptFields.h"
#include "core/romlist/RomTable.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

namespace tabula {

// The formats a datafile can be written in.
enum class TDatafileFormat {
    Sectioned,  // the sectioned text of [CREDITS] ... [GAMES], Windows-1252
    Logiqx,     // Logiqx XML, UTF-8
    ClrMamePro, // the ClrMamePro text format, UTF-8
};

// The games a datafile of the rows holds, by name: the rows' set full
// names, and the games without a rom an opened file kept among them
// (extras) and at its end (header).
using TGameNames = std::unordered_set<std::string>;
TGameNames GameNamesOf(std::span<const TRomTable::TRow> rows, std::span<const TRowExtras> extras,
                       const TKeptHeader* header);
// The same a row at a time (extras may be null), and for kept games alone.
void AddGameNames(TGameNames& games, const TRomTable::TRow& row, const TRowExtras* extras);
void AddRomlessGameNames(TGameNames& games, const std::vector<TKeptGame>& kept);

// What a save knows beside the rows.
struct TDatafileInfo {
    TDatafileCredits Credits;
    // The folder the rows were last scanned from, without its path; the
    // header's name when the System credit is empty.
    std::string FolderName;
    // What an opened datafile's header held beside the credits; none when
    // the rows were not opened from a file. Its Logiqx "clrmamepro" element
    // names the header in place of Detector.
    std::shared_ptr<const TKeptHeader> Kept{};
    // The one rule set every cut of the rows came from (CommonDetector: a
    // detector file, or a mode's "nes.xml" or "snes.xml"), which the Logiqx
    // and ClrMamePro headers name; "" when rules of several cut, or none did.
    std::string Detector{};
    // The games the file will hold: a cloneof naming none of them is left
    // out (and counted under LostCloneName). None: each is written as it
    // stands, for rows not known beforehand that name no parent (a scan's).
    std::shared_ptr<const TGameNames> Games{};
};

// Writes one datafile in one format, a piece at a time, so that rows can be
// written as they come. Every piece is the file's bytes as they stand. A
// refusal throws as FillDatafile does: EDatafileError (credits, a character
// the format cannot hold, a row naming its column as TAtCell), EConvertError
// (a size cell).
class IDatafileWriter {
public:
    virtual ~IDatafileWriter() = default;
    // The header; checks the credits.
    virtual std::string Begin() = 0;
    // One more data row, rows[rowIndex] of the table (a row whose cells are
    // all empty is no rom and gives nothing).
    virtual std::string Add(const TRomTable::TRow& row, const TRowExtras& extras,
                            std::size_t rowIndex) = 0;
    // What closes the file.
    virtual std::string End() = 0;
    // What the rows and the header held that the format has no room for,
    // so far.
    virtual TDroppedNames Dropped() const = 0;
};

std::unique_ptr<IDatafileWriter> MakeDatafileWriter(TDatafileFormat format,
                                                    const TDatafileInfo& info);

// A format's name as tabula-cli's --format takes it ("sectioned", "logiqx",
// "clrmamepro"); nothing for another text.
std::optional<TDatafileFormat> DatafileFormatNamed(const std::string& name);

// The format's name in a sentence: "sectioned", "Logiqx", "ClrMamePro".
const char* DatafileFormatTitle(TDatafileFormat format);

// The detector file the Logiqx and ClrMamePro headers name: the one whose
// rules made every cut of the rows, whichever mode cut them.
std::string HeaderDetectorName(const TDatafileInfo& info);

// The detector file whose rules made every cut among the rows ("" when the
// rules of more than one did, or none did); rows kept whole do not count.
std::string CommonDetector(std::span<const TRowExtras> extras);

} // namespace tabula
