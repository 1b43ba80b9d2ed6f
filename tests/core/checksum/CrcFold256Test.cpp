#include "core/checksum/CrcFold256.h"
#include "core/checksum/CrcUpdate.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace tabula;

namespace {

std::vector<unsigned char> RandomBytes(std::mt19937& random, std::size_t size) {
    std::vector<unsigned char> bytes(size);
    for (auto& b : bytes) {
        b = static_cast<unsigned char>(random());
    }
    return bytes;
}

#define SKIP_WITHOUT_FOLD256()                                                                     \
    if (!detail::CrcFold256Supported()) {                                                          \
        GTEST_SKIP() << "no AVX2 + VPCLMULQDQ here; CrcUpdate runs on ISA-L alone";                \
    }

} // namespace

TEST(CrcFold256, PendingBytesCarryTheWholeInputFromZero) {
    SKIP_WITHOUT_FOLD256();
    std::mt19937 random(1);
    const auto pool = RandomBytes(random, 64 * detail::CrcFold256Step + 32);
    for (std::size_t steps = 1; steps <= 64; ++steps) {
        for (const std::uint32_t seed : {0u, CrcInit, static_cast<std::uint32_t>(random())}) {
            const std::size_t start = random() % 32;
            unsigned char pending[16];
            detail::CrcFold256(pool.data() + start, steps, seed, pending);
            std::uint32_t viaPending = 0;
            CrcUpdateReference(pending, 0, 16, viaPending);
            std::uint32_t reference = seed;
            CrcUpdateReference(pool.data(), start, start + steps * detail::CrcFold256Step,
                               reference);
            ASSERT_EQ(viaPending, reference)
                << steps << " steps from " << start << " seed " << seed;
        }
    }
}

// A single set bit anywhere in the bulk must move the CRC exactly as the
// table loop does: catches a wrong constant for any one lane or distance.
TEST(CrcFold256, EverySingleBitAgreesWithTheReference) {
    SKIP_WITHOUT_FOLD256();
    std::vector<unsigned char> buffer(3 * detail::CrcFold256Step + 5);
    for (std::size_t bit = 0; bit < buffer.size() * 8; ++bit) {
        buffer[bit / 8] = static_cast<unsigned char>(1u << (bit % 8));
        std::uint32_t fast = 0;
        std::uint32_t reference = 0;
        detail::CrcUpdateFold256(buffer.data(), 0, buffer.size(), fast);
        CrcUpdateReference(buffer.data(), 0, buffer.size(), reference);
        ASSERT_EQ(fast, reference) << "bit " << bit;
        buffer[bit / 8] = 0;
    }
}

TEST(CrcFold256, BothRoutesAgreeWithTheReferenceAtEveryLengthTo4096) {
    std::mt19937 random(20261207);
    const auto pool = RandomBytes(random, 4096 + 64);
    const bool fold = detail::CrcFold256Supported();
    for (std::size_t length = 0; length <= 4096; ++length) {
        const std::size_t start = random() % 64; // unaligned starts
        const std::size_t end = start + length;
        const std::uint32_t seed = (length % 5 == 0) ? CrcInit : random();
        std::uint32_t reference = seed;
        CrcUpdateReference(pool.data(), start, end, reference);

        std::uint32_t isal = seed;
        detail::CrcUpdateIsal(pool.data(), start, end, isal);
        ASSERT_EQ(isal, reference) << "ISA-L, start " << start << " length " << length;
        std::uint32_t chosen = seed;
        CrcUpdate(pool.data(), start, end, chosen);
        ASSERT_EQ(chosen, reference) << "CrcUpdate, start " << start << " length " << length;
        if (fold) {
            std::uint32_t folded = seed;
            detail::CrcUpdateFold256(pool.data(), start, end, folded);
            ASSERT_EQ(folded, reference) << "fold, start " << start << " length " << length;
        }
    }
}

TEST(CrcFold256, BothRoutesAgreeOnLargeRandomRanges) {
    SKIP_WITHOUT_FOLD256();
    std::mt19937 random(99);
    const auto pool = RandomBytes(random, (16u << 20) + 77);
    for (int round = 0; round < 24; ++round) {
        const std::size_t length = random() % (pool.size() - 64);
        const std::size_t start = random() % 64;
        const std::uint32_t seed = random();
        std::uint32_t isal = seed;
        std::uint32_t folded = seed;
        detail::CrcUpdateIsal(pool.data(), start, start + length, isal);
        detail::CrcUpdateFold256(pool.data(), start, start + length, folded);
        ASSERT_EQ(folded, isal) << "start " << start << " length " << length;
        if (round < 4) {
            std::uint32_t reference = seed;
            CrcUpdateReference(pool.data(), start, start + length, reference);
            ASSERT_EQ(folded, reference) << "start " << start << " length " << length;
        }
    }
}
