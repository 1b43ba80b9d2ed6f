#pragma once

#include "core/scan/ScanOptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tabula {

// A folder of a walked tree, as its files' rows are named.
struct TScanFolder {
    // The folders above the file as text, each followed by "\": what its
    // files' set names begin with ("NES\"); empty at the top level.
    std::string SetPrefix{};
    // In a folder set: the set's name, and the folder's path inside the set
    // folder as text, each name followed by "\" ("Disc 1\").
    std::string FolderSet{};
    std::string RomPrefix{};
    // A folder that could not be read: its entry stands for this failure.
    std::optional<std::string> Failure{};
};

// One file of a scan, in scan order: its path from the scanned folder, as
// bytes joined with "/", and the folder it lies in.
struct TScanEntry {
    std::string Path;
    std::uint32_t Folder = 0;
};

// The files of a scan and the folders they lie in; folder 0 is the scanned
// folder itself.
struct TScanList {
    std::vector<TScanEntry> Entries;
    std::vector<TScanFolder> Folders{TScanFolder{}};

    const TScanFolder& FolderOf(const TScanEntry& entry) const { return Folders[entry.Folder]; }
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
TScanList ListScanEntries(const std::string& dirPath, const TScanOptions& options);

} // namespace tabula
