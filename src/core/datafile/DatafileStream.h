#pragma once

#include "core/datafile/DatafileSave.h"
#include "core/platform/AtomicFile.h"
#include "core/romlist/RomTable.h"

#include <cstddef>
#include <exception>
#include <functional>
#include <string>

namespace tabula {

// The save of SaveDatafile for rows that come one at a time, as a scan finds
// them: each row is checked and written as it comes, so the rows are never
// held, and the file is put in place only by Finish. The file holds the same
// bytes SaveDatafile would write for the same rows and credits.
class TDatafileStream {
public:
    // Checks the credits and writes the header to a temporary file beside the
    // file; throws as SaveDatafile does (EDatafileError, EFileCreateError,
    // EFileWriteError), nothing created.
    TDatafileStream(const std::string& fileName, const TDatafileCredits& credits);

    // Checks and writes one row (the next data row). The first refusal or
    // write failure is kept, and every later row is ignored.
    void Add(const TRomTable::TRow& row);
    // True once a row was refused or a write failed: the file will not be
    // written, so the rest of the rows are not worth finding.
    bool Failed() const { return failure_ != nullptr; }

    // Puts the file in place unless abandon says so at the last moment
    // (false: the old file stays). Throws the kept failure, or the failure of
    // the last writes, leaving the old file.
    bool Finish(const std::function<bool()>& abandon = {});

private:
    void Flush();

    TAtomicFile file_;
    std::string pending_;
    std::size_t rowIndex_ = 0;
    std::exception_ptr failure_;
};

} // namespace tabula
