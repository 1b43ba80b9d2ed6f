#pragma once

#include <string>

namespace tabula {

// File attribute queries and changes. A read-only file here is one without
// the owner's write permission.

// True when path names a regular file, following symbolic links.
bool IsRegularFile(const std::string& path);

// True when this process may open path for reading, by its effective ids
// and the file's access lists, as an open would decide.
bool IsReadableFile(const std::string& path);

// Adds the owner's write permission to the file at path, keeping every other
// permission bit. Returns true exactly when the new mode was written.
bool AddOwnerWrite(const std::string& path);

// Makes the file at path writable by its owner. False when no regular file is
// there; otherwise true exactly when the permissions were written.
bool ClearReadOnly(const std::string& path);

} // namespace tabula
