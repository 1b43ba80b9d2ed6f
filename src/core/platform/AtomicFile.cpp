#include "core/platform/AtomicFile.h"

#include "core/platform/EmergencyCleanup.h"

#include <cerrno>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tabula {

namespace {

TAtomicFileCalls& Calls() {
    static TAtomicFileCalls calls;
    return calls;
}

long CallWrite(int fd, const char* data, std::size_t size) {
    const auto& hook = Calls().Write;
    return hook ? hook(fd, data, size) : static_cast<long>(::write(fd, data, size));
}

int CallSync(int fd) {
    const auto& hook = Calls().Sync;
    return hook ? hook(fd) : ::fsync(fd);
}

int CallRename(const char* from, const char* to) {
    const auto& hook = Calls().Rename;
    return hook ? hook(from, to) : ::rename(from, to);
}

std::string Reason(int error) {
    return std::system_category().message(error);
}

[[noreturn]] void CreateFailed(const std::string& path, const std::string& reason) {
    throw EFileCreateError("Impossible de créer le fichier " + path + " (" + reason + ")");
}

[[noreturn]] void CreateFailed(const std::string& path, int error) {
    CreateFailed(path, Reason(error));
}

[[noreturn]] void WriteFailed(const std::string& path, int error) {
    throw EFileWriteError("Erreur d'écriture dans le flux du fichier " + path + " (" +
                          Reason(error) + ")");
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The system's protected-symlinks rule: a link in a sticky directory that
// everyone may write to is followed only when it belongs to the follower or
// to the directory's owner.
bool MayFollow(const std::string& link, const struct stat& linkInfo) {
    struct stat folder {};
    if (::stat(DirectoryOf(link).c_str(), &folder) != 0) {
        return false;
    }
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !shared || linkInfo.st_uid == ::geteuid() || linkInfo.st_uid == folder.st_uid;
}

std::string ReadLink(const std::string& link, const std::string& path) {
    std::string target(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
        if (length < 0) {
            CreateFailed(path, errno);
        }
        if (static_cast<size_t>(length) < target.size()) {
            target.resize(static_cast<size_t>(length));
            return target;
        }
        target.resize(target.size() * 2);
    }
}

// The file a save really replaces: the one a chain of symbolic links points
// at, so the links survive the rename. Each link is checked by the rule
// above; the folders on the way are left to the system, which applies it.
std::string ResolveTarget(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return current;
        }
        if (!MayFollow(current, info)) {
            CreateFailed(path, "the symbolic link \"" + current +
                                   "\" belongs to another user in a folder everyone may "
                                   "write to; it is not followed");
        }
        const std::string target = ReadLink(current, path);
        current = target.starts_with('/') ? target : DirectoryOf(current) + "/" + target;
    }
    CreateFailed(path, ELOOP);
}

// Creates a new hidden file beside the target; the 0666 mode lets the umask
// give it the permissions any newly created file would get.
int CreateTemporary(const std::string& directory, std::string& name) {
    static std::mt19937 random{std::random_device{}()};
    static constexpr char Digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        for (int i = 0; i < 8; ++i) {
            suffix.push_back(Digits[random() % (sizeof(Digits) - 1)]);
        }
        name = directory + "/.tabula-" + suffix + ".tmp";
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        const long written = CallWrite(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            WriteFailed(path, errno);
        }
        if (written == 0) {
            WriteFailed(path, ENOSPC); // no progress and no error: the device is full
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
}

// Makes the rename itself durable. The new content is already in place, so a
// failure here is not reported as a failed save.
void SyncDirectory(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

TAtomicFile::TAtomicFile(const std::string& path) : path_(path), target_(ResolveTarget(path)) {
    struct stat existing {};
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        CreateFailed(path, EISDIR);
    }
    // A device or a pipe would be replaced by a plain file, not written to.
    if (exists && !S_ISREG(existing.st_mode)) {
        CreateFailed(path, "not a regular file");
    }
    if (exists && ::access(target_.c_str(), W_OK) != 0) {
        CreateFailed(path, errno);
    }

    directory_ = DirectoryOf(target_);
    int error = 0;
    temporary_ = EmergencyCleanup::AddFileMadeBy([&]() -> std::string {
        std::string name;
        fd_ = CreateTemporary(directory_, name);
        error = errno;
        return fd_ >= 0 ? name : std::string();
    });
    if (fd_ < 0) {
        CreateFailed(path, error);
    }
    // The old file's permissions, but a datafile never runs as its owner.
    if (exists && ::fchmod(fd_, existing.st_mode & 07777 & ~(S_ISUID | S_ISGID)) != 0) {
        error = errno;
        Discard();
        CreateFailed(path, error);
    }
}

TAtomicFile::~TAtomicFile() {
    Discard();
}

void TAtomicFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        EmergencyCleanup::Remove(temporary_);
        temporary_.clear();
    }
}

void TAtomicFile::Write(std::string_view bytes) {
    if (fd_ < 0) {
        WriteFailed(path_, EBADF);
    }
    WriteAll(fd_, bytes, path_);
}

bool TAtomicFile::Commit(const std::function<bool()>& abandon) {
    if (fd_ < 0) {
        WriteFailed(path_, EBADF);
    }
    if (CallSync(fd_) != 0) {
        WriteFailed(path_, errno);
    }
    const int closing = fd_;
    fd_ = -1;
    if (::close(closing) != 0) {
        WriteFailed(path_, errno);
    }
    // The last moment a stop request can keep the old file.
    if (abandon && abandon()) {
        Discard();
        return false;
    }
    if (CallRename(temporary_.c_str(), target_.c_str()) != 0) {
        CreateFailed(path_, errno);
    }
    EmergencyCleanup::Remove(temporary_);
    temporary_.clear();
    SyncDirectory(directory_);
    return true;
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    TAtomicFile file(path);
    file.Write(bytes);
    file.Commit();
}

TScopedAtomicFileCalls::TScopedAtomicFileCalls(TAtomicFileCalls calls) : previous_(Calls()) {
    Calls() = std::move(calls);
}

TScopedAtomicFileCalls::~TScopedAtomicFileCalls() {
    Calls() = std::move(previous_);
}

} // namespace tabula
