#include "core/platform/DirectoryListing.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace tabula {

namespace {

unsigned char FoldedByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 'a' && byte <= 'z') ? static_cast<unsigned char>(byte - 'a' + 'A') : byte;
}

std::string Reason(int error) {
    return std::strerror(error);
}

struct TDirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// Whether the entry is a regular file or a link that leads to one. The
// entry's type from readdir spares a stat for the usual case; links and file
// systems that report no type are asked with a stat that follows links.
bool IsListedFile(int dirFd, const dirent& entry) {
    if (entry.d_type == DT_REG) {
        return true;
    }
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) {
        return false;
    }
    struct stat info {};
    // A file removed since readdir, or a dangling link, is simply not listed.
    return ::fstatat(dirFd, entry.d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
}

// Whether the entry is a directory itself, not a link to one.
bool IsRealFolder(int dirFd, const dirent& entry) {
    if (entry.d_type == DT_DIR) {
        return true;
    }
    if (entry.d_type != DT_UNKNOWN) {
        return false;
    }
    struct stat info {};
    return ::fstatat(dirFd, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
}

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

} // namespace

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ListingNameLess(std::string_view a, std::string_view b) {
    const size_t common = std::min(a.size(), b.size());
    size_t i = 0;
    // Equal bytes fold alike: the long prefixes names of a collection share
    // are passed eight bytes at a time.
    while (i + 8 <= common && std::memcmp(a.data() + i, b.data() + i, 8) == 0) {
        i += 8;
    }
    for (; i < common; ++i) {
        const unsigned char x = FoldedByte(a[i]);
        const unsigned char y = FoldedByte(b[i]);
        if (x != y) {
            return x < y;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    return a < b; // same name but for case: the raw bytes decide, for a stable order
}

namespace {

// Calls take with every entry of the directory but "." and "..", in the
// order the file system gives them, and the directory's descriptor.
template <class F> void EachEntry(const std::string& directory, F take) {
    std::unique_ptr<DIR, TDirCloser> dir(::opendir(directory.c_str()));
    if (!dir) {
        const int error = errno;
        throw EDirectoryError("Cannot open the directory \"" + directory + "\": " + Reason(error));
    }
    const int dirFd = ::dirfd(dir.get());
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            if (errno != 0) {
                const int error = errno;
                throw EDirectoryError("Cannot read the directory \"" + directory +
                                      "\": " + Reason(error));
            }
            break;
        }
        if (!IsDotOrDotDot(entry->d_name)) {
            take(dirFd, *entry);
        }
    }
}

// Calls take with the name of every file the listing gives, in the order the
// file system gives them.
template <class F> void EachListedFile(const std::string& directory, F take) {
    EachEntry(directory, [&take](int dirFd, const dirent& entry) {
        if (IsListedFile(dirFd, entry)) {
            take(entry.d_name);
        }
    });
}

} // namespace

std::vector<std::string> ListFiles(const std::string& directory) {
    std::vector<std::string> names;
    EachListedFile(directory, [&names](const char* name) { names.emplace_back(name); });
    std::sort(names.begin(), names.end(), ListingNameLess);
    return names;
}

TDirectoryLevel ListLevel(const std::string& directory) {
    TDirectoryLevel level;
    EachEntry(directory, [&level](int dirFd, const dirent& entry) {
        if (IsListedFile(dirFd, entry)) {
            level.Files.emplace_back(entry.d_name);
        } else if (IsRealFolder(dirFd, entry)) {
            level.Folders.emplace_back(entry.d_name);
        }
    });
    // Listed already: the directory exists and can be asked.
    struct stat info {};
    if (::stat(directory.c_str(), &info) == 0) {
        level.Device = info.st_dev;
        level.Inode = info.st_ino;
    }
    std::sort(level.Files.begin(), level.Files.end(), ListingNameLess);
    std::sort(level.Folders.begin(), level.Folders.end(), ListingNameLess);
    return level;
}

std::size_t CountFiles(const std::string& directory) {
    std::size_t count = 0;
    EachListedFile(directory, [&count](const char*) { ++count; });
    return count;
}

} // namespace tabula
