#include "core/platform/SequentialFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tabula {

namespace {

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

std::function<void(const std::string&, uint64_t)>& ReadHook() {
    static std::function<void(const std::string&, uint64_t)> hook;
    return hook;
}

[[noreturn]] void FailRead(const std::string& path, int error) {
    throw EFileReadError("Cannot read file " + Quoted(path) + ": " + std::strerror(error));
}

} // namespace

TPathStatus StatPath(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        TPathStatus missing;
        missing.Error = errno;
        return missing;
    }
    TPathStatus status;
    status.Kind = S_ISREG(info.st_mode)   ? TPathKind::Regular
                  : S_ISDIR(info.st_mode) ? TPathKind::Directory
                                          : TPathKind::Other;
    status.Size = status.Kind == TPathKind::Regular ? static_cast<uint64_t>(info.st_size) : 0;
    status.Device = static_cast<uint64_t>(info.st_dev);
    status.Inode = static_cast<uint64_t>(info.st_ino);
    status.Modified = {info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
    status.Changed = {info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
    return status;
}

TSequentialFile::TSequentialFile(const std::string& path) : path_(path) {
    Open(false);
}

TSequentialFile::TSequentialFile(const std::string& path, TMissingIsNull) : path_(path) {
    Open(true);
}

std::unique_ptr<TSequentialFile> TSequentialFile::OpenIfPresent(const std::string& path) {
    std::unique_ptr<TSequentialFile> file(new TSequentialFile(path, TMissingIsNull{}));
    return file->fd_ >= 0 ? std::move(file) : nullptr;
}

void TSequentialFile::Open(bool missingIsNull) {
    const std::string& path = path_;
    // O_NONBLOCK keeps a FIFO without writer from hanging the open; a regular
    // file ignores the flag.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        if (error == ENOENT && missingIsNull) {
            return;
        }
        throw EFileReadError("Cannot open file " + Quoted(path) + ": " + std::strerror(error));
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        const int error = errno;
        ::close(fd_);
        FailRead(path, error);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd_);
        throw EFileReadError("File " + Quoted(path) + " is not a regular file");
    }
    size_ = static_cast<uint64_t>(info.st_size);
    modified_ = {info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
    // Worth a call only for a file that takes many reads.
    if (size_ > (uint64_t{1} << 20)) {
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
}

TSequentialFile::~TSequentialFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void TSequentialFile::ReadFrom(
    uint64_t from, std::span<std::byte> buffer,
    const std::function<void(std::span<const std::byte>)>& consume) const {
    uint64_t position = from;
    while (position < size_) {
        const size_t wanted =
            static_cast<size_t>(std::min<uint64_t>(buffer.size(), size_ - position));
        const ssize_t got = ::pread(fd_, buffer.data(), wanted, static_cast<off_t>(position));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            FailRead(path_, errno);
        }
        if (got == 0) {
            throw EFileReadError("Cannot read file " + Quoted(path_) + ": it ended after " +
                                 std::to_string(position) + " of " + std::to_string(size_) +
                                 " bytes");
        }
        consume(buffer.first(static_cast<size_t>(got)));
        position += static_cast<uint64_t>(got);
        if (ReadHook()) {
            ReadHook()(path_, position);
        }
    }
    // Bytes written meanwhile would make a checksum of no version of the file.
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        FailRead(path_, errno);
    }
    if (static_cast<uint64_t>(info.st_size) != size_) {
        throw EFileReadError("Cannot read file " + Quoted(path_) + ": its size changed from " +
                             std::to_string(size_) + " to " + std::to_string(info.st_size) +
                             " bytes while it was read");
    }
    if (!(TFileTime{info.st_mtim.tv_sec, info.st_mtim.tv_nsec} == modified_)) {
        throw EFileReadError("Cannot read file " + Quoted(path_) +
                             ": it was written to while it was read");
    }
}

TScopedReadHook::TScopedReadHook(std::function<void(const std::string&, uint64_t)> hook) {
    ReadHook() = std::move(hook);
}

TScopedReadHook::~TScopedReadHook() {
    ReadHook() = nullptr;
}

} // namespace tabula
