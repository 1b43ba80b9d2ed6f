#pragma once

#include "core/datafile/DatafileFormat.h"
#include "core/romlist/KeptFields.h"
#include "core/romlist/RomTable.h"

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tabula {

// A datafile that cannot be read: not a datafile, cut short, or holding
// something the reader cannot place. The message names the file and, where
// there is one, the line.
class EDatafileReadError : public std::runtime_error {
public:
    EDatafileReadError(const std::string& message, std::size_t line)
        : std::runtime_error(message), Line(line) {}
    std::size_t Line; // 0 when the fault is not on a line
};

// What an opened datafile gives: the rows and credits its writer takes, and
// what the table does not show, for the next save to write back.
struct TOpenedDatafile {
    TDatafileFormat Format = TDatafileFormat::Sectioned;
    // The emulator version only from a sectioned file, the date only from
    // the other two (empty when they have none).
    TDatafileCredits Credits;
    std::shared_ptr<const TKeptHeader> Header;
    std::vector<TRomTable::TRow> Rows;
    std::vector<TRowExtras> Extras; // one per row
    bool HasDigests = false;        // some row has an MD5 or a SHA-1
    bool HasSha256 = false;         // some row has a SHA-256
};

// Where a reader puts a datafile as it reads it, row by row, so that a
// conversion writes each row as it comes and holds none.
class IDatafileContent {
public:
    virtual ~IDatafileContent() = default;
    // How many rows the file is likely to hold, when the reader can tell at once.
    virtual void Expect(std::size_t rows) { (void)rows; }
    // Once, before the first row (at the end for a file without one). The
    // header is whole but for its GamesAfter, which is filled before End.
    virtual void Begin(TDatafileFormat format, const TDatafileCredits& credits,
                       std::shared_ptr<const TKeptHeader> header) = 0;
    virtual void Add(TRomTable::TRow row, TRowExtras extras) = 0;
    // Once the whole file was read without a refusal.
    virtual void End() = 0;
};

// Reads the datafile at fileName in whichever of the three formats it is
// into content; a refusal (thrown) can come after some rows were added.
// Throws EDatafileReadError, or EFileReadError when the file cannot be read.
void ReadDatafile(const std::string& fileName, IDatafileContent& content);
TOpenedDatafile ReadDatafile(const std::string& fileName);

// The same from the file's bytes; fileName only names it in messages.
void ReadDatafileText(std::string_view bytes, const std::string& fileName,
                      IDatafileContent& content);
TOpenedDatafile ReadDatafileText(std::string_view bytes, const std::string& fileName);

} // namespace tabula
