#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
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
    // Its local header or data shares bytes with another member's: a form of
    // decompression bomb, never extracted.
    bool Overlaps = false;

    bool Encrypted() const { return (Flags & 1u) != 0; }
};

// A member name with ASCII letters in lower case and "\" made "/", as specs
// are matched against names.
std::string FoldedMemberName(const std::string& name);

// A zip archive opened for reading: its central directory in memory and the
// file kept open for the member data. Every length read from the archive is
// checked against the bytes that are really there. The directory last read
// is kept and used again while the file opened is the same one, unchanged
// (device, inode, size, modification and change times), so that extracting the
// members of one archive one call at a time reads its directory once.
class TZipArchive {
public:
    TZipArchive() = default;
    TZipArchive(const TZipArchive&) = delete;
    TZipArchive& operator=(const TZipArchive&) = delete;
    ~TZipArchive();

    // Opens the archive and reads its directory; on failure returns false and
    // sets error to a text for the user.
    bool Open(const std::string& path, std::string& error);

    const std::vector<TZipMember>& Members() const;
    // The first member stored under exactly the name asked for; else the
    // first whose name matches it ignoring ASCII case, "\" and "/" alike;
    // Members().size() when none does.
    size_t Find(const std::string& spec) const;

    // Finds where a member's data starts, after its local header.
    bool DataOffset(const TZipMember& member, uint64_t& offset, std::string& error) const;

    // Reads exactly size bytes at offset; false on a short read or an error.
    bool ReadAt(void* buffer, size_t size, uint64_t offset) const;

    // What is known of an archive file once its directory was read.
    struct TDirectory {
        uint64_t Device = 0, Inode = 0, Size = 0;
        int64_t ModifiedSeconds = 0, ModifiedNanoseconds = 0;
        int64_t ChangedSeconds = 0, ChangedNanoseconds = 0;
        uint64_t DirectoryStart = 0; // member data must end before this
        std::vector<TZipMember> Members;
        std::unordered_map<std::string, size_t> FirstByName;
        std::unordered_map<std::string, size_t> FirstByFoldedName;
    };

private:
    bool ReadDirectory(const std::vector<uint8_t>& directory, uint32_t entries, int64_t shift,
                       TDirectory& into, std::string& error);

    int fd_ = -1;
    std::shared_ptr<const TDirectory> directory_;
};

} // namespace tabula::unziplib
