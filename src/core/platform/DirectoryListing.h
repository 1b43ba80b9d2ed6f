#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tabula {

// A directory that exists could not be opened or read; the message names it
// and the reason.
class EDirectoryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// True when path names a directory, following symbolic links.
bool IsDirectory(const std::string& path);

// The names (no folder part) of the files at the top level of directory: the
// regular files and the symbolic links that lead to one, hidden files
// included; sub-directories, FIFOs, sockets, devices and dangling links are
// left out. Sorted with ListingNameLess, so the same directory lists the same
// on every file system. Throws EDirectoryError when the directory cannot be
// opened or read.
std::vector<std::string> ListFiles(const std::string& directory);
// How many files ListFiles would give, without keeping or sorting their names.
std::size_t CountFiles(const std::string& directory);

// One level of a folder tree: the files as ListFiles gives them, and the
// real sub-directories (a symbolic link to one is neither), both sorted with
// ListingNameLess; with the device and inode of the directory itself, so a
// walk that meets the same directory twice (a bind mount) can tell.
struct TDirectoryLevel {
    std::vector<std::string> Files;
    std::vector<std::string> Folders;
    unsigned long long Device = 0;
    unsigned long long Inode = 0;
};
// Throws EDirectoryError as ListFiles does.
TDirectoryLevel ListLevel(const std::string& directory);

// The listing's order: the names compared byte by byte with the ASCII letters
// upper-cased; names equal that way are ordered by their raw bytes.
bool ListingNameLess(std::string_view a, std::string_view b);

} // namespace tabula
