#pragma once

#include "core/platform/DriveKind.h"

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

// Where the zip component learns about drives. The system's answers come from
// the mount table; a test plays a removable drive and its disk changes.
class IDriveFacts {
public:
    virtual ~IDriveFacts() = default;
    // As DriveRootOf. device is the file system the file lies on (its
    // device number, as StatPath gives it), 0 when not known.
    virtual std::string RootOf(const std::string& path, uint64_t device) = 0;
    // As QueryDrive; asked again after every disk change, never remembered
    // for a removable drive.
    virtual std::optional<TDriveInfo> Query(const std::string& root) = 0;
};

// The facts of this system's drives.
IDriveFacts& SystemDriveFacts();

} // namespace tabula
