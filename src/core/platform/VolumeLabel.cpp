#include "core/platform/VolumeLabel.h"

#include "core/text/HexDigit.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace tabula {

std::string DecodeUdevEscapes(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && name.size() - i >= 4 && name[i + 1] == 'x') {
            const int high = HexDigitValue(name[i + 2]);
            const int low = HexDigitValue(name[i + 3]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>((high << 4) | low));
                i += 3;
                continue;
            }
        }
        out.push_back(name[i]);
    }
    return out;
}

std::string VolumeLabelOf(unsigned major, unsigned minor, const std::string& byLabelDir) {
    DIR* dir = ::opendir(byLabelDir.c_str());
    if (dir == nullptr) {
        return {};
    }
    const dev_t wanted = makedev(major, minor);
    std::string label;
    while (const dirent* item = ::readdir(dir)) {
        const std::string name = item->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat info {};
        const std::string link = byLabelDir + "/" + name;
        if (::stat(link.c_str(), &info) == 0 && S_ISBLK(info.st_mode) && info.st_rdev == wanted) {
            label = DecodeUdevEscapes(name);
            break;
        }
    }
    ::closedir(dir);
    return label;
}

} // namespace tabula
