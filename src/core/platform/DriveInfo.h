#pragma once

#include "platform/DriveKind.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tabula {

// What the zip component knows of the "drive" of an archive: here, the file
// system that holds it, named by its mount point.
struct TDriveInfo {
    std::string Root;  // mount point, ending in "/"
    std::string Label; // volume label; empty when it has none
    TDriveKind Kind = TDriveKind::Fixed;
    int64_t TotalSize = -1; // -1 when unknown
    int64_t FreeSize = -1;
};

// The mount point of the file system holding path, ending in "/"; empty when
// it cannot be found.
std::string DriveRootOf(const std::string& path);

// The label, kind and space of the file system mounted at root; nothing when
// root is neither a mount point nor on a file system that answers.
std::optional<TDriveInfo> QueryDrive(const std::string& root);

} // namespace tabula
