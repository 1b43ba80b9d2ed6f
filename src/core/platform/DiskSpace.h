#pragma once

#include <cstdint>
#include <string>

namespace tabula {

// Space on the file system that holds path, in bytes; -1 where unknown.
struct TDiskSpace {
    int64_t Free = -1;  // available to this user
    int64_t Total = -1; // size of the file system
};

TDiskSpace DiskSpaceOf(const std::string& path);

} // namespace tabula
