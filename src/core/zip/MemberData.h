#pragma once

#include "core/platform/FileReader.h"
#include "core/zip/ZipDirEntry.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>

namespace tabula {

// A member's data is damaged: it does not decompress, or it comes to another
// size or CRC than the archive's directory states. The message says which,
// without naming the member.
class EMemberDataError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// True for the methods whose data a system library decodes here (bzip2,
// LZMA, zstd, xz): the unzip library knows stored and deflated alone.
bool DecodedByLibrary(std::uint16_t method);

// Where a member's compressed bytes start in archive (the file that holds its
// local header, open), or nothing when this reader cannot take the member:
// another method than stored, deflated, bzip2 (12), LZMA (14), zstd (93) or
// xz (95), encrypted, sizes from a Zip64
// field, a local header that is not as the directory says, or data that
// would reach past dataEnd (where the directory starts).
std::optional<std::uint64_t> MemberDataOffset(const TFileReader& archive, const ZipDirEntry& entry,
                                              std::uint64_t dataEnd);

// Reads a member whole without writing it anywhere: its data decompressed in
// memory, a block at a time, each block handed to sink in order, then checked
// against the size and CRC the directory states. Returns false, having handed
// out nothing, when MemberDataOffset gives nothing; throws EMemberDataError
// for damaged data (blocks before the damage have been handed out).
bool ReadMemberData(const TFileReader& archive, const ZipDirEntry& entry, std::uint64_t dataEnd,
                    const std::function<void(std::span<const std::byte>)>& sink);

// Reads only the first out.size() bytes of a member's data (decompressing
// no more than those), without checking them against its CRC; false when
// MemberDataOffset gives nothing, the member is smaller, or its data ends or
// breaks before them.
bool ReadMemberStart(const TFileReader& archive, const ZipDirEntry& entry, std::uint64_t dataEnd,
                     std::span<std::byte> out);

} // namespace tabula
