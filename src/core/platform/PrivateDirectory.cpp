#include "core/platform/PrivateDirectory.h"

#include "core/platform/EmergencyCleanup.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tabula {

namespace {

struct TDirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// Removes every entry of the directory open as dirFd, descending into
// subdirectories by descriptor so that a link can never lead outside.
bool EmptyAt(int dirFd) {
    const int readFd = ::dup(dirFd);
    if (readFd < 0) {
        return false;
    }
    std::unique_ptr<DIR, TDirCloser> dir(::fdopendir(readFd));
    if (!dir) {
        ::close(readFd);
        return false;
    }
    // The copy shares its position with dirFd, which an earlier pass left
    // at the end.
    ::rewinddir(dir.get());
    bool ok = true;
    while (const dirent* entry = ::readdir(dir.get())) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            continue;
        }
        if (::unlinkat(dirFd, name, 0) == 0) {
            continue;
        }
        if (errno != EISDIR && errno != EPERM) {
            ok = false;
            continue;
        }
        // A directory: open it without following links, make it ours to
        // change, empty it, then remove it.
        const int subFd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (subFd < 0) {
            ok = false;
            continue;
        }
        ::fchmod(subFd, S_IRWXU);
        ok = EmptyAt(subFd) && ok;
        ::close(subFd);
        if (::unlinkat(dirFd, name, AT_REMOVEDIR) != 0) {
            ok = false;
        }
    }
    return ok;
}

} // namespace

bool EmptyPrivateDirectory(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::fchmod(fd, S_IRWXU);
    const bool ok = EmptyAt(fd);
    ::close(fd);
    return ok;
}

std::string TemporaryDirectory() {
    const char* value = std::getenv("TMPDIR");
    std::string path = value != nullptr && *value != '\0' ? value : "/tmp";
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

void AnchorTemporaryDirectory() {
    const char* value = std::getenv("TMPDIR");
    if (value == nullptr || *value == '\0' || *value == '/') {
        return;
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(value, error);
    if (!error) {
        ::setenv("TMPDIR", absolute.lexically_normal().c_str(), 1);
    }
}

std::vector<std::string> DirectoryEntries(const std::string& directory) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, TDirCloser> dir(::opendir(directory.c_str()));
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    return names;
}

TPrivateDirectory::TPrivateDirectory(const std::string& parent, const std::string& prefix) {
    std::string base = parent;
    if (!base.empty() && base.front() != '/') {
        // A relative path would stop naming the directory once the current
        // directory changes.
        char* cwd = ::getcwd(nullptr, 0);
        if (cwd != nullptr) {
            base = std::string(cwd) + "/" + base;
            std::free(cwd);
        }
    }
    std::string pattern = base + "/" + prefix + "XXXXXX";
    int error = 0;
    path_ = EmergencyCleanup::AddDirectoryMadeBy([&]() -> std::string {
        if (::mkdtemp(pattern.data()) == nullptr) {
            error = errno;
            return {};
        }
        return pattern;
    });
    if (path_.empty()) {
        throw EPrivateDirectoryError("Cannot make a temporary directory in \"" + base +
                                     "\": " + std::strerror(error));
    }
    fd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0) {
        error = errno;
        ::rmdir(path_.c_str());
        EmergencyCleanup::Remove(path_);
        throw EPrivateDirectoryError("Cannot open the temporary directory \"" + path_ +
                                     "\": " + std::strerror(error));
    }
}

TPrivateDirectory::~TPrivateDirectory() {
    // Emptied through the descriptor; the path is removed only while it
    // still names this directory (it may have been renamed and replaced).
    struct stat held {};
    struct stat named {};
    const bool ours = ::fstat(fd_, &held) == 0 && ::lstat(path_.c_str(), &named) == 0 &&
                      held.st_dev == named.st_dev && held.st_ino == named.st_ino;
    if (ours && ::rmdir(path_.c_str()) != 0) {
        Empty();
        ::rmdir(path_.c_str());
    } else if (!ours) {
        Empty();
    }
    ::close(fd_);
    EmergencyCleanup::Remove(path_);
}

bool TPrivateDirectory::Empty() const {
    ::fchmod(fd_, S_IRWXU);
    return EmptyAt(fd_);
}

bool TPrivateDirectory::RemoveEntry(const std::string& name) const {
    return ::unlinkat(fd_, name.c_str(), 0) == 0;
}

} // namespace tabula
