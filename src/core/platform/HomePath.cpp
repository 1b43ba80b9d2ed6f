#include "core/platform/HomePath.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace tabula {

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

std::string ExpandHome(const std::string& path) {
    if (path != "~" && path.rfind("~/", 0) != 0) {
        return path;
    }
    const std::string home = HomeDirectory();
    if (home.empty()) {
        return path;
    }
    return home + path.substr(1);
}

} // namespace tabula
