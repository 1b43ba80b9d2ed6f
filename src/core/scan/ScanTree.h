#pragma once

#include "core/scan/ScanOptions.h"

#include <optional>
#include <string>
#include <vector>

namespace tabula {

// One file of a scan, in scan order. A scan of the top level alone has only
// Path; a walk of the tree says how the file's rows are named.
struct TScanEntry {
    // From the scanned folder, as bytes, joined with "/".
    std::string Path;
    // The folders above the file as text, each followed by "\": what its set
    // names begin with ("NES\"); empty at the top level.
    std::string SetPrefix{};
    // A file of a folder set: the set's name, and the rom's path inside the
    // set folder as text joined with "\" ("Disc 1\track01.bin").
    std::string FolderSet{};
    std::string RomPath{};
    // A folder that could not be read: no file, only this failure.
    std::optional<std::string> Failure{};
};

// Folders deeper than this under the scanned folder are not read.
inline constexpr int MaxFolderDepth = 64;

// The files of the scanned folder (ending in "/") in scan order: with
// neither tree option, its top level; otherwise a folder's files in the
// listing's order, then each subfolder whole, in the same order. Hidden
// folders (a leading ".") and links to folders are not entered, a folder
// met twice (by device and inode) is read once. Throws EDirectoryError when
// the scanned folder itself cannot be listed; a folder below that cannot is
// an entry with a Failure.
std::vector<TScanEntry> ListScanEntries(const std::string& dirPath, const TScanOptions& options);

} // namespace tabula
