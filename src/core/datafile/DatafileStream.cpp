#include "core/datafile/DatafileStream.h"

#include "core/datafile/Datafile.h"

#include <optional>

namespace tabula {

namespace {

// Enough lines at a time that writes stay few, little enough to hold.
constexpr std::size_t FlushSize = 1 << 20;

// Credits that cannot be written are refused before a temporary is made.
const std::string& AfterCreditsChecked(const std::string& fileName,
                                       const TDatafileCredits& credits) {
    CheckDatafileCredits(credits);
    return fileName;
}

} // namespace

TDatafileStream::TDatafileStream(const std::string& fileName, const TDatafileCredits& credits)
    : file_(AfterCreditsChecked(fileName, credits)) {
    TDatafile header;
    FillDatafile(header, {}, credits);
    pending_ = TDatafile::Encode(header.HeaderLines());
}

void TDatafileStream::Add(const TRomTable::TRow& row) {
    if (failure_) {
        return;
    }
    try {
        if (const std::optional<std::string> line = DatafileGameLine(row, rowIndex_)) {
            pending_ += TDatafile::Encode({*line});
        }
        ++rowIndex_;
        if (pending_.size() >= FlushSize) {
            Flush();
        }
    } catch (...) {
        failure_ = std::current_exception();
    }
}

void TDatafileStream::Flush() {
    file_.Write(pending_);
    pending_.clear();
}

bool TDatafileStream::Finish(const std::function<bool()>& abandon) {
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    Flush();
    return file_.Commit(abandon);
}

} // namespace tabula
