#include "scan/CrcUpdate.h"

#include <isa-l/crc.h>

#include <stdexcept>
#include <string>

namespace tabula {

static_assert(CrcTable[0] == 0x00000000u && CrcTable[1] == 0x77073096u &&
              CrcTable[2] == 0xEE0E612Cu && CrcTable[3] == 0x990951BAu &&
              CrcTable[255] == 0x2D02EF8Du);

void CrcUpdate(const void* buffer, std::size_t start, std::size_t end, std::uint32_t& crc) {
    if (end <= start) {
        return;
    }
    // ISA-L's gzip variant complements its seed on entry and its result on
    // exit (so that a seed of 0 starts a fresh checksum). Complementing on
    // both sides turns it into the raw running value carried here.
    const auto* bytes = static_cast<const unsigned char*>(buffer) + start;
    crc = ~crc32_gzip_refl(~crc, bytes, end - start);
}

void CrcUpdate(std::span<const std::byte> buffer, std::size_t start, std::size_t end,
               std::uint32_t& crc) {
    if (end <= start) {
        return;
    }
    if (end > buffer.size()) {
        throw std::out_of_range("CRC range ends at " + std::to_string(end) +
                                ", past the buffer of " + std::to_string(buffer.size()) + " bytes");
    }
    CrcUpdate(buffer.data(), start, end, crc);
}

std::uint32_t CrcContinue(std::uint32_t crc, std::span<const std::byte> bytes) {
    CrcUpdate(bytes.data(), 0, bytes.size(), crc);
    return crc;
}

std::uint32_t CrcOf(std::span<const std::byte> bytes) {
    return ~CrcContinue(CrcInit, bytes);
}

void CrcUpdateReference(const void* buffer, std::size_t start, std::size_t end,
                        std::uint32_t& crc) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    for (std::size_t i = start; i < end; ++i) {
        crc = CrcTable[(crc ^ bytes[i]) & 0xFFu] ^ (crc >> 8);
    }
}

} // namespace tabula
