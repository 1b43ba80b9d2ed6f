#include "core/checksum/CrcUpdate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string_view>
#include <vector>

using namespace tabula;

namespace {

std::span<const std::byte> Bytes(std::string_view text) {
    return std::as_bytes(std::span(text.data(), text.size()));
}

std::uint32_t ReferenceChecksum(std::string_view text) {
    std::uint32_t crc = CrcInit;
    CrcUpdateReference(text.data(), 0, text.size(), crc);
    return ~crc;
}

std::vector<unsigned char> RandomBytes(std::mt19937& random, std::size_t size) {
    std::vector<unsigned char> bytes(size);
    for (auto& b : bytes) {
        b = static_cast<unsigned char>(random());
    }
    return bytes;
}

} // namespace

TEST(CrcUpdate, KnownChecksumsFromBothImplementations) {
    const struct {
        std::string_view text;
        std::uint32_t crc;
    } cases[] = {
        {"", 0x00000000u},
        {"a", 0xE8B7BE43u},
        {"abc", 0x352441C2u},
        {"123456789", 0xCBF43926u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
    };
    for (const auto& c : cases) {
        std::uint32_t running = CrcInit;
        CrcUpdate(c.text.data(), 0, c.text.size(), running);
        EXPECT_EQ(~running, c.crc) << '"' << c.text << '"';
        EXPECT_EQ(CrcOf(Bytes(c.text)), c.crc) << '"' << c.text << '"';
        EXPECT_EQ(ReferenceChecksum(c.text), c.crc) << '"' << c.text << '"';
    }
}

TEST(CrcUpdate, EmptyOrReversedRangeLeavesTheRunningValueAlone) {
    const char data[] = "0123456789";
    for (std::uint32_t start : {0u, 5u, 10u}) {
        for (std::uint32_t end : {0u, start == 0 ? 0u : start - 1, start}) {
            std::uint32_t fast = 0x12345678u;
            std::uint32_t reference = 0x12345678u;
            CrcUpdate(data, start, end, fast);
            CrcUpdateReference(data, start, end, reference);
            EXPECT_EQ(fast, 0x12345678u) << start << ".." << end;
            EXPECT_EQ(reference, 0x12345678u) << start << ".." << end;
        }
    }
    std::uint32_t crc = 0xCAFEF00Du;
    CrcUpdate(nullptr, 0, 0, crc);
    EXPECT_EQ(crc, 0xCAFEF00Du);
}

TEST(CrcUpdate, EndIsAPositionSoStart16End20ReadsTheLastFourBytes) {
    std::vector<unsigned char> buffer(20);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        buffer[i] = static_cast<unsigned char>(0xA0 + i);
    }
    std::uint32_t tail = CrcInit;
    CrcUpdate(buffer.data(), 16, 20, tail);

    std::uint32_t lastFour = CrcInit;
    CrcUpdateReference(buffer.data() + 16, 0, 4, lastFour);
    EXPECT_EQ(tail, lastFour);

    std::fill(buffer.begin(), buffer.begin() + 16, 0);
    std::uint32_t again = CrcInit;
    CrcUpdate(buffer.data(), 16, 20, again);
    EXPECT_EQ(again, tail) << "bytes before start must not count";
}

TEST(CrcUpdate, AgreesWithTheReferenceAtEveryLengthAndAlignment) {
    std::mt19937 random(20261207);
    const auto pool = RandomBytes(random, 300 + 64 + 16);
    for (std::size_t length = 0; length <= 300; ++length) {
        for (std::size_t align = 0; align < 16; ++align) {
            const std::size_t start = align + random() % 48;
            const std::size_t end = start + length;
            const std::uint32_t seed = (length % 3 == 0) ? CrcInit : random();
            std::uint32_t fast = seed;
            std::uint32_t reference = seed;
            CrcUpdate(pool.data(), start, end, fast);
            CrcUpdateReference(pool.data(), start, end, reference);
            ASSERT_EQ(fast, reference) << "start " << start << " end " << end << " seed " << seed;
        }
    }
}

TEST(CrcUpdate, AgreesWithTheReferenceOnLargeBuffersAndRandomRanges) {
    std::mt19937 random(42);
    const auto pool = RandomBytes(random, (8u << 20) + 123);
    for (int round = 0; round < 12; ++round) {
        std::size_t start = random() % pool.size();
        std::size_t end = random() % (pool.size() + 1);
        if (round < 3) {
            start = round; // whole-buffer sizes around 8 MiB at three alignments
            end = pool.size() - static_cast<std::size_t>(round) * 5;
        }
        const std::uint32_t seed = random();
        std::uint32_t fast = seed;
        std::uint32_t reference = seed;
        CrcUpdate(pool.data(), start, end, fast);
        CrcUpdateReference(pool.data(), start, end, reference);
        ASSERT_EQ(fast, reference) << "start " << start << " end " << end;
    }
}

TEST(CrcUpdate, PiecesChainToTheOnePassValue) {
    std::mt19937 random(7);
    const auto data = RandomBytes(random, 100000);
    std::uint32_t whole = CrcInit;
    CrcUpdate(data.data(), 0, data.size(), whole);

    std::uint32_t pieces = CrcInit;
    for (std::size_t at = 0; at < data.size();) {
        const std::size_t next = std::min(data.size(), at + 1 + random() % 9000);
        CrcUpdate(data.data(), at, next, pieces);
        at = next;
    }
    EXPECT_EQ(pieces, whole);

    const auto span = std::as_bytes(std::span(data));
    EXPECT_EQ(CrcContinue(CrcContinue(CrcInit, span.first(777)), span.subspan(777)), whole);
    EXPECT_EQ(CrcOf(span), ~whole);
}

TEST(CrcUpdate, SpanRangePastTheEndIsRefused) {
    const std::string_view text = "123456789";
    std::uint32_t crc = CrcInit;
    EXPECT_THROW(CrcUpdate(Bytes(text), 0, 10, crc), std::out_of_range);
    EXPECT_EQ(crc, CrcInit);
    CrcUpdate(Bytes(text), 0, 9, crc);
    EXPECT_EQ(~crc, 0xCBF43926u);
    CrcUpdate(Bytes(text), 12, 11, crc); // empty range: nothing to check, nothing done
    EXPECT_EQ(~crc, 0xCBF43926u);
}

TEST(CrcUpdate, SuffixChecksumFollowsFromTheWholeAndThePrefix) {
    std::mt19937 random(7);
    // Split points at the ends, inside, and lengths across the powers of two
    // the shift is built from.
    for (const size_t length : {0u, 1u, 16u, 17u, 512u, 4099u, 1u << 16, (1u << 20) + 3}) {
        std::vector<std::byte> bytes(length);
        for (auto& b : bytes) {
            b = static_cast<std::byte>(random());
        }
        const std::uint32_t whole = CrcOf(bytes);
        for (const size_t cut : {size_t{0}, std::min<size_t>(16, length), length / 2, length}) {
            const auto prefix = CrcOf(std::span(bytes).first(cut));
            const auto suffix = CrcOf(std::span(bytes).subspan(cut));
            EXPECT_EQ(CrcOfSuffix(whole, prefix, length - cut), suffix) << length << " " << cut;
        }
    }
}
