#include "platform/DriveInfo.h"

#include "platform/CurrentDirectory.h"
#include "platform/DiskSpace.h"
#include "platform/FileReader.h"
#include "platform/VolumeLabel.h"

#include <mutex>
#include <unordered_map>

#include <sys/stat.h>

namespace tabula {

namespace {

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/') {
        path.push_back('/');
    }
    return path;
}

} // namespace

std::string DriveRootOf(const std::string& path) {
    const auto mount = MountOf(path);
    if (mount) {
        return WithSlash(mount->MountPoint);
    }
    // Without a readable mount table the whole tree counts as one file system.
    return IsExistingFile(path) ? std::string("/") : std::string();
}

std::optional<TDriveInfo> QueryDrive(const std::string& root) {
    if (root.empty()) {
        return std::nullopt;
    }
    TDriveInfo info;
    info.Root = WithSlash(root);
    const TDiskSpace space = DiskSpaceOf(info.Root);
    const auto mount = MountAt(root);
    if (mount) {
        info.Kind = DriveKindOf(*mount);
        if (mount->Major != 0) {
            info.Label = VolumeLabelOf(mount->Major, mount->Minor);
        }
    } else if (space.Total < 0) {
        return std::nullopt; // neither mounted nor a file system we can ask
    }
    info.TotalSize = space.Total;
    info.FreeSize = space.Free;
    return info;
}

namespace {

// The facts of fixed and network drives, looked up once per file system and
// kept while nothing is mounted or unmounted. Removable drives are asked
// every time: their disk, label and space change without a mount-table
// change the moment a volume prompt is answered.
class TSystemDriveFacts final : public IDriveFacts {
public:
    std::string RootOf(const std::string& path) override {
        std::lock_guard lock(mutex_);
        const bool cacheable = Refresh() && !IsSymbolicLink(path);
        if (!cacheable) {
            return DriveRootOf(path);
        }
        // Files of one folder share its file system unless they are links. A
        // relative folder means another one after each change of directory.
        std::string folder = path.substr(0, path.rfind('/') + 1);
        if (!path.starts_with('/')) {
            folder = std::to_string(CurrentDirectoryGeneration()) + ":" + folder;
        }
        if (const auto found = roots_.find(folder); found != roots_.end()) {
            return found->second;
        }
        std::string root = DriveRootOf(path);
        if (!root.empty()) {
            roots_.emplace(folder, root);
        }
        return root;
    }

    std::optional<TDriveInfo> Query(const std::string& root) override {
        std::lock_guard lock(mutex_);
        const bool cacheable = Refresh();
        if (cacheable) {
            if (const auto found = drives_.find(root); found != drives_.end()) {
                return found->second;
            }
        }
        auto info = QueryDrive(root);
        if (cacheable && info && IsFixedOrNetwork(info->Kind)) {
            drives_.emplace(root, *info);
        }
        return info;
    }

private:
    // Forgets everything once the mount table changed; false when it cannot
    // be read (nothing is kept then).
    bool Refresh() {
        const uint64_t generation = MountTableGeneration();
        if (generation != generation_) {
            roots_.clear();
            drives_.clear();
            generation_ = generation;
        }
        return generation != 0;
    }

    static bool IsSymbolicLink(const std::string& path) {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    }

    std::mutex mutex_;
    uint64_t generation_ = 0;
    std::unordered_map<std::string, std::string> roots_;
    std::unordered_map<std::string, TDriveInfo> drives_;
};

} // namespace

IDriveFacts& SystemDriveFacts() {
    static TSystemDriveFacts facts;
    return facts;
}

} // namespace tabula
