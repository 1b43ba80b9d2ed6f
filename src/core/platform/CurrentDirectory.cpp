#include "core/platform/CurrentDirectory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace tabula {

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path.front() == '/') {
        return path;
    }
    char* cwd = ::getcwd(nullptr, 0);
    if (cwd == nullptr) {
        return path;
    }
    std::string result(cwd);
    std::free(cwd);
    if (result.back() != '/') {
        result += '/';
    }
    return result + path;
}

namespace {

// The current directory, held by descriptor: a path could be renamed or
// removed meanwhile.
int RememberCurrentDirectory() {
    const int fd = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        throw ECurrentDirectoryError(std::string("Cannot remember the current directory: ") +
                                     std::strerror(error));
    }
    return fd;
}

} // namespace

TCurrentDirectoryScope::TCurrentDirectoryScope(const std::string& path)
    : previousFd_(RememberCurrentDirectory()) {
    if (::chdir(path.c_str()) != 0) {
        const int error = errno;
        ::close(previousFd_);
        throw ECurrentDirectoryError("Cannot enter directory \"" + path +
                                     "\": " + std::strerror(error));
    }
}

TCurrentDirectoryScope::TCurrentDirectoryScope(int directoryFd, const std::string& name)
    : previousFd_(RememberCurrentDirectory()) {
    if (::fchdir(directoryFd) != 0) {
        const int error = errno;
        ::close(previousFd_);
        throw ECurrentDirectoryError("Cannot enter directory \"" + name +
                                     "\": " + std::strerror(error));
    }
}

TCurrentDirectoryScope::~TCurrentDirectoryScope() {
    // Nothing sensible can be done from a destructor if this fails.
    [[maybe_unused]] const int ignored = ::fchdir(previousFd_);
    ::close(previousFd_);
}

} // namespace tabula
