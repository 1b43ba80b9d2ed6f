#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tabula {

// True when path names a regular file (or a link to one).
bool IsExistingFile(const std::string& path);

// A file's last modification time.
struct TFileTime {
    int64_t Seconds = 0;
    int64_t Nanoseconds = 0;
    bool operator==(const TFileTime&) const = default;
};

// Which file a path leads to, whatever its name: two names of one file
// (links, other spellings) give the same identity.
struct TFileIdentity {
    uint64_t Device = 0;
    uint64_t Inode = 0;
    bool operator==(const TFileIdentity&) const = default;
};

// The identity of the file at path; nothing when there is none.
std::optional<TFileIdentity> FileIdentityOf(const std::string& path);

// A file opened for reading at explicit positions; closed by the destructor.
class TFileReader {
public:
    TFileReader() = default;
    ~TFileReader();
    TFileReader(const TFileReader&) = delete;
    TFileReader& operator=(const TFileReader&) = delete;
    TFileReader(TFileReader&& other) noexcept;
    TFileReader& operator=(TFileReader&& other) noexcept;

    // Opens path (a regular file) for reading, closing any file open before.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    // Size in bytes at the time of opening; 0 when nothing is open.
    uint64_t Size() const { return size_; }
    // Modification time, and change time of the file's status, at the time of opening.
    const TFileTime& ModifiedTime() const { return modified_; }
    const TFileTime& ChangedTime() const { return changed_; }
    const TFileIdentity& Identity() const { return identity_; }
    // Reads up to count bytes at position into buffer; returns how many
    // arrived (fewer at the end of the file or on a read error).
    size_t ReadAt(uint64_t position, void* buffer, size_t count) const;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    TFileTime modified_;
    TFileTime changed_;
    TFileIdentity identity_;
};

} // namespace tabula
