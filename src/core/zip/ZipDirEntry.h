#pragma once

#include <cstdint>
#include <string>

namespace tabula {

// One member of an archive as its central directory header describes it: the
// fixed fields after the signature, as stored, then the name and comment as
// text. Where a Zip64 extra field carries a size or offset that the 32-bit
// field only marks (0xFFFFFFFF), the real value is stored instead.
struct ZipDirEntry {
    uint16_t VersionMadeBy = 0;      // low byte: format version (50 = 5.0); high byte: host system
    uint16_t VersionNeeded = 0;      // version needed to extract
    uint16_t GeneralPurposeFlag = 0; // bit 0 encrypted, bit 3 data descriptor, bit 11 UTF-8 names
    uint16_t CompressionMethod = 0;  // 0 stored, 8 deflated
    uint16_t LastModTime = 0;        // DOS time
    uint16_t LastModDate = 0;        // DOS date
    uint32_t Crc = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint16_t FileNameLength = 0;
    uint16_t ExtraFieldLength = 0;
    uint16_t FileCommentLength = 0;
    uint16_t DiskNumberStart = 0;
    uint16_t InternalAttributes = 0;
    uint32_t ExternalAttributes = 0;
    uint32_t LocalHeaderOffset = 0;

    // The name as UTF-8 text with every "/" turned into "\".
    std::string FileName;
    // The comment as UTF-8 text; empty when the member has none.
    std::string FileComment;
    // The name's bytes exactly as stored, for finding the member in the archive.
    std::string RawFileName;
    // A size or offset came from the member's Zip64 extra field.
    bool Zip64 = false;

    uint8_t HostSystem() const { return static_cast<uint8_t>(VersionMadeBy >> 8); }
};

} // namespace tabula
