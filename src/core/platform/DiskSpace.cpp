#include "core/platform/DiskSpace.h"

#include <limits>
#include <sys/statvfs.h>

namespace tabula {

namespace {

int64_t Bytes(uint64_t blocks, uint64_t blockSize) {
    if (blockSize != 0 &&
        blocks > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) / blockSize) {
        return std::numeric_limits<int64_t>::max();
    }
    return static_cast<int64_t>(blocks * blockSize);
}

} // namespace

TDiskSpace DiskSpaceOf(const std::string& path) {
    struct statvfs info {};
    TDiskSpace space;
    if (::statvfs(path.c_str(), &info) == 0) {
        const uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
        space.Free = Bytes(info.f_bavail, unit);
        space.Total = Bytes(info.f_blocks, unit);
    }
    return space;
}

} // namespace tabula
