#include "core/platform/DriveKind.h"

#include <array>
#include <fstream>

namespace tabula {

namespace {

bool ReadsOne(const std::string& path) {
    std::ifstream in(path);
    char c = 0;
    return in.get(c) && c == '1';
}

bool FileExists(const std::string& path) {
    return std::ifstream(path).good();
}

} // namespace

bool IsNetworkFsType(std::string_view fsType) {
    static constexpr std::array<std::string_view, 13> Network = {
        "nfs", "nfs4", "cifs",      "smb3",       "smbfs",          "ncpfs", "afs",
        "9p",  "ceph", "glusterfs", "fuse.sshfs", "fuse.glusterfs", "davfs"};
    for (const auto type : Network) {
        if (fsType == type) {
            return true;
        }
    }
    return false;
}

TDriveKind DriveKindOf(const TMountEntry& mount, const std::string& sysRoot) {
    if (IsNetworkFsType(mount.FsType)) {
        return TDriveKind::Network;
    }
    if (mount.Major == 0) {
        return TDriveKind::Fixed; // no block device behind it (tmpfs, overlay, ...)
    }
    const std::string device =
        sysRoot + "/dev/block/" + std::to_string(mount.Major) + ":" + std::to_string(mount.Minor);
    // A partition has no "removable" of its own; its disk is the directory above.
    const bool partition = FileExists(device + "/partition");
    const std::string flag = device + (partition ? "/../removable" : "/removable");
    return ReadsOne(flag) ? TDriveKind::Removable : TDriveKind::Fixed;
}

} // namespace tabula
