#pragma once

#include <cstdint>
#include <string>

namespace tabula {

// Where the user's programs keep what they can compute again:
// $XDG_CACHE_HOME when it is an absolute path, else ~/.cache; empty when no
// home directory is known.
std::string UserCacheDirectory();

// Makes directory and every missing parent, those made readable by the
// owner alone (0700). Returns "" or why it could not.
std::string MakePrivateDirectories(const std::string& directory);

// Creates path for the owner alone (0600) when nothing is there; an existing
// file of the owner keeps its bytes and loses every permission but the
// owner's read and write. Returns "" or why it could not.
std::string PreparePrivateFile(const std::string& path);

// Moves path, and its companions path + each of the suffixes when they are
// there, to the same names with aside added (path + aside + suffix). Returns
// "" or why path could not be moved.
std::string MoveAside(const std::string& path, const std::string& aside,
                      const char* const* suffixes);

// Bytes the file at path takes on its disk; 0 when it is not there.
uint64_t DiskUsage(const std::string& path);

} // namespace tabula
