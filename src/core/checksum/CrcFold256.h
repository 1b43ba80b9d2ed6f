#pragma once

#include <cstddef>
#include <cstdint>

namespace tabula::detail {

// Bytes the 256-bit folding kernel consumes per step; CrcFold256 takes whole
// steps only.
inline constexpr std::size_t CrcFold256Step = 128;

// True when the processor and the OS allow AVX2 with 256-bit carry-less
// multiply (VPCLMULQDQ). Asked once, then remembered.
bool CrcFold256Supported();

// Folds steps * CrcFold256Step bytes (steps >= 1) starting from the running
// value crc, 256 bits at a time, into 16 bytes written to pending: the raw
// CRC of pending from a running value of 0 equals the raw CRC of the input from
// crc. Finishing pending with any exact CRC routine is therefore exact.
// Only call when CrcFold256Supported().
void CrcFold256(const unsigned char* bytes, std::size_t steps, std::uint32_t crc,
                unsigned char pending[16]);

} // namespace tabula::detail
