#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabula {

// One line of /proc/self/mountinfo.
struct TMountEntry {
    unsigned Major = 0; // device number of the mounted file system
    unsigned Minor = 0;
    std::string MountPoint; // escapes (\040 for a blank) decoded
    std::string FsType;     // "ext4", "nfs4", "fuse.sshfs", ...
    std::string Source;     // "/dev/sdb1", "server:/export", ...
};

// Parses the text of a mountinfo file; malformed lines are left out.
std::vector<TMountEntry> ParseMountInfo(std::string_view text);

// The entry whose mount point holds absolutePath: the longest matching mount
// point, the one mounted last among equals (it hides the others).
std::optional<TMountEntry> FindMount(const std::vector<TMountEntry>& mounts,
                                     std::string_view absolutePath);

// The mount entry of the file system that holds path (links resolved), read
// from this process's mount table; nothing when either cannot be read.
std::optional<TMountEntry> MountOf(const std::string& path);

// A number that changes whenever something is mounted or unmounted (the
// kernel says so); 0 when the mount table cannot be read.
uint64_t MountTableGeneration();

// The entry mounted exactly at mountPoint (a trailing "/" is ignored).
std::optional<TMountEntry> MountAt(const std::string& mountPoint);

} // namespace tabula
