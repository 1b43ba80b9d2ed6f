#include "zip/ZipInput.h"

#include <algorithm>
#include <cstring>

namespace tabula {

namespace {

constexpr size_t ReadAhead = 64 * 1024;
// What is read at once at the start or the end of an archive: enough for the
// end record and the directory of a hundred members, little enough that
// copying it costs less than the reads it saves.
constexpr size_t Glance = 8 * 1024;

} // namespace

bool TZipInput::Open(const std::string& path) {
    Close();
    if (!file_.Open(path)) {
        return false;
    }
    opened_.push_back(file_.Identity());
    // Never more than the file holds, whatever the archive claims.
    buffer_.resize(static_cast<size_t>(std::min<uint64_t>(ReadAhead, file_.Size())));
    // A small archive is read whole at once: every read after is served here.
    if (file_.Size() <= Glance) {
        bufferStart_ = 0;
        bufferLength_ = file_.ReadAt(0, buffer_.data(), buffer_.size());
    }
    return true;
}

void TZipInput::PrefetchTail() {
    if (file_.Size() > Glance && buffer_.size() >= Glance) {
        bufferStart_ = file_.Size() - Glance;
        bufferLength_ = file_.ReadAt(bufferStart_, buffer_.data(), Glance);
    }
}

void TZipInput::Close() {
    file_.Close();
    position_ = 0;
    buffer_.clear();
    buffer_.shrink_to_fit();
    bufferStart_ = 0;
    bufferLength_ = 0;
}

bool TZipInput::Seek(int64_t position) {
    if (position < 0) {
        return false;
    }
    position_ = static_cast<uint64_t>(position);
    return true;
}

bool TZipInput::Skip(uint64_t count) {
    if (count > UINT64_MAX - position_) {
        return false;
    }
    position_ += count;
    return true;
}

size_t TZipInput::ReadAt(uint64_t position, void* buffer, size_t count) const {
    if (position >= bufferStart_ && position - bufferStart_ <= bufferLength_ &&
        count <= bufferLength_ - (position - bufferStart_)) {
        std::memcpy(buffer, buffer_.data() + (position - bufferStart_), count);
        return count;
    }
    return file_.ReadAt(position, buffer, count);
}

size_t TZipInput::Read(void* buffer, size_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const bool inBuffer = position_ >= bufferStart_ && position_ < bufferStart_ + bufferLength_;
        if (inBuffer) {
            const size_t offset = static_cast<size_t>(position_ - bufferStart_);
            const size_t take = std::min(count - done, bufferLength_ - offset);
            std::memcpy(out + done, buffer_.data() + offset, take);
            done += take;
            position_ += take;
            continue;
        }
        if (position_ >= file_.Size()) {
            break;
        }
        if (count - done >= buffer_.size()) {
            const size_t got = file_.ReadAt(position_, out + done, count - done);
            done += got;
            position_ += got;
            break;
        }
        bufferStart_ = position_;
        bufferLength_ = file_.ReadAt(position_, buffer_.data(), buffer_.size());
        if (bufferLength_ == 0) {
            break;
        }
    }
    return done;
}

} // namespace tabula
