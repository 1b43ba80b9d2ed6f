#include "core/platform/FileAttributes.h"

#include <sys/stat.h>

namespace tabula {

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
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
