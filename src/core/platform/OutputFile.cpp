#include "platform/OutputFile.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tabula {

namespace {

TOutputWriteCall& WriteCall() {
    static TOutputWriteCall call;
    return call;
}

long WriteSome(int fd, const void* data, size_t size) {
    if (WriteCall()) {
        return WriteCall()(fd, data, size);
    }
    return ::write(fd, data, size);
}

} // namespace

TOutputFile::~TOutputFile() {
    Close();
}

TCreateResult TOutputFile::Create(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return TCreateResult::CreateFailed;
    }
    fd_ = fd;
    path_ = path;
    position_ = 0;
    return TCreateResult::Created;
}

TCreateResult TOutputFile::CreateUnique(const std::string& directory, const std::string& prefix,
                                        const std::string& suffix) {
    Close();
    std::string pattern = directory;
    if (pattern.empty() || pattern.back() != '/') {
        pattern.push_back('/');
    }
    pattern += prefix + "XXXXXX" + suffix;
    const int fd = ::mkostemps(pattern.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return error == EEXIST || error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG
                   ? TCreateResult::NameFailed
                   : TCreateResult::CreateFailed;
    }
    // mkostemps makes the file for its owner only; give it the usual mode.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    fd_ = fd;
    path_ = std::move(pattern);
    position_ = 0;
    return TCreateResult::Created;
}

size_t TOutputFile::Write(const void* data, size_t count) {
    const auto* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < count && fd_ >= 0) {
        const long written = WriteSome(fd_, bytes + done, count - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            break;
        }
        done += static_cast<size_t>(written);
    }
    position_ += done;
    return done;
}

bool TOutputFile::SetModifiedTime(const TFileTime& time) {
    if (fd_ < 0) {
        return false;
    }
    const timespec times[2] = {
        {static_cast<time_t>(time.Seconds), static_cast<long>(time.Nanoseconds)},
        {static_cast<time_t>(time.Seconds), static_cast<long>(time.Nanoseconds)}};
    return ::futimens(fd_, times) == 0;
}

bool TOutputFile::Close() {
    if (fd_ < 0) {
        return true;
    }
    const bool ok = ::close(fd_) == 0;
    fd_ = -1;
    return ok;
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

TScopedOutputWrite::TScopedOutputWrite(TOutputWriteCall call)
    : previous_(std::exchange(WriteCall(), std::move(call))) {}

TScopedOutputWrite::~TScopedOutputWrite() {
    WriteCall() = std::move(previous_);
}

} // namespace tabula
