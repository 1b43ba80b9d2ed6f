#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tabula::unziplib {

// One member as the central directory describes it.
struct TZipMember {
    std::string Name; // the stored bytes, "/" or "\" as the archive has them
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint32_t Crc = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint64_t LocalHeaderOffset = 0; // already corrected for data in front of the archive
    bool NeedsZip64 = false;        // a size or offset lives in a zip64 extra field

    bool Encrypted() const { return (Flags & 1u) != 0; }
};

// A zip archive opened for reading: its central directory in memory and the
// file kept open for the member data. Every length read from the archive is
// checked against the bytes that are really there.
class TZipArchive {
public:
    TZipArchive() = default;
    TZipArchive(const TZipArchive&) = delete;
    TZipArchive& operator=(const TZipArchive&) = delete;
    ~TZipArchive();

    // Opens the archive and reads its directory; on failure returns false and
    // sets error to a text for the user.
    bool Open(const std::string& path, std::string& error);

    const std::vector<TZipMember>& Members() const { return members_; }

    // Finds where a member's data starts, after its local header.
    bool DataOffset(const TZipMember& member, uint64_t& offset, std::string& error) const;

    // Reads exactly size bytes at offset; false on a short read or an error.
    bool ReadAt(void* buffer, size_t size, uint64_t offset) const;

private:
    bool ReadDirectory(const std::vector<uint8_t>& directory, uint32_t entries, int64_t shift,
                       std::string& error);

    int fd_ = -1;
    uint64_t fileSize_ = 0;
    uint64_t directoryStart_ = 0; // member data must end before this
    std::vector<TZipMember> members_;
};

} // namespace tabula::unziplib
