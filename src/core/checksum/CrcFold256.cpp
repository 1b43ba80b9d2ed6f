#include "core/checksum/CrcFold256.h"

#include "core/platform/Processors.h"

#include <immintrin.h>

namespace tabula::detail {

namespace {

// Multiplies by x^n modulo the CRC polynomial x^32 + ... + 1 (0x104C11DB7 in
// plain bit order); the result has degree below 32.
constexpr std::uint64_t XPowModP(unsigned n) {
    std::uint64_t r = 1;
    for (unsigned i = 0; i < n; ++i) {
        r <<= 1;
        if (r & 0x100000000u) {
            r ^= 0x104C11DB7u;
        }
    }
    return r;
}

constexpr std::uint64_t Reflect32(std::uint64_t value) {
    std::uint64_t r = 0;
    for (int i = 0; i < 32; ++i) {
        if (value & (std::uint64_t{1} << i)) {
            r |= std::uint64_t{1} << (31 - i);
        }
    }
    return r;
}

// The data is bit-reflected: in a 128-bit lane, bit j stands for x^(127-j),
// so the low quadword holds the high-order half. Moving a lane forward by
// distance bits multiplies its low quadword by x^(distance+64) and its high
// one by x^distance, modulo P. A constant K (degree < 32) stored reflected in
// 33 bits, bit j for x^(32-j), i.e. reflect32(K) << 1, times a reflected
// quadword (bit i for x^(63-i)) gives bit k for x^(95-k): x^32 short of the
// lane's x^(127-k). So the constants are x^(distance+32) and x^(distance-32).
struct TFoldPair {
    std::uint64_t low;
    std::uint64_t high;
};

constexpr TFoldPair FoldConstants(unsigned distanceBits) {
    return {Reflect32(XPowModP(distanceBits + 32)) << 1, Reflect32(XPowModP(distanceBits - 32))
                                                             << 1};
}

// Cross-check of the derivation against the widely published 128- and
// 512-bit fold constants of this polynomial.
static_assert(FoldConstants(128).low == 0x1751997D0u && FoldConstants(128).high == 0x0CCAA009Eu);
static_assert(FoldConstants(512).low == 0x154442BD4u && FoldConstants(512).high == 0x1C6E41596u);

constexpr unsigned Accumulators = 4; // of 256 bits, 32 bytes each
static_assert(Accumulators * 32 == CrcFold256Step);

// Each accumulator to its own next turn, each onto the next accumulator, and
// the low 128-bit lane of the last onto its high lane.
constexpr TFoldPair FoldStep = FoldConstants(CrcFold256Step * 8);
constexpr TFoldPair Fold256 = FoldConstants(256);
constexpr TFoldPair Fold128 = FoldConstants(128);

constexpr std::size_t PrefetchDistance = 1024;

#define TABULA_FOLD_TARGET __attribute__((target("avx2,pclmul,vpclmulqdq")))

TABULA_FOLD_TARGET inline __m256i Constants256(TFoldPair k) {
    return _mm256_setr_epi64x(static_cast<long long>(k.low), static_cast<long long>(k.high),
                              static_cast<long long>(k.low), static_cast<long long>(k.high));
}

// value moved forward by the distance k was made for, in both lanes.
TABULA_FOLD_TARGET inline __m256i Fold(__m256i value, __m256i k) {
    return _mm256_xor_si256(_mm256_clmulepi64_epi128(value, k, 0x00),
                            _mm256_clmulepi64_epi128(value, k, 0x11));
}

TABULA_FOLD_TARGET inline __m256i Load(const unsigned char* at) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

TABULA_FOLD_TARGET void Fold256Kernel(const unsigned char* bytes, std::size_t steps,
                                      std::uint32_t crc, unsigned char pending[16]) {
    // A running value equals zero with the value XORed into the next four bytes.
    __m256i acc[Accumulators];
    for (unsigned i = 0; i < Accumulators; ++i) {
        acc[i] = Load(bytes + 32 * i);
    }
    acc[0] =
        _mm256_xor_si256(acc[0], _mm256_setr_epi32(static_cast<int>(crc), 0, 0, 0, 0, 0, 0, 0));
    bytes += CrcFold256Step;

    const __m256i step = Constants256(FoldStep);
    for (std::size_t left = steps - 1; left > 0; --left) {
        // Streaming from memory, the hardware prefetcher alone leaves the
        // loop waiting; a prefetch never faults, even past the end.
        _mm_prefetch(reinterpret_cast<const char*>(bytes + PrefetchDistance), _MM_HINT_NTA);
        _mm_prefetch(reinterpret_cast<const char*>(bytes + PrefetchDistance + 64), _MM_HINT_NTA);
        for (unsigned i = 0; i < Accumulators; ++i) {
            acc[i] = _mm256_xor_si256(Fold(acc[i], step), Load(bytes + 32 * i));
        }
        bytes += CrcFold256Step;
    }

    const __m256i next = Constants256(Fold256);
    for (unsigned i = 1; i < Accumulators; ++i) {
        acc[i] = _mm256_xor_si256(Fold(acc[i - 1], next), acc[i]);
    }

    const __m128i half =
        _mm_set_epi64x(static_cast<long long>(Fold128.high), static_cast<long long>(Fold128.low));
    const __m128i low = _mm256_castsi256_si128(acc[Accumulators - 1]);
    const __m128i high = _mm256_extracti128_si256(acc[Accumulators - 1], 1);
    const __m128i folded = _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(low, half, 0x00), _mm_clmulepi64_si128(low, half, 0x11)),
        high);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pending), folded);
}

bool DetectSupport() {
    const TProcessorFeatures& cpu = ProcessorFeatures();
    return cpu.Avx2 && cpu.Pclmul && cpu.Vpclmulqdq;
}

} // namespace

bool CrcFold256Supported() {
    static const bool supported = DetectSupport();
    return supported;
}

void CrcFold256(const unsigned char* bytes, std::size_t steps, std::uint32_t crc,
                unsigned char pending[16]) {
    Fold256Kernel(bytes, steps, crc, pending);
}

} // namespace tabula::detail
