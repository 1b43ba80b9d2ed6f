#pragma once

#include "core/platform/MountInfo.h"

#include <string>
#include <string_view>

namespace tabula {

// What kind of medium a file system lives on; volume sets are handled
// differently on removable media.
enum class TDriveKind { Fixed, Removable, Network };

// Volumes of a set on these lie side by side as files; only other drives
// change disks.
inline bool IsFixedOrNetwork(TDriveKind kind) {
    return kind == TDriveKind::Fixed || kind == TDriveKind::Network;
}

// True for the file-system types that reach another machine.
bool IsNetworkFsType(std::string_view fsType);

// Network by file-system type; removable when the block device (or the disk
// holding the partition) says so under sysRoot; fixed otherwise.
TDriveKind DriveKindOf(const TMountEntry& mount, const std::string& sysRoot = "/sys");

} // namespace tabula
