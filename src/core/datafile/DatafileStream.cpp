#include "core/datafile/DatafileStream.h"

namespace tabula {

namespace {

// Enough lines at a time that writes stay few, little enough to hold.
constexpr std::size_t FlushSize = 1 << 20;

// The header is made, and the credits refused, before a temporary is made.
std::unique_ptr<IDatafileWriter> Started(TDatafileFormat format, const TDatafileInfo& info,
                                         std::string& header) {
    std::unique_ptr<IDatafileWriter> writer = MakeDatafileWriter(format, info);
    header = writer->Begin();
    return writer;
}

} // namespace

TDatafileStream::TDatafileStream(const std::string& fileName, TDatafileFormat format,
                                 const TDatafileInfo& info)
    : writer_(Started(format, info, pending_)), file_(fileName) {}

void TDatafileStream::Add(const TRomTable::TRow& row, const TRowExtras& extras) {
    if (failure_) {
        return;
    }
    try {
        pending_ += writer_->Add(row, extras, rowIndex_++);
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
    pending_ += writer_->End();
    Flush();
    return file_.Commit(abandon);
}

TDroppedNames SaveDatafileAs(TDatafileFormat format, std::span<const TRomTable::TRow> rows,
                             std::span<const TRowExtras> extras, const TDatafileInfo& info,
                             const std::string& fileName) {
    // The whole table is at hand: a cloneof must name one of its games.
    TDatafileInfo known = info;
    if (known.Games == nullptr) {
        known.Games =
            std::make_shared<const TGameNames>(GameNamesOf(rows, extras, known.Kept.get()));
    }
    TDatafileStream stream(fileName, format, known);
    for (size_t r = 0; r < rows.size(); ++r) {
        stream.Add(rows[r], r < extras.size() ? extras[r] : TRowExtras{});
        if (stream.Failed()) {
            break;
        }
    }
    stream.Finish();
    return stream.Dropped();
}

} // namespace tabula
