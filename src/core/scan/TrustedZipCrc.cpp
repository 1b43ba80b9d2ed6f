#include "core/scan/TrustedZipCrc.h"

#include "core/archive/MemberData.h"
#include "core/platform/FileReader.h"
#include "core/scan/CrcUpdate.h"
#include "core/scan/StringsTools.h"

#include <vector>

namespace tabula {

std::optional<uint32_t> TrustedCrcWithoutHeader(const TFileReader& file, const ZipDirEntry& entry,
                                                uint32_t headerSize, uint64_t dataEnd) {
    // What extraction would refuse is left to extraction, which names it.
    const std::string bare = ShortFileName(entry.RawFileName);
    if (bare.empty() || bare == "." || bare == "..") {
        return std::nullopt;
    }
    const uint64_t size = entry.UncompressedSize;
    if (!MemberDataOffset(file, entry, dataEnd)) {
        return std::nullopt;
    }
    if (headerSize >= size) {
        return 0; // nothing follows the header: the checksum of no bytes
    }
    std::vector<std::byte> header(headerSize);
    if (!ReadMemberStart(file, entry, dataEnd, header)) {
        return std::nullopt;
    }
    const uint32_t prefix = CrcOf(header);
    return CrcOfSuffix(entry.Crc, prefix, size - headerSize);
}

} // namespace tabula
