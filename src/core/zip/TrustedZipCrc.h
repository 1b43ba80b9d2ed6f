#pragma once

#include "core/platform/FileReader.h"
#include "core/zip/ZipDirEntry.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tabula {

// The CRC-32 of a zip member without its first headerSize bytes, taken from
// the CRC the archive stores for the whole member and the CRC of the header
// bytes alone: only the header is read (stored) or decompressed (deflated).
// It trusts the archive as its directory does: a damaged member is not
// noticed. Nothing when the member is not one this way can read (another
// method, encrypted, sizes from a Zip64 field, a name the unzip library
// refuses to write) or when anything about it is not as the directory says;
// the caller then extracts the member as usual. archive is the file that
// holds the member's local header (the last volume of a split set), open.
// Member data must end by dataEnd (where the directory starts).
std::optional<std::uint32_t> TrustedCrcWithoutHeader(const TFileReader& archive,
                                                     const ZipDirEntry& entry,
                                                     std::uint32_t headerSize,
                                                     std::uint64_t dataEnd);

// The same from the member's first bytes already decompressed (header holds
// exactly the bytes to leave out), when the member is one this way can do.
std::optional<std::uint32_t> TrustedCrcFromHeader(const ZipDirEntry& entry,
                                                  std::span<const std::byte> header);

} // namespace tabula
