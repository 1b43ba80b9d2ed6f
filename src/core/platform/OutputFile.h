#pragma once

#include "core/platform/FileReader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tabula {

enum class TCreateResult {
    Created,
    NameFailed,   // no new name could be made there (no such folder, every name taken)
    CreateFailed, // the file could not be made (no access, a full or read-only disk)
};

// A new file written front to back. It is made only where no file of its name
// exists, so nothing is ever overwritten by it; whoever makes it removes it
// again when the writing fails.
class TOutputFile {
public:
    TOutputFile() = default;
    ~TOutputFile();
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    // Makes a file of a new name in directory: prefix, six random characters,
    // suffix. A private file is readable by its owner only; any other gets
    // the usual permissions of a new file.
    TCreateResult CreateUnique(const std::string& directory, const std::string& prefix,
                               const std::string& suffix, bool privateFile);

    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    // Bytes written so far.
    uint64_t Position() const { return position_; }

    // Writes count bytes; returns how many were written (fewer when the disk
    // is full or the device fails).
    size_t Write(const void* data, size_t count);
    // Gives the file this modification (and access) time.
    bool SetModifiedTime(const TFileTime& time);
    // Closes the file; false when the system reports that written data was
    // lost (a network or full file system can say so only here).
    bool Close();

private:
    int fd_ = -1;
    std::string path_;
    uint64_t position_ = 0;
};

// Removes the file at path; true when it is gone.
bool RemoveFile(const std::string& path);

// Renames from to to, replacing a file there; true when done.
bool RenameFile(const std::string& from, const std::string& to);

// The write(2) that TOutputFile uses, replaced by tests to play a full disk.
// An empty function restores the system call.
using TOutputWriteCall = std::function<long(int fd, const void* data, size_t size)>;

// Installs a write call for its lifetime.
class TScopedOutputWrite {
public:
    explicit TScopedOutputWrite(TOutputWriteCall call);
    ~TScopedOutputWrite();
    TScopedOutputWrite(const TScopedOutputWrite&) = delete;
    TScopedOutputWrite& operator=(const TScopedOutputWrite&) = delete;

private:
    TOutputWriteCall previous_;
};

} // namespace tabula
