#include "core/platform/ProcessPaths.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tabula {

namespace {

std::string FindExecutableDirectory() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return {};
    std::string path(buffer, static_cast<size_t>(length));
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string ExecutableDirectory() {
    // Asked by every zip component; the answer cannot change while we run.
    static const std::string directory = FindExecutableDirectory();
    return directory;
}

bool IsExistingDirectory(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ChangeCurrentDirectory(const std::string& path) {
    return ::chdir(path.c_str()) == 0;
}

} // namespace tabula
