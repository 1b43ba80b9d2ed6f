#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tabula {

// CRC-32 of zip, IEEE 802.3 and ITU-T V.42 (reflected polynomial 0xEDB88320).
//
// The functions here carry the raw running value: a complete checksum starts
// it at CrcInit, runs CrcUpdate over the bytes (in as many pieces as wanted)
// and complements the result. CrcOf does all three for one buffer.

inline constexpr std::uint32_t CrcInit = 0xFFFFFFFFu;

namespace detail {
constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t value = i;
        for (int step = 0; step < 8; ++step) {
            value = (value & 1u) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        }
        table[i] = value;
    }
    return table;
}
} // namespace detail

// Entry i is the running value after feeding the byte i to a running value of 0.
inline constexpr std::array<std::uint32_t, 256> CrcTable = detail::MakeCrcTable();

// Continues the running value crc over buffer[start] .. buffer[end - 1]; end is
// a position in the buffer, not a count. Does nothing when end <= start. No
// complement is applied. Runs on the processor's carry-less multiply: 256 bits
// at a time on long ranges where AVX2 and VPCLMULQDQ are present, through
// ISA-L otherwise.
void CrcUpdate(const void* buffer, std::size_t start, std::size_t end, std::uint32_t& crc);

// The same over a span; an end beyond the span throws std::out_of_range and
// leaves crc unchanged.
void CrcUpdate(std::span<const std::byte> buffer, std::size_t start, std::size_t end,
               std::uint32_t& crc);

// Returns the running value crc continued over all of bytes.
std::uint32_t CrcContinue(std::uint32_t crc, std::span<const std::byte> bytes);

// The complete checksum of bytes (0 for no bytes).
std::uint32_t CrcOf(std::span<const std::byte> bytes);

// The complete checksum of the bytes that follow a prefix, from the complete
// checksum of the whole (prefix and suffix) and that of the prefix alone:
// CRC-32 is linear, so the prefix's part of the whole can be taken out again
// by shifting its checksum over suffixLength bytes.
std::uint32_t CrcOfSuffix(std::uint32_t whole, std::uint32_t prefix, std::uint64_t suffixLength);

// The byte-at-a-time table loop, with CrcUpdate's exact contract. Slow; kept as
// the yardstick that tests and benchmarks measure CrcUpdate against.
void CrcUpdateReference(const void* buffer, std::size_t start, std::size_t end, std::uint32_t& crc);

namespace detail {
// The two routes CrcUpdate chooses between, same contract, for tests and
// benchmarks: ISA-L alone, and the 256-bit kernel for whole 128-byte steps
// with ISA-L finishing (only where detail::CrcFold256Supported() is true).
void CrcUpdateIsal(const void* buffer, std::size_t start, std::size_t end, std::uint32_t& crc);
void CrcUpdateFold256(const void* buffer, std::size_t start, std::size_t end, std::uint32_t& crc);
} // namespace detail

} // namespace tabula
