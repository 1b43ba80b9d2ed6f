#include "platform/DriveInfo.h"

#include "platform/DiskSpace.h"
#include "platform/FileReader.h"
#include "platform/VolumeLabel.h"

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

IDriveFacts& SystemDriveFacts() {
    class TSystemDriveFacts final : public IDriveFacts {
    public:
        std::string RootOf(const std::string& path) override { return DriveRootOf(path); }
        std::optional<TDriveInfo> Query(const std::string& root) override {
            return QueryDrive(root);
        }
    };
    static TSystemDriveFacts facts;
    return facts;
}

} // namespace tabula
