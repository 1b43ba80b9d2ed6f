#include "core/zip/ZipInput.h"

#include <algorithm>
#include <cstring>

namespace tabula {

namespace {

constexpr size_t ReadAhead = 64 * 1024;
// What is read at once at the start or the end of an archive: enough for the
// end record and the directory of a hundred members, little enough that
// copying it costs less than the reads it saves.
constexpr size_t Glance = 2 * 1024;

std::unique_ptr<uint8_t[]>& SpareBuffer() {
    thread_local std::unique_ptr<uint8_t[]> spare;
    return spare;
}

} // namespace

bool TZipInput::Open(const std::string& path) {
    if (untouched_ && file_.IsOpen() && path == path_) {
        untouched_ = false;
        return true;
    }
    Close();
    if (!file_.Open(path)) {
        return false;
    }
    path_ = path;
    opened_.push_back(file_.Identity());
    // Never more than the file holds, whatever the archive claims.
    bufferSize_ = static_cast<size_t>(std::min<uint64_t>(ReadAhead, file_.Size()));
    // One archive after another reuses one buffer: fresh memory for each
    // would cost the kernel a page fault per page touched.
    buffer_ = SpareBuffer() ? std::move(SpareBuffer())
                            : std::make_unique_for_overwrite<uint8_t[]>(ReadAhead);
    // A small archive is read whole at once: every read after is served here.
    if (file_.Size() <= Glance) {
        bufferStart_ = 0;
        bufferLength_ = file_.ReadAt(0, buffer_.get(), bufferSize_);
    }
    untouched_ = true;
    return true;
}

TPathStatus TZipInput::Status() const {
    TPathStatus status;
    if (file_.IsOpen()) {
        status.Kind = TPathKind::Regular;
        status.Size = file_.Size();
        status.Device = file_.Identity().Device;
        status.Inode = file_.Identity().Inode;
        status.Modified = file_.ModifiedTime();
        status.Changed = file_.ChangedTime();
    }
    return status;
}

void TZipInput::PrefetchTail() {
    untouched_ = false;
    if (file_.Size() > Glance && bufferSize_ >= Glance) {
        // From the start of the page that holds the last GlanceMin bytes:
        // the kernel copies whole pages' worth anyway, and a read that
        // starts on a page touches one page fewer.
        constexpr uint64_t Page = 4096;
        constexpr uint64_t GlanceMin = 512;
        bufferStart_ = (file_.Size() - GlanceMin) / Page * Page;
        const auto length = static_cast<size_t>(file_.Size() - bufferStart_);
        bufferLength_ = file_.ReadAt(bufferStart_, buffer_.get(), std::min(length, bufferSize_));
    }
}

TFileReader TZipInput::TakeFile() {
    TFileReader file = std::move(file_);
    Close();
    return file;
}

void TZipInput::Close() {
    untouched_ = false;
    path_.clear();
    file_.Close();
    position_ = 0;
    if (buffer_ && !SpareBuffer()) {
        SpareBuffer() = std::move(buffer_);
    }
    buffer_.reset();
    bufferSize_ = 0;
    bufferStart_ = 0;
    bufferLength_ = 0;
}

bool TZipInput::Seek(int64_t position) {
    untouched_ = false;
    if (position < 0) {
        return false;
    }
    position_ = static_cast<uint64_t>(position);
    return true;
}

bool TZipInput::Skip(uint64_t count) {
    untouched_ = false;
    if (count > UINT64_MAX - position_) {
        return false;
    }
    position_ += count;
    return true;
}

size_t TZipInput::ReadAt(uint64_t position, void* buffer, size_t count) const {
    untouched_ = false;
    if (position >= bufferStart_ && position - bufferStart_ <= bufferLength_ &&
        count <= bufferLength_ - (position - bufferStart_)) {
        std::memcpy(buffer, buffer_.get() + (position - bufferStart_), count);
        return count;
    }
    return file_.ReadAt(position, buffer, count);
}

size_t TZipInput::Read(void* buffer, size_t count) {
    untouched_ = false;
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const bool inBuffer = position_ >= bufferStart_ && position_ < bufferStart_ + bufferLength_;
        if (inBuffer) {
            const size_t offset = static_cast<size_t>(position_ - bufferStart_);
            const size_t take = std::min(count - done, bufferLength_ - offset);
            std::memcpy(out + done, buffer_.get() + offset, take);
            done += take;
            position_ += take;
            continue;
        }
        if (position_ >= file_.Size()) {
            break;
        }
        if (count - done >= bufferSize_) {
            const size_t got = file_.ReadAt(position_, out + done, count - done);
            done += got;
            position_ += got;
            break;
        }
        bufferStart_ = position_;
        bufferLength_ = file_.ReadAt(position_, buffer_.get(), bufferSize_);
        if (bufferLength_ == 0) {
            break;
        }
    }
    return done;
}

} // namespace tabula
