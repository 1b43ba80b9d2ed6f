#pragma once

#include <string>

namespace tabula {

// The directory of the running executable, without a trailing "/"; empty
// when the system cannot tell.
std::string ExecutableDirectory();

// True when path names a directory (or a link to one).
bool IsExistingDirectory(const std::string& path);

// Makes path the process's current directory; false on failure.
bool ChangeCurrentDirectory(const std::string& path);

} // namespace tabula
