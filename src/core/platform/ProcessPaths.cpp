#include "platform/ProcessPaths.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tabula {

std::string ExecutableDirectory() {
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

bool IsExistingDirectory(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ChangeCurrentDirectory(const std::string& path) {
    return ::chdir(path.c_str()) == 0;
}

} // namespace tabula
