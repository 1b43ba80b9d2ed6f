#include "core/platform/OutputFile.h"

#include <cerrno>
#include <random>
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

TCreateResult TOutputFile::CreateUnique(const std::string& directory, const std::string& prefix,
                                        const std::string& suffix, bool privateFile) {
    Close();
    std::string base = directory;
    if (base.empty() || base.back() != '/') {
        base.push_back('/');
    }
    static constexpr char Letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = base + prefix;
        for (int i = 0; i < 6; ++i) {
            path.push_back(Letters[random() % (sizeof Letters - 1)]);
        }
        path += suffix;
        // Exclusive: an existing file (or a link planted there) is never opened.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                              privateFile ? 0600 : 0666);
        if (fd >= 0) {
            fd_ = fd;
            path_ = std::move(path);
            position_ = 0;
            return TCreateResult::Created;
        }
        if (errno != EEXIST) {
            const int error = errno;
            return error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG
                       ? TCreateResult::NameFailed
                       : TCreateResult::CreateFailed;
        }
    }
    return TCreateResult::NameFailed;
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

bool RenameFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

TScopedOutputWrite::TScopedOutputWrite(TOutputWriteCall call)
    : previous_(std::exchange(WriteCall(), std::move(call))) {}

TScopedOutputWrite::~TScopedOutputWrite() {
    WriteCall() = std::move(previous_);
}

} // namespace tabula
