#pragma once

#include "core/platform/FileReader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

namespace tabula {

// A file could not be opened or read to its end, or is not a regular file.
// The message names the file and the reason.
class EFileReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TPathKind { Missing, Regular, Directory, Other };

struct TPathStatus {
    TPathKind Kind = TPathKind::Missing;
    // Bytes of a regular file; 0 for every other kind.
    uint64_t Size = 0;
    // The file system holding it (its device number) and the file's number
    // there; 0 when missing.
    uint64_t Device = 0;
    uint64_t Inode = 0;
    TFileTime Modified;
    TFileTime Changed; // of the file's status: any write moves it
    // Why a Missing path could not be looked at: ENOENT when nothing is
    // there, another errno when it cannot be reached (no access, a folder
    // that is no folder any more).
    int Error = 0;
};

// What lies at path, following symbolic links (a dangling link is Missing).
// Never opens the file, so a FIFO or device cannot block.
TPathStatus StatPath(const std::string& path);

// A regular file read front to back in large blocks, so that a file of any
// size passes through a small buffer. Opening never blocks: a FIFO, socket or
// device is refused with EFileReadError, as is a file that cannot be opened.
class TSequentialFile {
public:
    explicit TSequentialFile(const std::string& path);
    // The file at path, or null when nothing is there (no such file or
    // dangling link); throws as the constructor does for any other failure.
    static std::unique_ptr<TSequentialFile> OpenIfPresent(const std::string& path);
    ~TSequentialFile();
    TSequentialFile(const TSequentialFile&) = delete;
    TSequentialFile& operator=(const TSequentialFile&) = delete;

    // The size when the file was opened.
    uint64_t Size() const { return size_; }

    // Reads the bytes from position from up to Size() through buffer, handing
    // each block to consume in order. Throws EFileReadError when a read fails,
    // the file ends early, or its size or modification time at the end is not
    // what it was at the opening (it was written to meanwhile): every byte up
    // to Size() is read from one version of the file, or none counts.
    void ReadFrom(uint64_t from, std::span<std::byte> buffer,
                  const std::function<void(std::span<const std::byte>)>& consume) const;

    const std::string& Path() const { return path_; }

private:
    struct TMissingIsNull {};
    // As the constructor, except that with nothing at path fd_ stays -1.
    TSequentialFile(const std::string& path, TMissingIsNull);
    void Open(bool missingIsNull);

    std::string path_;
    int fd_ = -1;
    uint64_t size_ = 0;
    TFileTime modified_;
};

// Calls hook after each block any TSequentialFile reads, with the file's
// path and the position reached, for its lifetime; tests change the file
// there to play one that shrinks or grows while it is read.
class TScopedReadHook {
public:
    explicit TScopedReadHook(std::function<void(const std::string&, uint64_t)> hook);
    ~TScopedReadHook();
    TScopedReadHook(const TScopedReadHook&) = delete;
    TScopedReadHook& operator=(const TScopedReadHook&) = delete;
};

} // namespace tabula
