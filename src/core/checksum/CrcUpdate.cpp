#include "core/checksum/CrcUpdate.h"

#include <array>

#include "core/checksum/CrcFold256.h"
#include "core/platform/Processors.h"

#include <isa-l/crc.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace tabula {

static_assert(CrcTable[0] == 0x00000000u && CrcTable[1] == 0x77073096u &&
              CrcTable[2] == 0xEE0E612Cu && CrcTable[3] == 0x990951BAu &&
              CrcTable[255] == 0x2D02EF8Du);

namespace {

// Below this many bytes the 256-bit kernel's fixed cost (loading four
// accumulators, folding them down, finishing 16 bytes) outweighs its speed.
constexpr std::size_t Fold256Threshold = 256;

std::uint32_t IsalContinue(std::uint32_t crc, const unsigned char* bytes, std::size_t count) {
    // ISA-L's gzip variant complements its seed on entry and its result on
    // exit (so that a seed of 0 starts a fresh checksum). Complementing on
    // both sides turns it into the raw running value carried here.
    return ~crc32_gzip_refl(~crc, bytes, count);
}

// The route CrcUpdate takes for ranges of Fold256Threshold bytes or more,
// chosen once from what the processor has. With 512-bit registers and
// carry-less multiply on them, ISA-L's own dispatch runs its 512-bit kernel,
// twice as fast as ours; with 256-bit carry-less multiply only, ours beats
// ISA-L's 128-bit route.
bool Use512BitIsal() {
    const TProcessorFeatures& cpu = ProcessorFeatures();
    return cpu.Avx512f && cpu.Avx512bw && cpu.Avx512vl && cpu.Vpclmulqdq;
}

bool UseFold256() {
    static const bool use = !Use512BitIsal() && detail::CrcFold256Supported();
    return use;
}

} // namespace

namespace detail {

void CrcUpdateIsal(const void* buffer, std::size_t start, std::size_t end, std::uint32_t& crc) {
    if (end <= start) {
        return;
    }
    crc = IsalContinue(crc, static_cast<const unsigned char*>(buffer) + start, end - start);
}

void CrcUpdateFold256(const void* buffer, std::size_t start, std::size_t end, std::uint32_t& crc) {
    if (end <= start) {
        return;
    }
    const auto* bytes = static_cast<const unsigned char*>(buffer) + start;
    const std::size_t count = end - start;
    const std::size_t steps = count / CrcFold256Step;
    if (steps == 0) {
        crc = IsalContinue(crc, bytes, count);
        return;
    }
    // The kernel leaves 16 pending bytes that carry the whole bulk from a
    // running value of 0; they and the tail (under one step) finish in one
    // ISA-L call.
    const std::size_t bulk = steps * CrcFold256Step;
    const std::size_t tail = count - bulk;
    unsigned char rest[16 + CrcFold256Step];
    CrcFold256(bytes, steps, crc, rest);
    std::memcpy(rest + 16, bytes + bulk, tail);
    crc = IsalContinue(0, rest, 16 + tail);
}

} // namespace detail

void CrcUpdate(const void* buffer, std::size_t start, std::size_t end, std::uint32_t& crc) {
    if (end <= start) {
        return;
    }
    if (end - start >= Fold256Threshold && UseFold256()) {
        detail::CrcUpdateFold256(buffer, start, end, crc);
    } else {
        detail::CrcUpdateIsal(buffer, start, end, crc);
    }
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

namespace {

// a * b modulo the CRC polynomial, in the reflected bit order of the
// checksum (the top bit stands for x^0).
// Without branches: the bits of a are as good as random, and a mispredicted
// branch per bit cost more than the masks.
constexpr std::uint32_t MultiplyModP(std::uint32_t a, std::uint32_t b) {
    std::uint32_t product = 0;
    for (int i = 31; i >= 0; --i) {
        product ^= b & (0u - ((a >> i) & 1u));
        b = (b >> 1) ^ (0xEDB88320u & (0u - (b & 1u)));
    }
    return product;
}

// x^(8 * 2^k) modulo the polynomial for every k, made by the compiler: the
// shift over any length multiplies only the powers its bits name.
constexpr std::array<std::uint32_t, 64> ByteShiftPowers = [] {
    std::array<std::uint32_t, 64> powers{};
    std::uint32_t power = 1u << 30; // x^1
    for (int i = 0; i < 3; ++i) {
        power = MultiplyModP(power, power); // x^8 after three squarings
    }
    for (std::uint32_t& entry : powers) {
        entry = power;
        power = MultiplyModP(power, power);
    }
    return powers;
}();

// x^(8 * bytes) modulo the polynomial: the shift of a checksum over that many
// bytes of zeros.
std::uint32_t ShiftOverBytes(std::uint64_t bytes) {
    std::uint32_t result = 1u << 31; // x^0
    for (std::size_t k = 0; bytes != 0; ++k, bytes >>= 1) {
        if ((bytes & 1u) != 0) {
            result = MultiplyModP(result, ByteShiftPowers[k]);
        }
    }
    return result;
}

} // namespace

std::uint32_t CrcOfSuffix(std::uint32_t whole, std::uint32_t prefix, std::uint64_t suffixLength) {
    return whole ^ MultiplyModP(ShiftOverBytes(suffixLength), prefix);
}

void CrcUpdateReference(const void* buffer, std::size_t start, std::size_t end,
                        std::uint32_t& crc) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    for (std::size_t i = start; i < end; ++i) {
        crc = CrcTable[(crc ^ bytes[i]) & 0xFFu] ^ (crc >> 8);
    }
}

} // namespace tabula
