#include "core/zip/TrustedZipCrc.h"

#include "core/checksum/CrcUpdate.h"
#include "core/platform/FileReader.h"
#include "core/zip/MemberData.h"

#include <array>
#include <string_view>
#include <vector>

namespace tabula {

namespace {

// What extraction would refuse is left to extraction, which names it.
bool ExtractionWouldRefuse(const ZipDirEntry& entry) {
    const std::string_view raw = entry.RawFileName;
    const std::size_t slash = raw.find_last_of("/\\");
    const std::string_view bare = slash == std::string_view::npos ? raw : raw.substr(slash + 1);
    return bare.empty() || bare == "." || bare == "..";
}

} // namespace

std::optional<uint32_t> TrustedCrcFromHeader(const ZipDirEntry& entry,
                                             std::span<const std::byte> header) {
    if (ExtractionWouldRefuse(entry) || header.size() > entry.UncompressedSize) {
        return std::nullopt;
    }
    if (header.size() == entry.UncompressedSize) {
        return 0;
    }
    return CrcOfSuffix(entry.Crc, CrcOf(header), entry.UncompressedSize - header.size());
}

std::optional<uint32_t> TrustedCrcWithoutHeader(const TFileReader& file, const ZipDirEntry& entry,
                                                uint32_t headerSize, uint64_t dataEnd) {
    if (ExtractionWouldRefuse(entry)) {
        return std::nullopt;
    }
    const uint64_t size = entry.UncompressedSize;
    if (headerSize >= size) {
        // Nothing follows the header: the checksum of no bytes, when the
        // member could be read at all.
        return MemberDataOffset(file, entry, dataEnd) ? std::optional<uint32_t>(0) : std::nullopt;
    }
    // Copier headers fit the stack; a longer cut gets memory of its own.
    std::array<std::byte, 4096> small;
    std::vector<std::byte> large;
    if (headerSize > small.size()) {
        large.resize(headerSize);
    }
    const std::span<std::byte> header(large.empty() ? small.data() : large.data(), headerSize);
    if (!ReadMemberStart(file, entry, dataEnd, header)) {
        return std::nullopt;
    }
    const uint32_t prefix = CrcOf(header);
    return CrcOfSuffix(entry.Crc, prefix, size - headerSize);
}

} // namespace tabula
