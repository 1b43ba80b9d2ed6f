#include "core/platform/CacheFiles.h"

#include "core/platform/HomePath.h"
#include "core/text/CodePages.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tabula {

namespace {

std::string Failed(const std::string& what, const std::string& path) {
    const int error = errno; // before anything is made that could move it
    return what + " " + QuotedPath(path) + ": " + std::strerror(error);
}

} // namespace

std::string UserCacheDirectory() {
    // The base directory rules: a relative value is to be ignored.
    const char* const xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const std::string home = HomeDirectory();
    return home.empty() ? std::string() : home + "/.cache";
}

std::string MakePrivateDirectories(const std::string& directory) {
    for (size_t slash = directory.find('/', 1);; slash = directory.find('/', slash + 1)) {
        const std::string part = directory.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return Failed("Cannot make the folder", part);
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat info {};
    if (::stat(directory.c_str(), &info) != 0) {
        return Failed("Cannot look at the folder", directory);
    }
    if (!S_ISDIR(info.st_mode)) {
        return QuotedPath(directory) + " is not a folder";
    }
    return {};
}

std::string PreparePrivateFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return Failed("Cannot open", path);
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & 0177) != 0) {
        ::fchmod(fd, info.st_mode & 0600);
    }
    ::close(fd);
    return {};
}

std::string MoveAside(const std::string& path, const std::string& aside,
                      const char* const* suffixes) {
    if (::rename(path.c_str(), (path + aside).c_str()) != 0) {
        return Failed("Cannot rename", path);
    }
    for (const char* const* suffix = suffixes; *suffix != nullptr; ++suffix) {
        // A companion left behind would be taken for the next file's.
        const std::string companion = path + *suffix;
        if (::rename(companion.c_str(), (path + aside + *suffix).c_str()) != 0) {
            ::unlink(companion.c_str());
        }
    }
    return {};
}

uint64_t DiskUsage(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return 0;
    }
    return static_cast<uint64_t>(info.st_blocks) * 512;
}

} // namespace tabula
