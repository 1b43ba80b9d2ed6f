#include "core/platform/DriveInfo.h"

#include "core/platform/DiskSpace.h"
#include "core/platform/FileReader.h"
#include "core/platform/VolumeLabel.h"

#include <mutex>
#include <unordered_map>

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
    std::string RootOf(const std::string& path, uint64_t device) override {
        std::lock_guard lock(mutex_);
        if (!Refresh() || device == 0) {
            return DriveRootOf(path);
        }
        // Files on one file system share its root; the device number says
        // which, whatever links or relative names led to the file.
        auto found = roots_.find(device);
        if (found == roots_.end()) {
            const std::string root = DriveRootOf(path);
            if (root.empty()) {
                return root;
            }
            found = roots_.emplace(device, root).first;
        }
        // The facts of this root were just checked against the mount table.
        fresh_ = found->second;
        return found->second;
    }

    std::optional<TDriveInfo> Query(const std::string& root) override {
        std::lock_guard lock(mutex_);
        // A root just found needs no second look at the mount table.
        const bool cacheable = root == fresh_ || Refresh();
        fresh_.clear();
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
            fresh_.clear();
            generation_ = generation;
        }
        return generation != 0;
    }

    std::mutex mutex_;
    uint64_t generation_ = 0;
    std::unordered_map<uint64_t, std::string> roots_;
    std::string fresh_;
    std::unordered_map<std::string, TDriveInfo> drives_;
};

} // namespace

IDriveFacts& SystemDriveFacts() {
    static TSystemDriveFacts facts;
    return facts;
}

} // namespace tabula
