#include "core/scan/TrustedZipCrc.h"

#include "core/archive/MemberData.h"
#include "core/platform/FileReader.h"
#include "core/scan/CrcUpdate.h"
#include "core/scan/StringsTools.h"

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace tabula {

namespace {

// Compressed bytes read at a time while inflating the header.
constexpr size_t InputChunk = 4096;

// Inflates the start of a deflate stream at offset until out is full.
bool InflateStart(const TFileReader& file, uint64_t offset, uint64_t compressed,
                  std::vector<uint8_t>& out) {
    auto state = std::make_unique<inflate_state>();
    isal_inflate_init(state.get());
    state->crc_flag = ISAL_DEFLATE;
    state->next_out = out.data();
    state->avail_out = static_cast<uint32_t>(out.size());
    std::vector<uint8_t> input(static_cast<size_t>(std::min<uint64_t>(InputChunk, compressed)));
    while (state->avail_out > 0 && state->block_state != ISAL_BLOCK_FINISH) {
        if (state->avail_in == 0) {
            if (compressed == 0) {
                return false;
            }
            const auto size = static_cast<size_t>(std::min<uint64_t>(compressed, input.size()));
            if (file.ReadAt(offset, input.data(), size) != size) {
                return false;
            }
            offset += size;
            compressed -= size;
            state->next_in = input.data();
            state->avail_in = static_cast<uint32_t>(size);
        }
        const uint32_t before = state->avail_out;
        const uint32_t inputBefore = state->avail_in;
        if (isal_inflate(state.get()) < 0) {
            return false;
        }
        if (state->avail_out == before && state->avail_in == inputBefore) {
            return false; // a stream that goes nowhere
        }
    }
    return state->avail_out == 0;
}

} // namespace

std::optional<uint32_t> TrustedCrcWithoutHeader(const TFileReader& file, const ZipDirEntry& entry,
                                                uint32_t headerSize, uint64_t dataEnd) {
    // What extraction would refuse is left to extraction, which names it.
    const std::string bare = ShortFileName(entry.RawFileName);
    if (bare.empty() || bare == "." || bare == "..") {
        return std::nullopt;
    }
    const uint64_t size = entry.UncompressedSize;
    const std::optional<uint64_t> data = MemberDataOffset(file, entry, dataEnd);
    if (!data) {
        return std::nullopt;
    }
    if (headerSize >= size) {
        return 0; // nothing follows the header: the checksum of no bytes
    }
    std::vector<uint8_t> header(headerSize);
    if (entry.CompressionMethod == 0) {
        if (file.ReadAt(*data, header.data(), header.size()) != header.size()) {
            return std::nullopt;
        }
    } else if (!InflateStart(file, *data, entry.CompressedSize, header)) {
        return std::nullopt;
    }
    const uint32_t prefix = CrcOf(std::as_bytes(std::span(header)));
    return CrcOfSuffix(entry.Crc, prefix, size - headerSize);
}

} // namespace tabula
