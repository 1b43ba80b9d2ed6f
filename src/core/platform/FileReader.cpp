#include "core/platform/FileReader.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tabula {

bool IsExistingFile(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

TFileReader::~TFileReader() {
    Close();
}

TFileReader::TFileReader(TFileReader&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(std::exchange(other.size_, 0)),
      modified_(other.modified_), identity_(other.identity_) {}

TFileReader& TFileReader::operator=(TFileReader&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        size_ = std::exchange(other.size_, 0);
        modified_ = other.modified_;
        identity_ = other.identity_;
    }
    return *this;
}

std::optional<TFileIdentity> FileIdentityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return TFileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

bool TFileReader::Open(const std::string& path) {
    Close();
    // Non-blocking, so that a FIFO put in the file's place cannot stall the
    // open; the descriptor is refused below unless it is a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    // Only regular files: a FIFO or device could block or never end.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = static_cast<uint64_t>(info.st_size);
    modified_ = {info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
    changed_ = {info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
    identity_ = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    return true;
}

void TFileReader::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    size_ = 0;
}

size_t TFileReader::ReadAt(uint64_t position, void* buffer, size_t count) const {
    if (fd_ < 0 || position > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) {
        return 0;
    }
    // Nothing is asked past the end known at opening: a read there would only
    // come back empty.
    if (position >= size_) {
        return 0;
    }
    count = static_cast<size_t>(std::min<uint64_t>(count, size_ - position));
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(fd_, out + done, count - done, static_cast<off_t>(position + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    return done;
}

} // namespace tabula
