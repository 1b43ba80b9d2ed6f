#pragma once

#include "core/datafile/DatafileFormat.h"
#include "core/platform/AtomicFile.h"
#include "core/romlist/RomTable.h"

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace tabula {

// A datafile written as its rows come, as a scan finds them: each row is
// checked and written as it comes, so the rows are never held, and the file
// is put in place only by Finish. The file holds the same bytes a save of
// the whole table writes.
class TDatafileStream {
public:
    // Checks the credits and writes the header to a temporary file beside the
    // file; throws as the writer does (EDatafileError) or as the file does
    // (EFileCreateError, EFileWriteError), nothing created.
    TDatafileStream(const std::string& fileName, TDatafileFormat format, const TDatafileInfo& info);

    // Checks and writes one row (the next data row). The first refusal or
    // write failure is kept, and every later row is ignored.
    void Add(const TRomTable::TRow& row, const TRowExtras& extras = {});
    // True once a row was refused or a write failed: the file will not be
    // written, so the rest of the rows are not worth finding.
    bool Failed() const { return failure_ != nullptr; }

    // Puts the file in place unless abandon says so at the last moment
    // (false: the old file stays). Throws the kept failure, or the failure of
    // the last writes, leaving the old file.
    bool Finish(const std::function<bool()>& abandon = {});

    // What the format had no room for among what was written so far.
    TDroppedNames Dropped() const { return writer_->Dropped(); }

private:
    void Flush();

    std::string pending_; // made first: the writer's header goes into it
    std::unique_ptr<IDatafileWriter> writer_;
    TAtomicFile file_;
    std::size_t rowIndex_ = 0;
    std::exception_ptr failure_;
};

// The whole table saved at once in a format: rows[i] with extras[i] (fewer
// extras: none for the rest), a cloneof written only when it names one of
// the rows' games (or of info's, when given). A failure leaves an existing
// file as it was and creates none. Returns what the format had no room for.
TDroppedNames SaveDatafileAs(TDatafileFormat format, std::span<const TRomTable::TRow> rows,
                             std::span<const TRowExtras> extras, const TDatafileInfo& info,
                             const std::string& fileName);

} // namespace tabula
