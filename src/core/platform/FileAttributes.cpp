#include "core/platform/FileAttributes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tabula {

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsReadableFile(const std::string& path) {
    return ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0;
}

bool AddOwnerWrite(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    const mode_t permissions = info.st_mode & 07777;
    return ::chmod(path.c_str(), permissions | S_IWUSR) == 0;
}

bool ClearReadOnly(const std::string& path) {
    return IsRegularFile(path) && AddOwnerWrite(path);
}

} // namespace tabula
