#include "core/platform/AtomicFile.h"

#include "core/platform/EmergencyCleanup.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
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

// The file a save really replaces: the one a symbolic link points at, so the
// link survives the rename.
std::string ResolveTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            return resolved;
        }
    }
    return path;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
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

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    const std::string target = ResolveTarget(path);
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        CreateFailed(path, EISDIR);
    }
    // A device or a pipe would be replaced by a plain file, not written to.
    if (exists && !S_ISREG(existing.st_mode)) {
        CreateFailed(path, "not a regular file");
    }
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        CreateFailed(path, errno);
    }

    const std::string directory = DirectoryOf(target);
    std::string temporary;
    int fd = CreateTemporary(directory, temporary);
    if (fd < 0) {
        CreateFailed(path, errno);
    }
    EmergencyCleanup::AddFile(temporary);
    const struct TForget {
        const std::string& Path;
        ~TForget() { EmergencyCleanup::Remove(Path); }
    } forget{temporary};
    try {
        // The old file's permissions, but a datafile never runs as its owner.
        if (exists && ::fchmod(fd, existing.st_mode & 07777 & ~(S_ISUID | S_ISGID)) != 0) {
            CreateFailed(path, errno);
        }
        WriteAll(fd, bytes, path);
        if (CallSync(fd) != 0) {
            WriteFailed(path, errno);
        }
        const int closing = fd;
        fd = -1;
        if (::close(closing) != 0) {
            WriteFailed(path, errno);
        }
        if (CallRename(temporary.c_str(), target.c_str()) != 0) {
            CreateFailed(path, errno);
        }
    } catch (...) {
        if (fd >= 0) {
            ::close(fd);
        }
        ::unlink(temporary.c_str());
        throw;
    }
    SyncDirectory(directory);
}

TScopedAtomicFileCalls::TScopedAtomicFileCalls(TAtomicFileCalls calls) : previous_(Calls()) {
    Calls() = std::move(calls);
}

TScopedAtomicFileCalls::~TScopedAtomicFileCalls() {
    Calls() = std::move(previous_);
}

} // namespace tabula
